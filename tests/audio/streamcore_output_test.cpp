// Output side of the stream core: runs, stops, pauses, errors and the delivery of events
// on the main thread.
#include "fixtures/AuTestComponents.h"
#include "audio/MainThreadSync.h"
#include <QCoreApplication>
#include <QStringList>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A dead-lock fails the test that has it, with its name, long before CTest's timeout.
const bool Watched = WatchEveryTest(60000);

bool OnMainThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Records the events of one output as text, checking that each runs on the main thread.
struct EventLog {
    QStringList events;
    int offMain = 0;
    int done = 0;

    void Attach(TAuOutput& out)
    {
        out.SetOnDone([this](QObject* sender) {
            offMain += !OnMainThread();
            auto* o = static_cast<TAuOutput*>(sender);
            events << QStringLiteral("done%1").arg(o->Busy() ? "-busy" : "");
            ++done;
        });
        out.SetOnProgress([this](QObject* sender) {
            offMain += !OnMainThread();
            events << QStringLiteral("p%1").arg(static_cast<TAuOutput*>(sender)->Progress());
        });
        out.SetOnThreadException([this](QObject* sender) {
            offMain += !OnMainThread();
            events << "error:" + static_cast<TAuOutput*>(sender)->ExceptionMessage();
        });
    }
};

QString RaisedText(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const EAuException& e) {
        return e.Message();
    }
    return QString();
}

} // namespace

TEST(StreamOutput, RunWithoutInputFailsAndLeavesTheOutputIdle)
{
    TAuMemoryOut out;
    EventLog log;
    log.Attach(out);
    EXPECT_EQ(RaisedText([&] { out.Run(); }), "Input is not assigned");
    EXPECT_FALSE(out.Busy());
    EXPECT_EQ(out.Status(), tosIdle);
    EXPECT_EQ(out.Progress(), 0);
    EXPECT_EQ(RaisedText([&] { out.Pause(); }), "Input is not assigned.");

    TAuGenerator gen;
    gen.SetGeneratedSize(1000);
    out.SetInput(&gen);
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return log.done == 1; }));
    EXPECT_EQ(out.Data(), PatternBytes(0, 1000));
}

TEST(StreamOutput, NaturalEndDeliversEveryByteAndEventsInOrder)
{
    TAuGenerator gen;
    gen.SetGeneratedSize(300000);
    gen.SetBlockLimit(777);
    TAuMemoryOut out;
    out.SetInput(&gen);
    out.CloseGateAt(1);
    EventLog log;
    log.Attach(out);
    out.Run();
    // The worker is held at the gate: the output is provably still busy.
    ASSERT_TRUE(out.WaitAtGate());
    EXPECT_EQ(RaisedText([&] { out.Run(); }), "Component is Busy");
    out.OpenGate();
    ASSERT_TRUE(PumpUntil([&] { return log.done == 1; }));
    ASSERT_TRUE(DrainEvents());
    EXPECT_EQ(out.Data(), PatternBytes(0, 300000));
    EXPECT_EQ(log.offMain, 0);
    ASSERT_FALSE(log.events.isEmpty());
    EXPECT_EQ(log.events.last(), "done");       // Busy already false in OnDone
    EXPECT_EQ(log.events.count("done"), 1);
    // Progress at most once per whole percent; read at delivery, so never backwards.
    int last = -1;
    for (const QString& e : log.events.mid(0, log.events.size() - 1)) {
        ASSERT_TRUE(e.startsWith('p')) << e.toStdString();
        const int p = e.mid(1).toInt();
        EXPECT_GE(p, last);
        last = p;
    }
    EXPECT_LE(log.events.size(), 102);
    EXPECT_EQ(gen.InitCount(), 1);
    EXPECT_EQ(gen.FlushCount(), 1);
    EXPECT_EQ(out.DoneCount(), 1);
}

TEST(StreamOutput, OnDoneMayRunAgainAndReadsTheHandlerAtDelivery)
{
    TAuGenerator gen;
    gen.SetGeneratedSize(5000);
    TAuMemoryOut out;
    out.SetInput(&gen);
    int first = 0, second = 0;
    out.SetOnDone([&](QObject*) { ++first; });
    out.Run();
    // Replaced before the event is delivered: the new handler is called.
    out.SetOnDone([&](QObject* sender) {
        if (++second == 1)
            static_cast<TAuOutput*>(sender)->Run();
    });
    ASSERT_TRUE(PumpUntil([&] { return second == 2; }));
    ASSERT_TRUE(DrainEvents());
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(gen.InitCount(), 2);
}

