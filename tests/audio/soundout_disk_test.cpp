// The sound output end to end on SDL's disk driver, which writes exactly what the card
// was given to a file at real-time pace. Silent frames are left out of every comparison:
// the driver writes silence while the device is paused, and a loaded machine may cause an
// underrun, which inserts silence. Everything else must be the input, in order, once.
#include "fixtures/AuTestComponents.h"
#include "fixtures/TestUtil.h"
#include "audio/DXAudioOut.h"
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>

namespace {

class SoundOutDisk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        file = dir.filePath("card.raw");
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", file.toLocal8Bit());
    }
    void TearDown() override { qputenv("SDL_AUDIODRIVER", "dummy"); }

    // Plays in through out until OnDone (watchdog); what the card got.
    QByteArray Play(TDXAudioOut& out, TAuInput& in, const std::function<void()>& WhilePlaying = {})
    {
        bool done = false;
        out.SetOnDone([&](QObject*) { done = true; });
        out.SetOnThreadException([&](QObject*) { error = out.ExceptionMessage(); });
        out.SetInput(&in);
        out.Run();
        if (WhilePlaying)
            WhilePlaying();
        EXPECT_TRUE(PumpUntil([&] { return done; }));
        out.SetOnDone({});
        out.SetOnThreadException({});
        return ReadAll(file);
    }

    QTemporaryDir dir;
    QString file;
    QString error;
};

// What the card should get for Input: 24-bit samples as 32-bit values shifted left by 8,
// every sample scaled by 10^(Volume/2000) (nothing at -10000).
QByteArray CardBytes(const QByteArray& Input, int Bits, int Volume)
{
    const double gain = Volume <= -10000 ? 0.0 : std::pow(10.0, Volume / 2000.0);
    const int in = Bits / 8;
    QByteArray out;
    for (qsizetype i = 0; i + in <= Input.size(); i += in) {
        const auto* p = reinterpret_cast<const uint8_t*>(Input.constData() + i);
        switch (Bits) {
        case 8:
            out.append(char(std::lrint((int(p[0]) - 128) * gain) + 128));
            break;
        case 16: {
            const auto v = int16_t(std::lrint(int16_t(p[0] | p[1] << 8) * gain));
            out.append(reinterpret_cast<const char*>(&v), 2);
            break;
        }
        default: {
            const int32_t raw = Bits == 24 ? int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24)
                                           : int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
            const auto v = int32_t(std::lrint(raw * gain));
            out.append(reinterpret_cast<const char*>(&v), 4);
        }
        }
    }
    return out;
}

// Card bytes without their silent frames.
QByteArray Audible(const QByteArray& Card, int Bits, int Channels)
{
    const int frame = (Bits == 24 ? 4 : Bits / 8) * Channels;
    const char silence = Bits == 8 ? char(128) : char(0);
    QByteArray out;
    for (qsizetype i = 0; i + frame <= Card.size(); i += frame) {
        const char* f = Card.constData() + i;
        if (std::any_of(f, f + frame, [&](char c) { return c != silence; }))
            out.append(f, frame);
    }
    return out;
}

// The bytes a generator of that size delivers.
QByteArray Generated(const TAuGenerator& Gen)
{
    return PatternBytes(0, Gen.GeneratedSize());
}

void Format(TAuGenerator& Gen, int Bits, int Channels, int Rate, int Ms)
{
    Gen.SetFormat(Bits, Channels, Rate);
    Gen.SetGeneratedSize(int64_t(Rate) * Ms / 1000 * Channels * (Bits / 8));
}

} // namespace

