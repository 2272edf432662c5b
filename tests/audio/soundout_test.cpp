// The sound output on SDL's dummy driver, and with the test as the card where the timing
// matters: device numbers, buffer sizing, formats the card cannot take, a card that
// stops taking data, pause and jump during the play-out, and prompt synchronous stops.
#include "fixtures/AuTestComponents.h"
#include "fixtures/TestUtil.h"
#include "audio/DXAudioOut.h"
#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>
#include <cmath>
#include <limits>

namespace {

class TTestAudioOut : public TDXAudioOut
{
public:
    using TDXAudioOut::TDXAudioOut;
    ~TTestAudioOut() override { Stop(false); }
    TDSWrapper& W() { return Wrapper(); }
};

struct RunResult {
    QString error;
    int errors = 0;
    bool finished = false;
};

// Runs out on in until its OnDone (watchdog 10 s).
RunResult RunToEnd(TDXAudioOut& out, TAuInput& in)
{
    RunResult r;
    out.SetOnThreadException([&](QObject*) { ++r.errors; r.error = out.ExceptionMessage(); });
    bool done = false;
    out.SetOnDone([&](QObject*) { done = true; });
    out.SetInput(&in);
    out.Run();
    r.finished = PumpUntil([&] { return done; });
    out.SetOnThreadException({});
    out.SetOnDone({});
    return r;
}

// 16-bit stereo pattern of Ms milliseconds at Rate.
void ShortInput(TAuGenerator& gen, int Ms, int Rate = 44100)
{
    gen.SetFormat(16, 2, Rate);
    gen.SetGeneratedSize(int64_t(Rate) * Ms / 1000 * 4);
}

} // namespace

TEST(SoundOut, DeviceNumberOutsideTheListFailsAtStart)
{
    TDXAudioOut out;
    ASSERT_GE(out.DeviceCount(), 2);    // the default output and the dummy driver's own
    EXPECT_EQ(out.DeviceDescription(0), "Primary Sound Driver");
    EXPECT_EQ(out.DeviceDescription(out.DeviceCount()), "");
    for (const int number : {-1, out.DeviceCount(), 3 + out.DeviceCount()}) {
        SCOPED_TRACE(number);
        TAuGenerator gen;
        ShortInput(gen, 20);
        out.SetDeviceNumber(number);
        const RunResult r = RunToEnd(out, gen);
        EXPECT_TRUE(r.finished);
        EXPECT_EQ(r.error, "Invalid device number");
        EXPECT_EQ(out.Status(), tosIdle);
    }
}

TEST(SoundOut, LatencyAndSpeedSizeTheBuffer)
{
    struct Case {
        const char* name;
        uint32_t latency, frames, polling;
        float speed;
        int rate;
        uint32_t wantLatency, wantFrames, wantPolling;
        int wantRate;
    };
    const Case cases[] = {
        {"latency 5 is raised to 10", 5, 0, 0, 1.0f, 44100, 10, 441, 3, 44100},
        {"latency 80 sizes like the player", 80, 0, 0, 1.0f, 44100, 80, 3528, 26, 44100},
        {"latency 0 keeps the settings", 0, 4410, 30, 1.0f, 44100, 0, 4410, 30, 44100},
        {"latency 0 with nothing to run on", 0, 10, 0, 1.0f, 44100, 0, 441, 1, 44100},
        {"speed 2 doubles the rate", 100, 0, 0, 2.0f, 22050, 100, 4410, 33, 44100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TTestAudioOut out;
        out.SetLatency(c.latency);
        out.SetFramesInBuffer(c.frames);
        out.SetPollingInterval(c.polling);
        out.SetSpeedFactor(c.speed);
        TAuGenerator gen;
        ShortInput(gen, 20, c.rate);
        const RunResult r = RunToEnd(out, gen);
        EXPECT_TRUE(r.finished);
        EXPECT_EQ(r.error, "");
        EXPECT_EQ(out.Latency(), c.wantLatency);
        EXPECT_EQ(out.FramesInBuffer(), c.wantFrames);
        EXPECT_EQ(out.PollingInterval(), c.wantPolling);
        EXPECT_EQ(out.W().SampleRate(), c.wantRate);
    }
}

TEST(SoundOut, FormatTheCardCannotTakeFailsWithTheCardsCode)
{
    struct Case {
        const char* name;
        int bits, channels, rate;
        float speed;
        uint32_t latency = 100;
        const char* code = "88780064";
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"12 bits", 12, 2, 44100, 1.0f},   {"no channels", 16, 0, 44100, 1.0f},
        {"9 channels", 16, 9, 44100, 1.0f}, {"99 Hz", 16, 2, 99, 1.0f},
        {"200001 Hz", 16, 2, 200001, 1.0f}, {"speed 0", 16, 2, 44100, 0.0f},
        {"speed -1", 16, 2, 44100, -1.0f},  {"speed NaN", 16, 2, 44100, nan},
        {"a buffer of days", 32, 8, 192000, 1.0f, 4000000000u, "8007000E"},
    };
    TDXAudioOut out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        out.SetSpeedFactor(c.speed);
        out.SetLatency(c.latency);
        TAuGenerator gen;
        gen.SetFormat(c.bits, c.channels, c.rate);
        gen.SetGeneratedSize(4096);
        const RunResult r = RunToEnd(out, gen);
        EXPECT_TRUE(r.finished);
        EXPECT_EQ(r.error, QStringLiteral("Failed to create DirectSound buffer") + c.code);
        EXPECT_EQ(r.errors, 1);
        EXPECT_EQ(gen.FlushCount(), 1);
    }
}

