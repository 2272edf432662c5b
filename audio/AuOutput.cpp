#include "audio/AuOutput.h"
#include "audio/AuException.h"
#include "audio/AuThread.h"
#include "audio/EventHandler.h"
#include "audio/MainThreadSync.h"
#include "platform/OutputFile.h"
#include <cerrno>
#include <cmath>

TAuOutput::TAuOutput(QObject* Owner) : QObject(Owner)
{
    TEventHandler::AddRef();
    // The worker thread starts with the first run: a thread that exists while the derived
    // constructors still write the object would see it half made.
    FThread = std::make_shared<TAuThread>(this);
}

TAuOutput::~TAuOutput()
{
    Stop(false);
    AttachInput(nullptr);
    FThread->Terminate();
    FThread->Detach();
    TEventHandler::Purge(FThread.get(), UINT64_MAX);
    TEventHandler::Release();
}

void TAuOutput::SetInput(TAuInput* Value)
{
    if (FBusy) {
        Stop(false);
        AttachInput(Value);
        Run();
    } else {
        AttachInput(Value);
    }
}

void TAuOutput::AttachInput(TAuInput* Value)
{
    TAuInput* old = Input();
    if (old == Value)
        return;
    if (old)
        old->RemoveReader({this, nullptr});
    FInput = Value;
    if (Value)
        Value->AddReader({this, nullptr});
}

void TAuOutput::ForgetInput(TAuInput* Dying)
{
    if (Input() != Dying)
        return;
    // A handler run while the input stopped this output may have started it again.
    if (FBusy)
        Stop(false);
    FInput = nullptr;
}

void TAuOutput::Run()
{
    std::lock_guard lock(FRunLock);
    SetExceptionMessage(QString());
    if (FBusy)
        throw EAuException("Component is Busy");
    if (!Input())
        throw EAuException("Input is not assigned");
    FBusy = true;
    FStopped = false;
    FThread->RequestRun();
}

void TAuOutput::Stop(bool Async)
{
    FStopped = true;
    FThread->RequestStop(Async);
}

void TAuOutput::Pause()
{
    if (!Input())
        throw EAuException("Input is not assigned.");
    if (!FBusy || FThread->Paused())
        return;
    constexpr int PauseTimeoutMs = 5000;
    FThread->RequestPause();
    auto* worker = FThread.get();
    MainThreadSync::WaitFor([worker] { return worker->Paused() || worker->RunFinished(); },
                            PauseTimeoutMs);
    if (FThread->Paused())
        if (TAuInput* in = Input())
            in->DoPause();
}

void TAuOutput::Resume()
{
    if (!FBusy || !FThread->Paused())
        return;
    if (TAuInput* in = Input())
        in->DoResume();
    FThread->RequestResume();
    auto* worker = FThread.get();
    MainThreadSync::WaitFor([worker] { return !worker->Paused() || worker->RunFinished(); });
}

TOutputStatus TAuOutput::Status() const
{
    if (!FBusy)
        return tosIdle;
    return FThread->Paused() ? tosPaused : tosBusy;
}

int TAuOutput::Progress() const
{
    TAuInput* in = Input();
    if (!in)
        return 0;
    const int64_t size = in->Size();
    if (size == -1)
        return -1;
    if (size == 0)
        return 0;
    return int(std::nearbyint(double(in->Position()) / double(size) * 100.0));
}

QString TAuOutput::ExceptionMessage() const
{
    std::lock_guard lock(FStateLock);
    return FExceptionMessage;
}

void TAuOutput::SetExceptionMessage(const QString& Text)
{
    std::lock_guard lock(FStateLock);
    FExceptionMessage = Text;
}

TOutputDoneEvent TAuOutput::OnDone() const
{
    std::lock_guard lock(FStateLock);
    return FOnDone;
}

void TAuOutput::SetOnDone(TOutputDoneEvent Handler)
{
    std::lock_guard lock(FStateLock);
    FOnDone = std::move(Handler);
}

TOutputProgressEvent TAuOutput::OnProgress() const
{
    std::lock_guard lock(FStateLock);
    return FOnProgress;
}

void TAuOutput::SetOnProgress(TOutputProgressEvent Handler)
{
    std::lock_guard lock(FStateLock);
    FOnProgress = std::move(Handler);
}

TThreadExceptionEvent TAuOutput::OnThreadException() const
{
    std::lock_guard lock(FStateLock);
    return FOnThreadException;
}

void TAuOutput::SetOnThreadException(TThreadExceptionEvent Handler)
{
    std::lock_guard lock(FStateLock);
    FOnThreadException = std::move(Handler);
}

void TAuOutput::PostEvent(const TOutputEvent& Handler)
{
    if (Handler)
        TEventHandler::Post(TEventKind::ThreadException, FThread, FCurrentRun, Handler);
}

TAuStreamedOutput::TAuStreamedOutput(QObject* Owner) : TAuOutput(Owner) {}

TAuStreamedOutput::~TAuStreamedOutput() = default;

void TAuStreamedOutput::SetStream(TStream* Value)
{
    FOwnedStream.reset();
    FStream = Value;
    FStreamAssigned = Value != nullptr;
}

void TAuStreamedOutput::AdoptStream(std::unique_ptr<TStream> Value)
{
    FOwnedStream = std::move(Value);
    FStream = FOwnedStream.get();
    FStreamAssigned = false;
}

void TAuStreamedOutput::ReleaseOwnedStream()
{
    if (FStreamAssigned)
        return;
    FOwnedStream.reset();
    FStream = nullptr;
}

TAuFileOut::TAuFileOut(QObject* Owner) : TAuStreamedOutput(Owner) {}

TAuFileOut::~TAuFileOut() = default;

void TAuFileOut::SetFileMode(TFileOutputMode)
{
    FFileMode = foRewrite;
}

bool TAuFileOut::NamesPart() const
{
    return FFileName.endsWith(QLatin1String(".part"));
}

QString TAuFileOut::TargetFile() const
{
    if (!FWriteAsPart || NamesPart())
        return FFileName;
    RemoveStalePart(FFileName);
    return PartPathOf(FFileName);
}

void TAuFileOut::FinishTarget(bool Complete)
{
    if (!FWriteAsPart || FFileName.isEmpty())
        return;
    const QString part = NamesPart() ? FFileName : PartPathOf(FFileName);
    if (!Complete) {
        DiscardPart(part);
        return;
    }
    if (NamesPart())
        return;
    QString error;
    if (FBeforeCommit) {
        error = FBeforeCommit(part);
        if (!error.isEmpty()) {
            DiscardPart(part);
            throw EAuException(error);
        }
    }
    if (!CommitPart(part, FFileName, &error))
        throw EAuException(error);
}

void TAuFileOut::RaiseWriteError(const char* Fallback) const
{
    const int err = errno;
    if (err == 0 || err == EINTR)
        throw EAuException(Fallback);
    QString name = FFileName;
    if (name.endsWith(QLatin1String(".part")))
        name.chop(5);    // a part file is named by the file it becomes
    // The causes a user can act on are named plainly; anything else keeps the writer's text.
    const QString text = WriteErrorText(err, name);
    throw EAuException(IsPlainWriteError(text) ? text : QString::fromLatin1(Fallback));
}