TEST(StreamOutput, ProgressIsUnknownForEndlessAndZeroForEmptyInput)
{
    TAuGenerator endless;
    endless.SetGeneratedSize(-1);
    TAuMemoryOut out;
    out.SetCap(0);
    out.SetInput(&endless);
    EventLog log;
    log.Attach(out);
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return out.Steps() > 10; }));
    EXPECT_EQ(out.Progress(), -1);
    out.Stop(true);
    ASSERT_TRUE(PumpUntil([&] { return log.done == 1; }));
    EXPECT_EQ(log.events.first(), "p-1");
    EXPECT_EQ(log.events.count("p-1"), 1);

    TAuGenerator empty;
    empty.SetGeneratedSize(0);
    out.SetInput(&empty);
    log.events.clear();
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return log.done == 2; }));
    EXPECT_EQ(log.events, QStringList({"p0", "done"}));
    EXPECT_EQ(out.Progress(), 0);
}

TEST(StreamOutput, SyncStopDropsTheRunsEventsAndAllowsANewRun)
{
    TAuGenerator gen;
    gen.SetGeneratedSize(-1);
    gen.SetDelayMicroseconds(200);
    TAuMemoryOut out;
    out.SetInput(&gen);
    EventLog log;
    log.Attach(out);
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return out.Steps() > 3; }));
    out.Stop(false);
    EXPECT_FALSE(out.Busy());
    EXPECT_EQ(out.Status(), tosIdle);
    EXPECT_EQ(out.DoneCount(), 1);
    EXPECT_EQ(gen.FlushCount(), 1);
    const QStringList before = log.events;     // delivered before the stop
    ASSERT_TRUE(DrainEvents());
    EXPECT_EQ(log.events, before);
    EXPECT_EQ(log.done, 0);

    // Async stop: returns at once, OnDone follows exactly once.
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return out.Steps() > 3; }));
    out.Stop(true);
    ASSERT_TRUE(PumpUntil([&] { return log.done == 1; }));
    ASSERT_TRUE(DrainEvents());
    EXPECT_EQ(log.done, 1);
    EXPECT_EQ(log.events.last(), "done");
    EXPECT_EQ(gen.InitCount(), 2);
    EXPECT_EQ(gen.FlushCount(), 2);
}

// Every kind of event a finished run left queued (progress, the error, done) is dropped by
// a synchronous stop, including the one the delivery thread already holds.
TEST(StreamOutput, SyncStopDropsEveryEventNotYetDelivered)
{
    TAuGenerator gen;
    gen.SetGeneratedSize(100000);
    gen.SetBlockLimit(1000);
    gen.SetThrowAtByte(50000, "read failed");
    TAuMemoryOut out;
    out.SetInput(&gen);
    EventLog log;
    log.Attach(out);
    out.Run();
    // Wait for the worker only, delivering nothing meanwhile.
    for (int i = 0; i < 30000 && out.Busy(); ++i)
        QThread::msleep(1);
    ASSERT_FALSE(out.Busy());
    EXPECT_EQ(out.ExceptionMessage(), "read failed");
    out.Stop(false);
    ASSERT_TRUE(DrainEvents());
    EXPECT_EQ(log.events, QStringList());

    // Events of a later run still arrive.
    gen.SetThrowAtByte(-1, QString());
    gen.SetGeneratedSize(0);
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return log.done == 1; }));
    EXPECT_EQ(log.events, QStringList({"p0", "done"}));
}

TEST(StreamOutput, PauseResumeAndStopWhilePaused)
{
    TAuGenerator gen;
    gen.SetGeneratedSize(-1);
    TAuMemoryOut out;
    out.SetCap(0);
    out.SetInput(&gen);
    EventLog log;
    log.Attach(out);

    out.Pause();                                   // idle: nothing
    out.Resume();
    EXPECT_EQ(out.Status(), tosIdle);
    EXPECT_EQ(gen.PauseCount(), 0);

    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return out.Steps() > 3; }));
    out.Resume();                                  // not paused: nothing
    EXPECT_EQ(gen.ResumeCount(), 0);
    out.Pause();
    EXPECT_EQ(out.Status(), tosPaused);
    EXPECT_EQ(gen.PauseCount(), 1);
    out.Pause();                                   // already paused: nothing more
    EXPECT_EQ(gen.PauseCount(), 1);
    const int steps = out.Steps();
    ASSERT_TRUE(DrainEvents());                    // a while in which a step could slip in
    EXPECT_EQ(out.Steps(), steps);
    out.Resume();
    EXPECT_EQ(out.Status(), tosBusy);
    EXPECT_EQ(gen.ResumeCount(), 1);
    ASSERT_TRUE(PumpUntil([&] { return out.Steps() > steps + 3; }));

    out.Pause();
    out.Stop(false);                               // the paused worker is woken to finish
    EXPECT_EQ(out.Status(), tosIdle);
    EXPECT_EQ(out.AbortSteps(), 1);

    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return out.Steps() > 3; }));
    out.Pause();
    out.Stop(true);
    ASSERT_TRUE(PumpUntil([&] { return log.done == 1; }));
    EXPECT_EQ(out.Status(), tosIdle);
    // A pause asked for while idle or before does not carry over into the next run.
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return out.Steps() > 3; }));
    EXPECT_EQ(out.Status(), tosBusy);
    out.Stop(false);
}

