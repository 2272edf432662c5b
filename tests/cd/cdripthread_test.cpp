// The rip thread over disc images made by make-test-disc: the bytes of the WAV file, its
// header, the events the owner receives, stopping, normalizing and every failure.
#include "cd/CDRipThread.h"
#include "platform/ProcessInfo.h"
#include "fixtures/TestDisc.h"
#include "cd/DiscReader.h"
#include "platform/akrip32.h"
#include "fixtures/TestUtil.h"
#include "platform/ReadFaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// Everything an owner window would receive, in order.
class TRecorder : public QObject {
public:
    std::vector<TProcessInfo> Infos;
    std::vector<int> Failed;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == RipFailedEventType) {
            Failed.push_back(static_cast<TRipFailedEvent*>(e)->Reason);
            return true;
        }
        if (e->type() == ProgressInfoEventType) {
            Infos.push_back(*static_cast<TProcessInfoEvent*>(e)->Info);
            return true;
        }
        return QObject::event(e);
    }
};

int16_t Sample(const QByteArray& wav, int frame, int channel)
{
    const int at = 44 + frame * 4 + channel * 2;
    return int16_t(uint16_t(uint8_t(wav[at])) | uint16_t(uint8_t(wav[at + 1])) << 8);
}

// Sectors [from, from+count) of pattern track `track`.
QByteArray TrackBytes(int track, uint32_t from, uint32_t count)
{
    QByteArray bytes;
    for (uint32_t s = from; s < from + count; ++s)
        bytes += ExpectedAudioSector(track, s);
    return bytes;
}

class CDRipThreadTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString out = dir.filePath("out");

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(out));
        SetReadFaults(QString());
        options.OutputFolder = out + '/';
    }
    void TearDown() override
    {
        SetReadFaults(QString());
        if (handle)
            CloseCDHandle(handle);
        CloseDriveTray(0);
        SetDiscImages({});
    }

    HCDROM Open(const QStringList& discArgs)
    {
        const QString cue = MakeTestDisc(dir.path(), discArgs);
        SetDiscImages({cue});
        THandleRequest req;
        handle = GetCDHandle(req);
        EXPECT_NE(handle, 0u);
        return handle;
    }

    // Rips track `index` to "<title>.wav" and returns what the owner received. With
    // stopFirst the owner has asked for a stop before the thread starts.
    TRecorder& Rip(int index, const QString& title = "t", bool stopFirst = false)
    {
        auto rip = std::make_unique<TCDRipThread>(index, title);
        rip->Reader = AkripDiscSource(handle)->NewReader();
        rip->OwnerWindow = &owner;
        rip->Options = options;
        rip->StopRequested = stopFirst;
        rip->Start();
        EXPECT_TRUE(rip->Wait(30000)) << "the rip thread did not end";   // watchdog only
        QCoreApplication::sendPostedEvents();      // the wake-up: the mailbox goes to the owner
        QCoreApplication::sendPostedEvents(&owner);
        return owner;
    }

    // The file a rip writes: its WAV's part file, which the owner renames into place.
    QString Wav(const QString& title = "t") const { return out + '/' + title + ".wav.part"; }

    // The last event must be the completion message with `code`.
    void ExpectFinished(int code)
    {
        ASSERT_FALSE(owner.Infos.empty());
        EXPECT_EQ(owner.Infos.back().Percent, ProgressCode::RipFinished);
        EXPECT_EQ(owner.Infos.back().ErrorCode, code);
        EXPECT_TRUE(owner.Failed.empty());
    }

    HCDROM handle = 0;
    TCommonOptions options;
    TRecorder owner;
};

// A header for `bytes` of data, spelled out field by field.
QByteArray Header(uint32_t bytes)
{
    QByteArray h = QByteArray::fromHex("52494646") + QByteArray(4, 0)
                   + QByteArray::fromHex("57415645666d7420100000000100020044ac0000"
                                         "10b102000400100064617461")
                   + QByteArray(4, 0);
    for (int i = 0; i < 4; ++i) {
        h[4 + i] = char(((36 + bytes) >> (8 * i)) & 0xFF);
        h[40 + i] = char((bytes >> (8 * i)) & 0xFF);
    }
    return h;
}

