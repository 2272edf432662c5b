#pragma once
// Polls the drives for disc changes and reports them as volume arrivals and removals, the
// way the system notifies a window when a volume is mounted or goes away.
#include "platform/akrip32.h"
#include <QObject>
#include <QTimer>
#include <QVector>

class TDiscWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultIntervalMs = 2000;

    explicit TDiscWatcher(QObject* parent = nullptr, int intervalMs = DefaultIntervalMs);

    void Start();      // takes the current state as the starting point, then polls
    void Stop();
    void Poll();       // one look at every drive; emits what changed since the last look

signals:
    void VolumeArrived();   // a disc appeared or was replaced by another
    void VolumeRemoved();   // a disc went away

private:
    QVector<TMediaState> Snapshot() const;

    QTimer FTimer;
    QVector<TMediaState> FLast;
};