TEST(StreamOutput, ErrorsDuringARunReachTheHandlersThenDone)
{
    struct Case {
        const char* name;
        std::function<void(TAuGenerator&, TAuMemoryOut&)> setup;
        QString message;
    };
    const Case cases[] = {
        {"prepare", [](TAuGenerator&, TAuMemoryOut& o) { o.SetPrepareError("prepare failed"); },
         "prepare failed"},
        {"init", [](TAuGenerator& g, TAuMemoryOut&) { g.SetInitError("no device"); }, "no device"},
        {"read", [](TAuGenerator& g, TAuMemoryOut&) { g.SetThrowAtByte(10000, "read failed"); },
         "read failed"},
        {"step", [](TAuGenerator&, TAuMemoryOut& o) { o.SetStepError(3, "write failed"); },
         "write failed"},
    };
    for (const Case& c : cases) {
        TAuGenerator gen;
        gen.SetGeneratedSize(100000);
        gen.SetBlockLimit(1000);
        TAuMemoryOut out;
        out.SetInput(&gen);
        c.setup(gen, out);
        EventLog log;
        log.Attach(out);
        out.Run();
        ASSERT_TRUE(PumpUntil([&] { return log.done == 1; })) << c.name;
        EXPECT_EQ(out.ExceptionMessage(), c.message) << c.name;
        ASSERT_GE(log.events.size(), 2) << c.name;
        EXPECT_EQ(log.events.at(log.events.size() - 2), "error:" + c.message) << c.name;
        EXPECT_EQ(log.events.last(), "done") << c.name;
        EXPECT_EQ(out.DoneCount(), 1) << c.name;
        EXPECT_FALSE(out.Busy());
        if (QString(c.name) == "read") {
            EXPECT_EQ(out.Data(), PatternBytes(0, 10000));
        }
        // The next run clears the message.
        out.SetPrepareError(QString());
        out.SetStepError(-1, QString());
        gen.SetInitError(QString());
        gen.SetThrowAtByte(-1, QString());
        out.Run();
        EXPECT_TRUE(out.ExceptionMessage().isEmpty());
        ASSERT_TRUE(PumpUntil([&] { return log.done == 2; })) << c.name;
        EXPECT_TRUE(out.ExceptionMessage().isEmpty()) << c.name;
    }
}

// A failing finish (a header or a close that cannot be written) is the run's error.
TEST(StreamOutput, AnErrorInDoneIsTheRunsError)
{
    TAuGenerator gen;
    gen.SetGeneratedSize(100);
    TAuMemoryOut out;
    out.SetInput(&gen);
    out.SetDoneError("close failed");
    EventLog log;
    log.Attach(out);
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return log.done == 1; }));
    EXPECT_FALSE(out.Busy());
    EXPECT_EQ(out.ExceptionMessage(), "close failed");
    EXPECT_EQ(log.events.filter("error").size(), 1);
}

TEST(StreamOutput, SettingInputWhileBusyRestartsWithTheNewInput)
{
    TAuGenerator a, b;
    a.SetGeneratedSize(-1);
    b.SetGeneratedSize(-1);
    TAuMemoryOut out;
    out.SetInput(&a);
    EventLog log;
    log.Attach(out);
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return out.Steps() > 3; }));
    out.SetInput(&b);
    EXPECT_TRUE(out.Busy());
    EXPECT_EQ(out.Input(), &b);
    EXPECT_EQ(a.FlushCount(), 1);
    ASSERT_TRUE(PumpUntil([&] { return b.InitCount() == 1; }));
    out.Stop(true);
    ASSERT_TRUE(PumpUntil([&] { return log.done == 1; }));
    ASSERT_TRUE(DrainEvents());
    EXPECT_EQ(log.done, 1);                        // the first run's OnDone was dropped
    EXPECT_EQ(b.FlushCount(), 1);
}