TEST(SoundOut, CardThatTakesNothingEndsTheRunAfterSixteenPolls)
{
    TTestAudioOut out;
    out.W().SetExternalConsumer(true);   // and nobody consumes
    out.SetLatency(0);
    out.SetFramesInBuffer(441);
    out.SetPollingInterval(1);
    TAuGenerator gen;
    gen.SetFormat(16, 2, 44100);         // endless
    const RunResult r = RunToEnd(out, gen);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.error, "Audio output error");
    EXPECT_EQ(r.errors, 1);
    EXPECT_FALSE(out.W().BufferOpen());
}

TEST(SoundOut, PauseAndJumpDuringThePlayOutKeepTheCardStoppedUntilResume)
{
    TTestAudioOut out;
    TDSWrapper& w = out.W();
    w.SetExternalConsumer(true);
    out.SetLatency(0);
    out.SetFramesInBuffer(4410);
    out.SetPollingInterval(5);
    TAuGenerator gen;
    ShortInput(gen, 20);                 // ends in the first step: straight to the play-out
    bool done = false;
    out.SetOnDone([&](QObject*) { done = true; });
    out.SetInput(&gen);
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return w.Ring().Playing() && gen.Position() == gen.Size(); }));

    out.Pause();
    EXPECT_EQ(out.Status(), tosPaused);
    EXPECT_FALSE(w.Ring().Playing());
    out.Jump(0);
    EXPECT_EQ(out.Status(), tosPaused);
    EXPECT_FALSE(w.Ring().Playing());

    out.Resume();
    EXPECT_TRUE(w.Ring().Playing());
    EXPECT_NE(out.Status(), tosPaused);
    // The test is the card: once it has taken everything, the play-out ends the run.
    std::vector<uint8_t> period(w.Ring().PeriodBytes());
    EXPECT_TRUE(PumpUntil([&] {
        if (w.BufferOpen())
            w.Ring().Consume(period.data(), uint32_t(period.size()));
        return done;
    }));
}

TEST(SoundOut, SynchronousStopReturnsMidPlayAndMidPlayOut)
{
    for (const bool midPlayOut : {false, true}) {
        SCOPED_TRACE(midPlayOut ? "mid play-out" : "mid play");
        TTestAudioOut out;
        out.SetLatency(midPlayOut ? 3000 : 100);
        TAuGenerator gen;
        gen.SetFormat(16, 2, 44100);
        if (midPlayOut)
            ShortInput(gen, 50);         // far shorter than the 3 s buffer
        bool done = false;
        out.SetOnDone([&](QObject*) { done = true; });
        out.SetInput(&gen);
        out.Run();
        ASSERT_TRUE(PumpUntil([&] {
            return out.W().Ring().Playing() && (!midPlayOut || gen.Position() == gen.Size());
        }));
        out.Stop(false);
        EXPECT_EQ(out.Status(), tosIdle);
        EXPECT_FALSE(out.W().BufferOpen());
        EXPECT_EQ(gen.FlushCount(), 1);
        PumpFor(20);
        EXPECT_FALSE(done);              // a synchronous stop drops the run's OnDone
    }
}