TEST_F(CDRipThreadTest, EveryByteOfTheTrackLandsInTheFile)
{
    struct TCase {
        const char* What;
        QStringList Disc;
        int Index;
        int Track;
        uint32_t Sectors;
    };
    const std::vector<TCase> cases = {
        {"length not a multiple of 10", {"--track", "audio:23", "--track", "audio:40"}, 1, 1, 23},
        {"last track, up to the lead-out", {"--track", "audio:23", "--track", "audio:40"}, 2, 2, 40},
        {"pregap before track 1", {"--pregap", "33", "--track", "audio:17", "--track", "audio:12"}, 1, 1, 17},
        {"after a pregap", {"--pregap", "33", "--track", "audio:17", "--track", "audio:12"}, 2, 2, 12},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        owner.Infos.clear();
        Open(c.Disc);
        Rip(c.Index);
        ExpectFinished(RipError::None);
        const QByteArray wav = ReadAll(Wav());
        EXPECT_EQ(wav.left(44), Header(c.Sectors * 2352));
        EXPECT_TRUE(wav.mid(44) == TrackBytes(c.Track, 0, c.Sectors));
        CloseCDHandle(handle);
        handle = 0;
    }
    // 23 sectors: reads of 10, 10 and 3, each followed by its progress.
    Open({"--track", "audio:23"});
    owner.Infos.clear();
    Rip(1);
    std::vector<int> percents;
    for (const TProcessInfo& i : owner.Infos)
        percents.push_back(i.Percent);
    EXPECT_EQ(percents, (std::vector<int>{43, 86, 100, 1000}));
    EXPECT_FALSE(owner.Infos[0].ElapsedText.isEmpty());
}

TEST_F(CDRipThreadTest, RipTimeCutsTheTrack)
{
    struct TCase {
        int RipTime;
        uint32_t Sectors;
    };
    Open({"--track", "audio:100", "--track", "audio:5"});
    for (const TCase c : {TCase{1, 75}, TCase{2, 100}, TCase{0, 0}}) {
        SCOPED_TRACE(c.RipTime);
        owner.Infos.clear();
        options.EnableRipTime = true;
        options.RipTime = c.RipTime;
        Rip(1);
        ExpectFinished(RipError::None);
        const QByteArray wav = ReadAll(Wav());
        EXPECT_EQ(wav.left(44), Header(c.Sectors * 2352));
        EXPECT_TRUE(wav.mid(44) == TrackBytes(1, 0, c.Sectors));
    }
}

TEST_F(CDRipThreadTest, StoppingLeavesNoFileAndNoMessage)
{
    Open({"--track", "audio:60"});
    Rip(1, "t", true);                     // looked at after the first read
    for (const TProcessInfo& i : owner.Infos)
        EXPECT_LT(i.Percent, ProgressCode::NormalizeBegins);
    EXPECT_TRUE(owner.Failed.empty());
    EXPECT_FALSE(QFile::exists(Wav()));

    // The owner frees a running thread: what was written goes with it.
    Open({"--track", "audio:3000"});
    {
        TCDRipThread rip(1, "big");
        rip.Reader = AkripDiscSource(handle)->NewReader();
        rip.Options = options;
        rip.Start();
    }
    EXPECT_FALSE(QFile::exists(Wav("big")));
}

