#pragma once
// Running closures on the main thread (the thread of the QCoreApplication) and waiting for
// them: the stream components hand their events to the main thread this way.
//
// A caller on another thread queues a closure, wakes the main thread with a queued
// invocation on the application object and blocks until the main thread has run it in
// CheckSynchronize(). On the main thread itself Synchronize runs the closure at once.
// Code on the main thread that waits for a worker must use WaitFor(), which keeps running
// queued closures while it waits, so that it cannot dead-lock against a thread blocked in
// Synchronize. When the application object is destroyed, pending and later calls are
// released without running.
#include <atomic>
#include <functional>

namespace MainThreadSync {

// Remembers the application object and its thread. Called by every output's constructor;
// cheap after the first call for a given application object.
void Attach();

bool IsMainThread();

// Runs Fn on the main thread and waits for it. Returns false when it was not run: no
// application, the application is being destroyed, or *Cancel became true (after
// NotifyStateChanged) while waiting. An exception thrown by Fn is re-thrown here.
bool Synchronize(std::function<void()> Fn, const std::atomic<bool>* Cancel = nullptr);

// Main thread: runs every queued closure; true when at least one ran. Elsewhere: false.
bool CheckSynchronize();

// Wakes every thread blocked in WaitFor or Synchronize to re-check its condition. Call it
// after changing any state that such a condition reads.
void NotifyStateChanged();

// Waits until Pred() is true (checked after every NotifyStateChanged), at most TimeoutMs
// (negative: no limit); on the main thread runs queued closures meanwhile. Returns Pred().
bool WaitFor(const std::function<bool()>& Pred, int TimeoutMs = -1);

} // namespace MainThreadSync
