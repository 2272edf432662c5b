#include "app/core/DiscWatcher.h"
#include <QMetaObject>
#include <chrono>
#include <cstring>

TDiscWatcher::TDiscWatcher(QObject* parent, int intervalMs)
    : QObject(parent)
    , FIntervalMs(intervalMs)
{
}

TDiscWatcher::~TDiscWatcher()
{
    Stop();
}

QVector<TMediaState> TDiscWatcher::Snapshot()
{
    // Every drive of the shared table, whichever CD library the window reaches it through.
    const int count = int(CDDriveTable(true).size());
    QVector<TMediaState> states;
    for (int i = 0; i < count; ++i)
        states.append(DriveMediaState(i));
    return states;
}

void TDiscWatcher::Start()
{
    Stop();
    FApplied = ++FSnapshots;
    FLast = Snapshot();
    {
        std::lock_guard lock(FMutex);
        FStopping = false;
    }
    FThread = std::thread([this] { Run(); });
}

void TDiscWatcher::Stop()
{
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FWake.notify_all();
    if (FThread.joinable())
        FThread.join();
}

void TDiscWatcher::Run()
{
    std::unique_lock lock(FMutex);
    while (!FWake.wait_for(lock, std::chrono::milliseconds(FIntervalMs), [this] { return FStopping; })) {
        lock.unlock();
        const uint64_t number = ++FSnapshots;
        const QVector<TMediaState> now = Snapshot();
        // Compared and reported on the watcher's thread; dropped if the watcher is gone.
        QMetaObject::invokeMethod(this, [this, now, number] { Apply(now, number); }, Qt::QueuedConnection);
        lock.lock();
    }
}

void TDiscWatcher::Poll()
{
    const uint64_t number = ++FSnapshots;
    Apply(Snapshot(), number);
}

void TDiscWatcher::Apply(const QVector<TMediaState>& now, uint64_t number)
{
    if (number < FApplied)
        return;
    FApplied = number;
    bool arrived = false, removed = false;
    for (int i = 0; i < qMax(now.size(), FLast.size()); ++i) {
        const TMediaState before = i < FLast.size() ? FLast[i] : TMediaState{};
        const TMediaState after = i < now.size() ? now[i] : TMediaState{};
        if (before.DiscPresent && (!after.DiscPresent || after.Token != before.Token))
            removed = true;
        if (after.DiscPresent && (!before.DiscPresent || after.Token != before.Token))
            arrived = true;
    }
    FLast = now;
    // A replaced disc is a removal followed by an arrival, in that order.
    if (removed)
        emit VolumeRemoved();
    if (arrived)
        emit VolumeArrived();
}
