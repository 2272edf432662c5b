// Several outputs driven at random moments (run, pause, resume, stop either way, swap the
// input) must never hang and must deliver exactly one OnDone for every run that was not
// stopped synchronously before its OnDone arrived.
#include "fixtures/AuTestComponents.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

namespace {

struct Slot {
    std::unique_ptr<TAuMemoryOut> out;
    std::unique_ptr<TAuGenerator> endless;
    std::unique_ptr<TAuGenerator> finite;
    int outstanding = 0;          // runs whose OnDone is still due
    int doubled = 0;              // OnDone without a run due
    int offMain = 0;
    bool asyncStopSinceRun = false;
};

} // namespace

TEST(StreamStress, RandomControlOfSeveralOutputs)
{
    constexpr int Outputs = 4;
    constexpr int MaxOps = 20000;
    constexpr int MaxMs = 4000;
    constexpr int MinRuns = 50;
    TWatchdog dog(30000);
    std::mt19937 rng(20240611);
    auto chance = [&](int n) { return int(rng() % 100) < n; };

    std::vector<Slot> channels(Outputs);
    for (Slot& s : channels) {
        s.out = std::make_unique<TAuMemoryOut>();
        s.out->SetCap(0);
        s.out->SetBlockSize(2048);
        s.endless = std::make_unique<TAuGenerator>();
        s.endless->SetGeneratedSize(-1);
        s.endless->SetDelayMicroseconds(50);
        s.finite = std::make_unique<TAuGenerator>();
        s.finite->SetBlockLimit(2048);
        s.finite->SetDelayMicroseconds(20);
        Slot* slot = &s;
        s.out->SetOnDone([slot](QObject*) {
            slot->offMain += QThread::currentThread() != QCoreApplication::instance()->thread();
            if (slot->outstanding > 0)
                --slot->outstanding;
            else
                ++slot->doubled;
        });
        s.out->SetOnProgress([slot](QObject*) {
            slot->offMain += QThread::currentThread() != QCoreApplication::instance()->thread();
        });
        s.out->SetInput(s.endless.get());
    }

    QElapsedTimer timer;
    timer.start();
    int ops = 0;
    int runs = 0;
    // Ends after MaxOps, or after MaxMs once MinRuns runs were started: a slow (loaded)
    // machine does fewer operations, never too few runs.
    for (; ops < MaxOps && (timer.elapsed() < MaxMs || runs < MinRuns); ++ops) {
        Slot& s = channels[rng() % Outputs];
        TAuMemoryOut& out = *s.out;
        const int op = int(rng() % 8);
        switch (op) {
        case 0:
        case 1:
            dog.Beat("Run");
            if (!out.Busy()) {
                s.finite->SetGeneratedSize(int64_t(rng() % 200000));
                out.Run();
                ++s.outstanding;
                ++runs;
                s.asyncStopSinceRun = false;
            }
            break;
        case 2:
            dog.Beat("Stop(true)");
            out.Stop(true);
            s.asyncStopSinceRun = true;
            break;
        case 3:
            dog.Beat("Stop(false)");
            out.Stop(false);
            s.outstanding = 0;            // every undelivered event of the output is dropped
            EXPECT_FALSE(out.Busy());
            break;
        case 4:
            dog.Beat("Pause");
            out.Pause();
            break;
        case 5:
            dog.Beat("Resume");
            out.Resume();
            break;
        case 6: {
            dog.Beat("SetInput");
            TAuGenerator* next = chance(50) ? s.endless.get() : s.finite.get();
            // Only when the branch SetInput takes is known: idle, or busy on an endless
            // input that nothing asked to stop.
            if (!out.Busy()) {
                out.SetInput(next);
            } else if (out.Input() == s.endless.get() && !s.asyncStopSinceRun) {
                if (next == s.finite.get())
                    s.finite->SetGeneratedSize(int64_t(rng() % 200000));
                out.SetInput(next);       // stops synchronously and runs again
                s.outstanding = 1;
                ++runs;
            }
            break;
        }
        default:
            dog.Beat("pump");
            QCoreApplication::processEvents(QEventLoop::AllEvents, int(rng() % 3));
            if (chance(20))
                QThread::usleep(rng() % 2000);
            break;
        }
    }

    dog.Beat("wind down");
    for (Slot& s : channels)
        s.out->Stop(true);
    const bool settled = PumpUntil([&] {
        dog.Beat("settling");
        for (Slot& s : channels)
            if (s.out->Busy() || s.outstanding != 0)
                return false;
        return true;
    }, 20000);
    EXPECT_TRUE(settled) << "an OnDone was lost";
    EXPECT_TRUE(DrainEvents());
    for (size_t i = 0; i < channels.size(); ++i) {
        const Slot& s = channels[i];
        EXPECT_EQ(s.outstanding, 0) << "output " << i;
        EXPECT_EQ(s.doubled, 0) << "output " << i;
        EXPECT_EQ(s.offMain, 0) << "output " << i;
        EXPECT_EQ(s.out->Status(), tosIdle);
        EXPECT_EQ(s.endless->InitCount(), s.endless->FlushCount());
        EXPECT_EQ(s.finite->InitCount(), s.finite->FlushCount());
    }
    std::printf("stress: %d operations, %d runs in %lld ms\n", ops, runs,
                static_cast<long long>(timer.elapsed()));
    EXPECT_GT(runs, 10);
    dog.Beat("teardown");
    channels.clear();
}
