// The waveaudio device on SDL's disk driver, which captures the bytes of a file in real
// time from its start at every open: a recording must be exactly a prefix of that file,
// spliced into the element at the start position.
#include "fixtures/AuTestComponents.h"
#include "fixtures/TestUtil.h"
#include "players/WaveAudioDevice.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>

namespace {

class RecordDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        input = dir.filePath("mic.raw");
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILEIN", input.toLocal8Bit());
        qputenv("SDL_DISKAUDIOFILE", dir.filePath("card.raw").toLocal8Bit());
    }
    void TearDown() override { qputenv("SDL_AUDIODRIVER", "dummy"); }

    // A PCM file holding Data.
    QString MakeWav(const QString& name, int bits, int channels, int rate, const QByteArray& data)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(WriteAll(path, TWaveAudioDevice::PcmHeader(channels, bits, rate, uint32_t(data.size())) + data));
        return path;
    }

    // Records from FromMs until at least Ms are captured (watchdog), then saves.
    void RecordFor(TWaveAudioDevice& dev, int64_t fromMs, int64_t ms)
    {
        ASSERT_TRUE(dev.Record(fromMs)) << dev.ErrorText().toStdString();
        EXPECT_EQ(dev.Mode(), TWaveAudioDevice::mpRecording);
        const int64_t until = std::max<int64_t>(fromMs, 0) + ms;
        EXPECT_TRUE(PumpUntil([&] { return dev.Length() >= until; }, 10000));
        ASSERT_TRUE(dev.Save()) << dev.ErrorText().toStdString();
        EXPECT_EQ(dev.Mode(), TWaveAudioDevice::mpStopped);
    }

    QTemporaryDir dir;
    QString input;
};

// Input bytes that are never one long run of silence.
QByteArray Mic(int bytes)
{
    return PatternBytes(7, bytes);
}

// The data chunk of a file written by the device, after checking its header counts.
QByteArray Data(const QString& path)
{
    const QByteArray all = ReadAll(path);
    EXPECT_GE(all.size(), 44);
    const auto u32 = [&](int at) { return qFromLittleEndian<uint32_t>(all.constData() + at); };
    EXPECT_EQ(u32(4), uint32_t(all.size() - 8));
    EXPECT_EQ(u32(40), uint32_t(all.size() - 44));
    return all.mid(44);
}

} // namespace

TEST_F(RecordDevice, RecordingIsAPrefixOfTheInputSplicedAtItsStart)
{
    struct Case {
        int bits, channels, rate;
        int baseMs;          // the element's sound before recording
        int fromMs;          // -1: from the current position (the start)
        int recordMs;
    };
    const Case cases[] = {
        {8, 1, 8000, 0, -1, 300},          // a new file
        {16, 2, 44100, 0, -1, 300},
        {8, 1, 8000, 400, 200, 300},       // 200 of 400: overwrites the second half and extends
        {16, 2, 44100, 400, 200, 100},     // overwrites part of the second half only
        {8, 1, 8000, 400, 400, 200},       // at the end: appends
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << "-bit " << c.channels << " ch " << c.rate << " Hz from " << c.fromMs);
        const int frame = c.bits / 8 * c.channels;
        const QByteArray mic = Mic(c.rate * frame * 3);
        ASSERT_TRUE(WriteAll(input, mic));
        const QByteArray base = QByteArray(int64_t(c.rate) * c.baseMs / 1000 * frame, 'b');
        const QString file = MakeWav("doc.wav", c.bits, c.channels, c.rate, base);

        TWaveAudioDevice dev;
        ASSERT_TRUE(dev.Open(file));
        EXPECT_EQ(dev.Length(), c.baseMs);
        RecordFor(dev, c.fromMs, c.recordMs);
        EXPECT_FALSE(QFile::exists(dev.SideFileName()));

        const QByteArray data = Data(file);
        const int64_t at = int64_t(c.rate) * std::max(c.fromMs, 0) / 1000 * frame;
        ASSERT_GE(data.size(), at + int64_t(c.rate) * c.recordMs / 1000 * frame);
        EXPECT_EQ(data.left(at), base.left(at));
        const QByteArray recorded = data.mid(at, std::max<int64_t>(0, dev.PositionFrames() * frame - at));
        ASSERT_EQ(recorded.size() % frame, 0);
        EXPECT_TRUE(recorded == mic.left(recorded.size())) << "the recording is the input's prefix";
        EXPECT_EQ(data.mid(at + recorded.size()), base.mid(at + recorded.size()));
        EXPECT_EQ(dev.Length(), int64_t(data.size() / frame) * 1000 / c.rate);
        dev.Close();
    }
}

