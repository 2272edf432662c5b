#pragma once
// Watches the drives for disc changes and reports them as volume arrivals and removals, the
// way the system notifies a window when a volume is mounted or goes away. The drives are
// looked at on a thread of its own (a physical drive may take a while to answer while it
// spins up); the comparison and the signals happen on the watcher's own thread.
#include "platform/akrip32.h"
#include <QObject>
#include <QVector>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class TDiscWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultIntervalMs = 2000;

    explicit TDiscWatcher(QObject* parent = nullptr, int intervalMs = DefaultIntervalMs);
    ~TDiscWatcher() override;

    void Start();      // takes the current state as the starting point, then watches
    void Stop();       // returns when the watching thread has ended
    void Poll();       // one look at every drive now; emits what changed since the last look

signals:
    void VolumeArrived();   // a disc appeared or was replaced by another
    void VolumeRemoved();   // a disc went away

private:
    static QVector<TMediaState> Snapshot();
    // Snapshots are numbered as they start; one older than the last applied is stale.
    void Apply(const QVector<TMediaState>& now, uint64_t number);
    void Run();

    const int FIntervalMs;
    QVector<TMediaState> FLast;
    std::thread FThread;
    std::mutex FMutex;
    std::condition_variable FWake;
    bool FStopping = false;
    std::atomic<uint64_t> FSnapshots{0};
    uint64_t FApplied = 0;
};