TEST_F(SoundOutDisk, CardGetsEveryFormatsInputOnceAndInOrder)
{
    struct Case {
        int bits, channels, rate, ms;
        bool prefetch = true;
    };
    const Case cases[] = {
        {8, 1, 8000, 120}, {16, 2, 44100, 100}, {24, 2, 48000, 100},
        {32, 6, 96000, 60}, {16, 6, 22050, 80}, {24, 1, 11025, 100},
        {16, 2, 44100, 30},             // shorter than the buffer: heard whole all the same
        {16, 2, 44100, 150, false},     // through the transfer buffer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.channels << " channels, "
                                        << c.rate << " Hz, " << c.ms << " ms, prefetch " << c.prefetch);
        TDXAudioOut out;
        out.SetPrefetchData(c.prefetch);
        TAuGenerator gen;
        Format(gen, c.bits, c.channels, c.rate, c.ms);
        const QByteArray card = Play(out, gen);
        EXPECT_EQ(error, "");
        const QByteArray expect = Audible(CardBytes(Generated(gen), c.bits, 0), c.bits, c.channels);
        const QByteArray got = Audible(card, c.bits, c.channels);
        EXPECT_EQ(got.size(), expect.size());
        EXPECT_TRUE(got == expect);
    }
}

TEST_F(SoundOutDisk, VolumeScalesWhatTheCardGets)
{
    for (const int volume : {0, -600, -10000}) {
        SCOPED_TRACE(volume);
        TDXAudioOut out;
        out.SetVolume(volume);
        TAuGenerator gen;
        Format(gen, 16, 2, 44100, 60);
        const QByteArray got = Audible(Play(out, gen), 16, 2);
        const QByteArray expect = Audible(CardBytes(Generated(gen), 16, volume), 16, 2);
        EXPECT_EQ(got.size(), expect.size());
        EXPECT_TRUE(got == expect);
        if (volume == -10000) {
            EXPECT_TRUE(got.isEmpty());
        }
    }
}

TEST_F(SoundOutDisk, PauseAndResumeLoseNothing)
{
    TDXAudioOut out;
    TAuGenerator gen;
    Format(gen, 16, 2, 44100, 300);
    const QByteArray card = Play(out, gen, [&] {
        ASSERT_TRUE(PumpUntil([&] { return gen.Position() >= gen.Size() / 3; }));
        out.Pause();
        EXPECT_EQ(out.Status(), tosPaused);
        PumpFor(30);
        out.Resume();
        EXPECT_NE(out.Status(), tosPaused);
    });
    const QByteArray expect = Audible(Generated(gen), 16, 2);
    EXPECT_TRUE(Audible(card, 16, 2) == expect);
}

TEST_F(SoundOutDisk, JumpSkipsAheadWithoutRepeatingOrLosingTheRest)
{
    const QByteArray data = PatternBytes(0, 22050 * 6 / 10 * 4);
    const QByteArray all = Audible(data, 16, 2);
    const QString raw = dir.filePath("in.raw");
    ASSERT_TRUE(WriteAll(raw, data));
    for (const bool atOnce : {false, true}) {
        SCOPED_TRACE(atOnce ? "right after the start" : "while playing");
        TDXAudioOut out;
        TAuRawFileIn in;
        in.SetRawFormat(16, 2, 22050);
        in.SetFileName(raw);
        const QByteArray got = Audible(Play(out, in, [&] {
            if (!atOnce) {
                ASSERT_TRUE(PumpUntil([&] { return in.Size() > 0 && in.Position() >= in.Size() / 4; }));
            }
            out.Jump(500);
            EXPECT_NE(out.Status(), tosPaused);
        }), 16, 2);
        // What was heard: a start of the file (none when the jump came first), then the
        // rest of the file from where the jump landed.
        qsizetype head = 0;
        if (!atOnce) {
            while (head < got.size() && head < all.size() && got[head] == all[head])
                ++head;
            head -= head % 4;
            EXPECT_GT(head, 0);
            EXPECT_LT(got.size(), all.size() * 3 / 4);
        }
        EXPECT_TRUE(got.mid(head) == all.right(got.size() - head));
        // A jump before the reading has started has nothing to move; else it lands half
        // way, and from there everything is heard.
        if (atOnce) {
            EXPECT_TRUE(got == all || got == Audible(data.mid(data.size() / 2), 16, 2));
        }
    }
}

