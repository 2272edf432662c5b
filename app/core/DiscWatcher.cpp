#include "app/core/DiscWatcher.h"
#include <cstring>

TDiscWatcher::TDiscWatcher(QObject* parent, int intervalMs)
    : QObject(parent)
{
    FTimer.setInterval(intervalMs);
    connect(&FTimer, &QTimer::timeout, this, &TDiscWatcher::Poll);
}

QVector<TMediaState> TDiscWatcher::Snapshot() const
{
    TDriveList list;
    std::memset(&list, 0, sizeof list);
    list.Capacity = MAX_CD_DRIVES;
    const int count = GetCDList(list);
    QVector<TMediaState> states;
    for (int i = 0; i < count; ++i)
        states.append(DriveMediaState(i));
    return states;
}

void TDiscWatcher::Start()
{
    FLast = Snapshot();
    FTimer.start();
}

void TDiscWatcher::Stop()
{
    FTimer.stop();
}

void TDiscWatcher::Poll()
{
    const QVector<TMediaState> now = Snapshot();
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
