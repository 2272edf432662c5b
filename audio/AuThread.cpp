#include "audio/AuThread.h"
#include "audio/AuOutput.h"
#include "audio/EventHandler.h"
#include "audio/MainThreadSync.h"
#include <climits>

TAuThread::TAuThread(TAuOutput* Output) : FOutput(Output), FOwner(Output) {}

TAuThread::~TAuThread()
{
    Terminate();
}

void TAuThread::Start()
{
    FThread = std::thread([this] { Execute(); });
}

void TAuThread::Terminate()
{
    {
        std::lock_guard lock(FMutex);
        FTerminated = true;
    }
    FWake.notify_all();
    if (FThread.joinable())
        FThread.join();
}

void TAuThread::RequestRun()
{
    {
        std::lock_guard lock(FMutex);
        FStop = false;
        FPauseRequest = false;
        FRunRequest = true;
        ++FStartedGen;
    }
    if (!FThread.joinable())
        Start();
    FWake.notify_all();
}

void TAuThread::RequestStop(bool Async)
{
    {
        std::lock_guard lock(FMutex);
        FStop = true;
    }
    FWake.notify_all();      // a paused worker goes on to an Abort step
    if (Async)
        return;
    const uint64_t last = FStartedGen;
    if (FDropGen < last)
        FDropGen = last;
    TEventHandler::Purge(this, last);
    MainThreadSync::WaitFor([this] { return RunFinished(); });
}

void TAuThread::RequestResume()
{
    {
        std::lock_guard lock(FMutex);
        FResume = true;
    }
    FWake.notify_all();
}

void TAuThread::Execute()
{
    for (;;) {
        uint64_t generation;
        {
            std::unique_lock lock(FMutex);
            FIdle = true;
            lock.unlock();
            MainThreadSync::NotifyStateChanged();
            lock.lock();
            FWake.wait(lock, [this] { return FRunRequest || FTerminated; });
            if (FTerminated)
                break;
            FRunRequest = false;
            FIdle = false;
            generation = FStartedGen;
        }
        RunOnce(generation);
    }
    MainThreadSync::NotifyStateChanged();
}

void TAuThread::PauseHere()
{
    {
        std::lock_guard lock(FMutex);
        FResume = false;
        FPaused = true;
    }
    MainThreadSync::NotifyStateChanged();
    {
        std::unique_lock lock(FMutex);
        FWake.wait(lock, [this] { return FResume || FStop || FTerminated; });
        FPaused = false;
    }
    MainThreadSync::NotifyStateChanged();
}

void TAuThread::RunOnce(uint64_t Generation)
{
    TAuOutput& out = *FOutput;
    out.FCurrentRun = Generation;
    out.FLastProgress = INT_MIN;
    auto self = shared_from_this();
    auto raise = [&](const QString& text) {
        out.SetExceptionMessage(text);
        if (TThreadExceptionEvent handler = out.OnThreadException())
            TEventHandler::Post(TEventKind::ThreadException, self, Generation, std::move(handler));
        FStop = true;
    };
    try {
        out.Prepare();
        out.FReady = true;
        bool more = true;
        while (more && !FStop) {
            const int progress = out.Progress();
            if (progress != out.FLastProgress) {
                out.FLastProgress = progress;
                if (TOutputProgressEvent handler = out.OnProgress())
                    TEventHandler::Post(TEventKind::Progress, self, Generation, std::move(handler));
            }
            if (FPauseRequest.exchange(false))
                PauseHere();
            more = out.DoOutput(FStop);
        }
    } catch (const std::exception& e) {
        raise(ExceptionText(e));
    } catch (...) {
        raise(QStringLiteral("Unknown error"));
    }
    if (out.FBusy) {
        out.FReady = false;
        // A failing finish (the header or the close of a file, its rename into place) is
        // the run's error unless an earlier one already is.
        try {
            out.Done();
        } catch (const std::exception& e) {
            if (out.ExceptionMessage().isEmpty())
                raise(ExceptionText(e));
        } catch (...) {
            if (out.ExceptionMessage().isEmpty())
                raise(QStringLiteral("Unknown error"));
        }
        out.FStopped = false;
        out.FBusy = false;
    }
    TEventHandler::Post(TEventKind::Done, self, Generation);
    FFinishedGen = Generation;
    MainThreadSync::NotifyStateChanged();
}