TEST_F(RecordDevice, OpensOnlyPcmOf8Or16BitsMonoOrStereo)
{
    struct Case {
        int format, bits, channels;
        bool opens;
    };
    const Case cases[] = {{1, 8, 1, true}, {1, 16, 2, true}, {1, 24, 2, false}, {1, 16, 6, false}, {3, 32, 2, false}};
    for (const Case& c : cases) {
        QByteArray header = TWaveAudioDevice::PcmHeader(c.channels, c.bits, 8000, 12345 * c.channels * c.bits / 8);
        qToLittleEndian<uint16_t>(uint16_t(c.format), header.data() + 20);
        const QString path = dir.filePath("f.wav");
        ASSERT_TRUE(WriteAll(path, header + QByteArray(12345 * c.channels * c.bits / 8, 1)));
        TWaveAudioDevice dev;
        EXPECT_EQ(dev.Open(path), c.opens) << c.format << ' ' << c.bits << ' ' << c.channels;
        EXPECT_EQ(dev.IsOpen(), c.opens);
        if (c.opens) {
            EXPECT_EQ(dev.Length(), 12345 * 1000 / 8000);    // frames * 1000 / rate
        }
    }
    TWaveAudioDevice dev;
    EXPECT_FALSE(dev.Open(dir.filePath("missing.wav")));
    EXPECT_FALSE(dev.Open(dir.path()));
}

TEST_F(RecordDevice, FailedCaptureOpenChangesNothing)
{
    qputenv("SDL_DISKAUDIOFILEIN", dir.filePath("no-such-input.raw").toLocal8Bit());
    const QByteArray base(800, 'b');
    const QString file = MakeWav("doc.wav", 8, 1, 8000, base);
    TWaveAudioDevice dev;
    ASSERT_TRUE(dev.Open(file));
    EXPECT_FALSE(dev.Record(0));
    EXPECT_FALSE(dev.ErrorText().isEmpty());
    EXPECT_EQ(dev.Mode(), TWaveAudioDevice::mpStopped);
    EXPECT_FALSE(dev.HasUnsavedRecording());
    EXPECT_FALSE(QFile::exists(dev.SideFileName()));
    EXPECT_TRUE(dev.Save());
    EXPECT_EQ(Data(file), base);
}

TEST_F(RecordDevice, CloseWithoutSaveDropsTheRecording)
{
    ASSERT_TRUE(WriteAll(input, Mic(8000)));
    const QByteArray base(800, 'b');
    const QString file = MakeWav("doc.wav", 8, 1, 8000, base);
    TWaveAudioDevice dev;
    ASSERT_TRUE(dev.Open(file));
    ASSERT_TRUE(dev.Record(0));
    EXPECT_TRUE(PumpUntil([&] { return dev.Length() > 150; }, 10000));
    dev.Stop();
    EXPECT_TRUE(dev.HasUnsavedRecording());
    dev.Close();
    EXPECT_EQ(Data(file), base);
    EXPECT_FALSE(QFile::exists(dev.SideFileName()));
}

// A full disk: the side file stops growing; the recording ends by itself and what was
// written is kept.
TEST_F(RecordDevice, WriteFailureEndsTheRecordingKeepingWhatWasCaptured)
{
    const QByteArray mic = Mic(16000);
    ASSERT_TRUE(WriteAll(input, mic));
    const QString file = MakeWav("doc.wav", 8, 1, 8000, {});
    TWaveAudioDevice dev;
    ASSERT_TRUE(dev.Open(file));
    QSignalSpy failed(&dev, &TWaveAudioDevice::RecordingFailed);

    constexpr rlim_t Limit = 1000;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = Limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool started = dev.Record(0);
    const bool ended = PumpUntil([&] { return failed.count() > 0; }, 10000);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(started);
    ASSERT_TRUE(ended);

    EXPECT_TRUE(dev.WriteFailed());
    EXPECT_EQ(dev.Mode(), TWaveAudioDevice::mpStopped);
    ASSERT_TRUE(dev.Save());
    EXPECT_EQ(Data(file), mic.left(int(Limit)));
}