TEST_F(CDRipThreadTest, NormalizePassScalesTheFile)
{
    // Frame i of the pattern has left sample i (low 16 bits): 56 sectors reach 32767.
    Open({"--track", "audio:56"});
    const QByteArray ripped = Header(56 * 2352) + TrackBytes(1, 0, 56);
    options.IsNormalize = true;
    struct TCase {
        int Percent;
        std::vector<std::pair<int, int16_t>> LeftSamples;   // frame, expected left sample
    };
    const std::vector<TCase> cases = {
        {50, {{3, 2}, {5, 2}, {7, 4}, {32767, 16384}, {20001, 10000}}},   // halves to even
        {95, {{32767, 31129}, {1, 1}, {20, 19}}},
        {150, {{20000, 30000}, {30000, 32767}}},                            // clipped, not wrapped
    };
    options.NormalizePercent = 100;
    Rip(1);
    ExpectFinished(RipError::None);
    EXPECT_TRUE(ReadAll(Wav()) == ripped);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Percent);
        owner.Infos.clear();
        options.NormalizePercent = c.Percent;
        Rip(1);
        ExpectFinished(RipError::None);
        const QByteArray wav = ReadAll(Wav());
        ASSERT_EQ(wav.size(), ripped.size());
        EXPECT_EQ(wav.left(44), ripped.left(44));
        for (const auto& [frame, value] : c.LeftSamples)
            EXPECT_EQ(Sample(wav, frame, 0), value) << "frame " << frame;
        EXPECT_FALSE(QFile::exists(out + "/t.nor"));
        // 999 follows the rip's 100 %; the pass reports its own progress up to 100 %.
        size_t begin = 0;
        while (begin < owner.Infos.size() && owner.Infos[begin].Percent != ProgressCode::NormalizeBegins)
            ++begin;
        ASSERT_LT(begin + 2, owner.Infos.size());
        EXPECT_EQ(owner.Infos[begin - 1].Percent, 100);
        EXPECT_EQ(owner.Infos[owner.Infos.size() - 2].Percent, 100);
    }
}

TEST_F(CDRipThreadTest, FailuresReachTheOwner)
{
    Open({"--track", "audio:60", "--track", "audio:30"});

    // Address mode (no handle), table of contents (tray open, no such track): no file.
    const HCDROM good = handle;
    handle = 0;
    Rip(1);
    EXPECT_EQ(owner.Failed, std::vector<int>{1});
    handle = good;
    for (int index : {0, 3}) {
        owner.Failed.clear();
        Rip(index);
        EXPECT_EQ(owner.Failed, std::vector<int>{2}) << index;
    }
    ASSERT_TRUE(EjectDrive(0));
    owner.Failed.clear();
    Rip(1);
    EXPECT_EQ(owner.Failed, std::vector<int>{2});
    EXPECT_TRUE(owner.Infos.empty());
    EXPECT_FALSE(QFile::exists(Wav()));
    ASSERT_TRUE(CloseDriveTray(0));
    owner.Failed.clear();

    // The WAV file cannot be created: a missing folder, a file in place of the folder, a
    // title that would leave the folder.
    ASSERT_TRUE(WriteAll(dir.filePath("plain"), "x"));
    for (const QString& folder : {dir.filePath("missing") + '/', dir.filePath("plain") + '/', out + '/'}) {
        SCOPED_TRACE(folder.toStdString());
        owner.Infos.clear();
        options.OutputFolder = folder;
        Rip(1, folder == out + '/' ? "../escaped" : "t");
        ASSERT_EQ(owner.Infos.size(), 1u);
        ExpectFinished(RipError::CreateFailed);
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("escaped.wav")));
    EXPECT_FALSE(QFile::exists(dir.filePath("missing")));
    options.OutputFolder = out + '/';

    // A read fault in track 2 (first sector 60): nothing of the failed track is left.
    owner.Infos.clear();
    ASSERT_TRUE(SetReadFaults("85"));
    Rip(2);
    ExpectFinished(RipError::ReadFailed);
    EXPECT_FALSE(QFile::exists(Wav()));

    // The disk fills up: a failure, not a short file reported as success.
    SetReadFaults(QString());
    if (HaveDevFull()) {
        owner.Infos.clear();
        ASSERT_TRUE(QFile::link("/dev/full", Wav("full")));
        Rip(2, "full");
        ExpectFinished(RipError::WriteFailed);
    }

    // The normalize pass cannot write its copy: the ripped file stays, the owner hears 6.
    SetReadFaults(QString());
    owner.Infos.clear();
    options.IsNormalize = true;
    ASSERT_TRUE(QDir(out).mkdir("t.wav.nor"));   // the copy of "t.wav.part"
    Rip(2);
    ExpectFinished(RipError::NormalizeFailed);
    EXPECT_TRUE(ReadAll(Wav()) == Header(30 * 2352) + TrackBytes(2, 0, 30));
}

} // namespace
