#include "audio/EventHandler.h"
#include "audio/AuOutput.h"
#include "audio/AuThread.h"
#include "audio/MainThreadSync.h"
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

struct TEventRecord {
    TEventKind Kind;
    std::shared_ptr<TAuThread> Worker;
    uint64_t Generation;
    TOutputEvent Handler;
};

class TEventThread
{
public:
    TEventThread() : FThread([this] { Execute(); }) {}

    ~TEventThread()
    {
        {
            std::lock_guard lock(FLock);
            FTerminated = true;
        }
        FWake.notify_all();
        MainThreadSync::NotifyStateChanged();    // releases a wait or a Synchronize
        FThread.join();
    }

    void Post(TEventRecord Record)
    {
        {
            std::lock_guard lock(FLock);
            if (Record.Generation <= Record.Worker->DroppedGeneration())
                return;
            FQueue.push_back(std::move(Record));
        }
        FWake.notify_one();
    }

    void Purge(const TAuThread* Worker, uint64_t Generation)
    {
        std::lock_guard lock(FLock);
        std::erase_if(FQueue, [&](const TEventRecord& r) {
            return r.Worker.get() == Worker && r.Generation <= Generation;
        });
    }

private:
    void Execute()
    {
        for (;;) {
            TEventRecord record;
            {
                std::unique_lock lock(FLock);
                FWake.wait(lock, [this] { return FTerminated || !FQueue.empty(); });
                if (FTerminated)
                    return;
                record = std::move(FQueue.front());
                FQueue.pop_front();
            }
            TAuThread* worker = record.Worker.get();
            if (record.Kind == TEventKind::Done) {
                // The worker posts its done event last; wait until it is through.
                MainThreadSync::WaitFor([&] {
                    return FTerminated || worker->FinishedGeneration() >= record.Generation;
                });
            }
            if (FTerminated)
                return;
            try {
                MainThreadSync::Synchronize([record = std::move(record)] { Deliver(record); },
                                            &FTerminated);
            } catch (...) {
                // A handler's exception must not end the delivery of other events.
            }
        }
    }

    // Main thread.
    static void Deliver(const TEventRecord& Record)
    {
        TAuOutput* output = Record.Worker->Owner();
        if (!output || Record.Generation <= Record.Worker->DroppedGeneration())
            return;
        TOutputEvent handler = Record.Kind == TEventKind::Done ? output->OnDone() : Record.Handler;
        if (handler)
            handler(output);
    }

    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<TEventRecord> FQueue;
    std::atomic<bool> FTerminated{false};
    std::thread FThread;
};

std::mutex GInstanceLock;
int GRefCount = 0;
TEventThread* GInstance = nullptr;

} // namespace

void TEventHandler::AddRef()
{
    MainThreadSync::Attach();
    std::lock_guard lock(GInstanceLock);
    if (GRefCount++ == 0)
        GInstance = new TEventThread;
}

void TEventHandler::Release()
{
    TEventThread* finished = nullptr;
    {
        std::lock_guard lock(GInstanceLock);
        if (--GRefCount == 0) {
            finished = GInstance;
            GInstance = nullptr;
        }
    }
    delete finished;
}

void TEventHandler::Post(TEventKind Kind, const std::shared_ptr<TAuThread>& Worker,
                         uint64_t Generation, TOutputEvent Handler)
{
    std::lock_guard lock(GInstanceLock);
    if (GInstance)
        GInstance->Post({Kind, Worker, Generation, std::move(Handler)});
}

void TEventHandler::Purge(const TAuThread* Worker, uint64_t Generation)
{
    std::lock_guard lock(GInstanceLock);
    if (GInstance)
        GInstance->Purge(Worker, Generation);
}