// Destroying an input stops, at once, every output reading it directly or through
// converters; converters forget it; nothing reads freed memory (run under TSan and ASan).
TEST(StreamOutput, DestroyingAnInputStopsTheOutputsReadingIt)
{
    // An output that has finished keeps its OnDone still on the way.
    auto gen = std::make_unique<TAuGenerator>();
    gen->SetGeneratedSize(100);
    TAuMemoryOut idle;
    idle.SetInput(gen.get());
    int idleDone = 0;
    idle.SetOnDone([&](QObject*) { ++idleDone; });
    idle.Run();
    for (int i = 0; i < 30000 && idle.Busy(); ++i)
        QThread::msleep(1);
    gen.reset();
    EXPECT_EQ(idle.Input(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return idleDone == 1; }));
    EXPECT_EQ(RaisedText([&] { idle.Run(); }), "Input is not assigned");

    for (const bool throughConverters : {false, true}) {
        auto source = std::make_unique<TAuGenerator>();
        source->SetGeneratedSize(-1);
        TAuPassThrough inner, outer;
        inner.SetInput(source.get());
        outer.SetInput(&inner);
        TAuMemoryOut out;
        out.SetCap(0);
        out.SetInput(throughConverters ? static_cast<TAuInput*>(&outer) : source.get());
        EventLog log;
        log.Attach(out);
        out.Run();
        ASSERT_TRUE(PumpUntil([&] { return out.Steps() > 3; }));
        source.reset();
        EXPECT_FALSE(out.Busy());
        EXPECT_EQ(out.DoneCount(), 1);
        EXPECT_EQ(out.Input(), throughConverters ? static_cast<TAuInput*>(&outer) : nullptr);
        EXPECT_EQ(inner.Input(), nullptr);
        ASSERT_TRUE(DrainEvents());
        EXPECT_EQ(log.done, 0);                    // stopped synchronously: no OnDone
    }

    // A converter destroyed below a running output: the output's Done still reaches the
    // source through it, and the converter above forgets it.
    TAuGenerator source;
    source.SetGeneratedSize(-1);
    auto doomed = std::make_unique<TAuPassThrough>();
    doomed->SetInput(&source);
    TAuPassThrough outer;
    outer.SetInput(doomed.get());
    TAuMemoryOut out;
    out.SetCap(0);
    out.SetInput(&outer);
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return out.Steps() > 3; }));
    doomed.reset();
    EXPECT_FALSE(out.Busy());
    EXPECT_EQ(outer.Input(), nullptr);
    EXPECT_EQ(source.FlushCount(), 1);
}

TEST(StreamOutput, DestroyingOutputsWhileRunningOrFromTheirOwnHandler)
{
    TAuGenerator gen;
    gen.SetGeneratedSize(-1);
    {
        TAuMemoryOut out;
        out.SetInput(&gen);
        out.SetOnProgress([](QObject*) {});
        out.Run();
        ASSERT_TRUE(PumpUntil([&] { return out.Steps() > 3; }));
    }   // destroyed running, events pending
    EXPECT_EQ(gen.FlushCount(), 1);

    auto* owned = new TAuMemoryOut;
    TAuGenerator finite;
    finite.SetGeneratedSize(100);
    owned->SetInput(&finite);
    bool deleted = false;
    owned->SetOnDone([&](QObject* sender) {
        delete static_cast<TAuMemoryOut*>(sender);
        deleted = true;
    });
    owned->Run();
    ASSERT_TRUE(PumpUntil([&] { return deleted; }));
    ASSERT_TRUE(DrainEvents());
}

// A worker blocked in a call to the main thread, and a synchronous stop on the main
// thread, must not wait for each other.
TEST(StreamOutput, SyncStopServicesCallsToTheMainThread)
{
    TAuGenerator gen;
    gen.SetGeneratedSize(-1);
    TAuMemoryOut out;
    out.SetInput(&gen);
    std::atomic<int> calls{0};
    std::atomic<bool> offMain{false};
    out.SetStepHook([&](int) {
        MainThreadSync::Synchronize([&] {
            offMain = offMain || !OnMainThread();
            ++calls;
        });
    });
    for (int i = 0; i < 20; ++i) {
        out.Run();
        ASSERT_TRUE(MainThreadSync::WaitFor([&] { return out.Steps() > 2; }, 10000));
        out.Stop(false);
        EXPECT_FALSE(out.Busy());
    }
    EXPECT_GT(calls.load(), 0);
    EXPECT_FALSE(offMain.load());
}

TEST(StreamOutput, HandlersMayStopOtherOutputsSynchronously)
{
    TAuGenerator a, b;
    a.SetGeneratedSize(-1);
    b.SetGeneratedSize(-1);
    TAuMemoryOut first, second;
    first.SetInput(&a);
    second.SetInput(&b);
    int progressOfSecond = 0;
    second.SetOnProgress([&](QObject*) { ++progressOfSecond; });
    bool stopped = false;
    first.SetOnProgress([&](QObject*) {
        if (!stopped) {
            stopped = true;
            second.Stop(false);
        }
    });
    second.Run();
    first.Run();
    ASSERT_TRUE(PumpUntil([&] { return stopped; }));
    EXPECT_FALSE(second.Busy());
    first.Stop(false);
}