TEST_F(SoundOutDisk, StallingInputReportsUnderrunsOnTheMainThreadAndLosesNothing)
{
    TDXAudioOut out;
    out.SetLatency(40);
    TAuGenerator gen;
    Format(gen, 16, 2, 44100, 200);
    gen.SetBlockLimit(441 * 4);         // 10 ms of audio per read...
    gen.SetDelayMicroseconds(30000);    // ...that takes 30 ms
    int underruns = 0;
    int offMain = 0;
    out.SetOnUnderrun([&](QObject* sender) {
        ++underruns;
        offMain += QThread::currentThread() != QCoreApplication::instance()->thread();
        EXPECT_EQ(sender, &out);
    });
    const QByteArray card = Play(out, gen);
    EXPECT_GT(underruns, 0);
    EXPECT_EQ(offMain, 0);
    gen.SetBlockLimit(0);
    gen.SetDelayMicroseconds(0);
    EXPECT_TRUE(Audible(card, 16, 2) == Audible(Generated(gen), 16, 2));
}

TEST_F(SoundOutDisk, NoAudioDriverMeansInvalidDeviceNumber)
{
    qputenv("SDL_AUDIODRIVER", "nosuch");
    TDXAudioOut out;
    EXPECT_EQ(out.DeviceCount(), 0);
    TAuGenerator gen;
    Format(gen, 16, 2, 44100, 20);
    Play(out, gen);
    EXPECT_EQ(error, "Invalid device number");
}

namespace {

// A 16-bit stereo 44100 Hz WAV file holding Data, written by sox.
bool WriteWav(const QString& Path, const QByteArray& Data)
{
    const QString raw = Path + ".raw";
    if (!WriteAll(raw, Data))
        return false;
    QProcess sox;
    sox.start("sox", {"-t", "raw", "-r", "44100", "-e", "signed", "-b", "16", "-c", "2", raw, Path});
    return sox.waitForFinished(20000) && sox.exitStatus() == QProcess::NormalExit && sox.exitCode() == 0;
}

struct CliRun {
    int exitCode = -1;
    QString err;
    QString out;
};

CliRun RunCli(const QStringList& Args, const QByteArray& Driver, const QString& CardFile = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SDL_AUDIODRIVER", QString::fromLatin1(Driver));
    env.insert("SDL_DISKAUDIOFILE", CardFile);
    p.setProcessEnvironment(env);
    p.start(VARNELCD_CLI, QStringList{"play"} + Args);
    CliRun r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    r.err = QString::fromUtf8(p.readAllStandardError());
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

} // namespace

TEST_F(SoundOutDisk, CommandLinePlaysAWavFileWholeAndListsDevices)
{
    const QByteArray data = PatternBytes(0, 44100 / 10 * 4);
    const QString wav = dir.filePath("in.wav");
    ASSERT_TRUE(WriteWav(wav, data));
    CliRun r = RunCli({wav, "--latency", "80", "--volume", "0"}, "disk", file);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(Audible(ReadAll(file), 16, 2) == Audible(data, 16, 2));

    r = RunCli({"--list-devices"}, "disk");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("0\tPrimary Sound Driver\n1\t")) << r.out.toStdString();

    struct Case {
        const char* name;
        QStringList args;
        QByteArray driver;
        QString message;
    };
    const QString notWav = dir.filePath("not.wav");
    ASSERT_TRUE(WriteAll(notWav, "plain text"));
    const Case failures[] = {
        {"no driver, listing", {"--list-devices"}, "nosuch", "no sound output device"},
        {"no driver, playing", {wav}, "nosuch", "Invalid device number"},
        {"device out of range", {wav, "--device", "9"}, "disk", "Invalid device number"},
        {"missing file", {dir.filePath("none.wav")}, "disk", "no such file"},
        {"not a WAV file", {notWav}, "disk", "not a WAV file that can be played"},
    };
    for (const Case& c : failures) {
        SCOPED_TRACE(c.name);
        r = RunCli(c.args, c.driver, file);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
    }
}
