#include "audio/MainThreadSync.h"
#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace {

struct TSyncItem {
    std::function<void()> Fn;
    bool Done = false;
    std::exception_ptr Error;
};

struct TSyncState {
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<std::shared_ptr<TSyncItem>> Queue;
    QCoreApplication* App = nullptr;     // null: none, or being destroyed
    bool WakePosted = false;
    bool HaveMainId = false;
    std::thread::id MainId;
};

// Never destroyed: threads may still use it while static objects go away at exit.
TSyncState& State()
{
    static auto* state = new TSyncState;
    return *state;
}

void OnApplicationDestroyed()
{
    TSyncState& s = State();
    std::lock_guard lock(s.Lock);
    s.App = nullptr;
    s.Queue.clear();
    s.WakePosted = false;
    s.Changed.notify_all();
}

void PostWake(TSyncState& s)
{
    if (s.WakePosted || !s.App)
        return;
    s.WakePosted = true;
    QMetaObject::invokeMethod(s.App, [] { MainThreadSync::CheckSynchronize(); },
                              Qt::QueuedConnection);
}

} // namespace

namespace MainThreadSync {

void Attach()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return;
    TSyncState& s = State();
    std::lock_guard lock(s.Lock);
    if (s.App == app)
        return;
    s.App = app;
    s.MainId = std::this_thread::get_id();
    s.HaveMainId = true;
    qAddPostRoutine(OnApplicationDestroyed);
}

bool IsMainThread()
{
    TSyncState& s = State();
    std::lock_guard lock(s.Lock);
    return s.HaveMainId && s.MainId == std::this_thread::get_id();
}

bool Synchronize(std::function<void()> Fn, const std::atomic<bool>* Cancel)
{
    if (IsMainThread()) {
        Fn();
        return true;
    }
    TSyncState& s = State();
    auto item = std::make_shared<TSyncItem>();
    item->Fn = std::move(Fn);
    std::unique_lock lock(s.Lock);
    if (!s.App)
        return false;
    s.Queue.push_back(item);
    PostWake(s);
    s.Changed.notify_all();
    s.Changed.wait(lock, [&] {
        return item->Done || !s.App || (Cancel && Cancel->load());
    });
    if (!item->Done) {
        // Abandoned: take it out unless the main thread is already running it; the
        // closure stays alive through its shared pointer either way.
        std::erase(s.Queue, item);
        return false;
    }
    if (item->Error)
        std::rethrow_exception(item->Error);
    return true;
}

bool CheckSynchronize()
{
    if (!IsMainThread())
        return false;
    TSyncState& s = State();
    bool ran = false;
    for (;;) {
        std::shared_ptr<TSyncItem> item;
        {
            std::lock_guard lock(s.Lock);
            s.WakePosted = false;
            if (s.Queue.empty())
                break;
            item = std::move(s.Queue.front());
            s.Queue.pop_front();
        }
        std::exception_ptr error;
        try {
            item->Fn();
        } catch (...) {
            error = std::current_exception();
        }
        ran = true;
        std::lock_guard lock(s.Lock);
        item->Error = error;
        item->Done = true;
        s.Changed.notify_all();
    }
    return ran;
}

void NotifyStateChanged()
{
    TSyncState& s = State();
    { std::lock_guard lock(s.Lock); }
    s.Changed.notify_all();
}

bool WaitFor(const std::function<bool()>& Pred, int TimeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const bool main = IsMainThread();
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs < 0 ? 0 : TimeoutMs);
    TSyncState& s = State();
    for (;;) {
        if (main)
            CheckSynchronize();
        std::unique_lock lock(s.Lock);
        auto ready = [&] { return Pred() || (main && !s.Queue.empty()); };
        if (TimeoutMs < 0) {
            s.Changed.wait(lock, ready);
        } else if (!s.Changed.wait_until(lock, deadline, ready)) {
            return Pred();
        }
        if (Pred())
            return true;
    }
}

} // namespace MainThreadSync
