// The CD input component over disc images: every ripped byte against the image's own
// bytes in each paranoia mode, the stretch rules, read faults and jitter, the queries, and
// queries while a rip runs.
#include "cd/CDInput.h"
#include "fixtures/AuTestComponents.h"
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"
#include "platform/ReadFaults.h"
#include "settings/Options.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

struct TRipResult {
    QByteArray Data;
    QString Error;
    int64_t Size = 0;
};

class CDInputTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TCDIn cdIn;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetReadFaults(QString());
        CR_SetJitterTestFlags(0);
    }
    void TearDown() override
    {
        SetReadFaults(QString());
        CR_SetJitterTestFlags(0);
        SetDiscImages({});
    }

    // Offers the image as the last drive and selects it; returns the .bin's bytes.
    QByteArray Use(const QString& cue)
    {
        SetDiscImages({cue});
        cdIn.SetCurrentDrive(cdIn.DrivesCount() - 1);
        QString bin = cue;
        bin.replace(QLatin1String(".cue"), QLatin1String(".bin"));
        return ReadAll(bin);
    }
    QByteArray UseDisc(const QStringList& args) { return Use(MakeTestDisc(dir.path(), args)); }

    TRipResult Rip(std::function<void(int)> stepHook = {})
    {
        TAuMemoryOut out;
        out.SetBlockSize(50000);
        TRipResult r;
        bool done = false;
        out.SetOnThreadException([&](QObject*) { r.Error = out.ExceptionMessage(); });
        out.SetOnDone([&](QObject*) { done = true; });    // delivered after the exception
        if (stepHook)
            out.SetStepHook(stepHook);
        out.SetInput(&cdIn);
        out.Run();
        EXPECT_TRUE(PumpUntil([&] { return done; }, 60000));
        r.Data = out.Data();
        return r;
    }
};

QByteArray Sectors(const QByteArray& bin, int64_t first, int64_t end)
{
    return bin.mid(qsizetype(first * CD_SECTOR_SIZE), qsizetype((end - first) * CD_SECTOR_SIZE));
}

TCDPosition Pos(int track, int m, int s, int f)
{
    return TCDPosition{track, uint8_t(m), uint8_t(s), uint8_t(f)};
}

void SetMode(TCDIn& c, int mode)
{
    // 0 off, 1 overlap + verify, 2 full, 3 paranoid with explicit bits (verify only)
    c.SetEnableJitterCorrection(mode == 1);
    c.SetParanoid(mode >= 2);
    c.SetParanoiaMode(mode == 3 ? 0x01 : 0);
}

} // namespace

// Every mode hands out exactly the image's bytes for every kind of stretch; Size is the
// byte count delivered, and the total time rounds to the nearest second.
TEST_F(CDInputTest, EveryModeReadsTheImagesBytes)
{
    // Tracks: 300, 200, 120 sectors after a pregap of 30: track 1 at LBA 30, 2 at 330,
    // 3 at 530, lead-out at 650.
    const QByteArray bin = UseDisc({"--pregap", "30", "--track", "audio:300", "--track", "audio:200",
                                    "--track", "audio:120"});
    ASSERT_FALSE(bin.isEmpty());
    struct TCase {
        const char* Name;
        TCDPosition Start, End;
        int64_t First, Last;
    };
    const TCase cases[] = {
        {"whole track", Pos(2, 0, 0, 0), Pos(3, 0, 0, 0), 330, 530},
        {"end of disc", Pos(3, 0, 0, 0), Pos(100, 0, 0, 0), 530, 650},
        {"over a boundary", Pos(1, 0, 3, 50), Pos(2, 0, 0, 30), 30 + 275, 330 + 30},
        {"one sector", Pos(3, 0, 1, 0), Pos(3, 0, 1, 1), 605, 606},
        {"empty", Pos(2, 0, 1, 0), Pos(2, 0, 1, 0), 405, 405},
        {"end before start", Pos(2, 0, 2, 0), Pos(2, 0, 1, 0), 480, 480},
        {"past the lead-out", Pos(3, 0, 1, 0), Pos(3, 1, 0, 0), 605, 650},
    };
    for (int mode = 0; mode < 4; ++mode) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(std::string(c.Name) + " mode " + std::to_string(mode));
            SetMode(cdIn, mode);
            cdIn.SetStartPos(c.Start);
            cdIn.SetEndPos(c.End);
            const int64_t bytes = (c.Last - c.First) * CD_SECTOR_SIZE;
            EXPECT_EQ(cdIn.TotalSamples(), bytes / 4);
            const TRipResult r = Rip();
            EXPECT_EQ(r.Error, QString());
            EXPECT_TRUE(r.Data == Sectors(bin, c.First, c.Last)) << r.Data.size() << " bytes";
            EXPECT_EQ(cdIn.Size(), 0);
        }
    }
    cdIn.SetStartTrack(1);
    cdIn.SetEndTrack(3);
    EXPECT_EQ(cdIn.TotalSamples(), 620 * CD_SECTOR_SIZE / 4);
    EXPECT_EQ(cdIn.TotalTime(), 8);          // 8.27 s
    cdIn.SetEndTrack(1);
    EXPECT_EQ(cdIn.TotalTime(), 4);          // 300 sectors: exactly 4 s
}

// Audio whose bytes look big-endian is handed out as it is, never swapped.
TEST_F(CDInputTest, BigEndianLookingAudioIsNotSwapped)
{
    const QString cue = MakeTestDisc(dir.path(), {"--track", "audio:150"});
    QString binPath = cue;
    binPath.replace(QLatin1String(".cue"), QLatin1String(".bin"));
    QByteArray bin(150 * CD_SECTOR_SIZE, 0);
    for (int i = 0; i < bin.size() / 2; ++i) {
        // A quiet sine written big-endian: read little-endian it is loud noise.
        const auto v = uint16_t(int16_t(std::lround(900 * std::sin(i / 40.0))));
        bin[2 * i] = char(v >> 8);
        bin[2 * i + 1] = char(v & 0xFF);
    }
    ASSERT_TRUE(WriteAll(binPath, bin));
    Use(cue);
    for (int mode = 0; mode < 3; ++mode) {
        SetMode(cdIn, mode);
        cdIn.SetStartTrack(1);
        cdIn.SetEndTrack(1);
        const TRipResult r = Rip();
        EXPECT_EQ(r.Error, QString());
        EXPECT_TRUE(r.Data == bin) << "mode " << mode;
    }
}

// Simulated read faults: a mode that verifies repairs a transient fault and counts it; a
// fault that stays, or any fault without verification, is a read error naming the sector,
// never a short or padded stream; faults past the stretch do not matter.
TEST_F(CDInputTest, ReadFaults)
{
    const QByteArray bin = UseDisc({"--track", "audio:200", "--track", "audio:200"});
    struct TCase {
        const char* Faults;
        int Mode;
        int BadSector;            // -1: the stretch reads right
        bool Repaired;
    };
    const TCase cases[] = {
        {"50@1", 0, 50, false},
        {"50-52", 0, 50, false},
        {"50@1", 1, -1, true},
        {"50@3", 2, -1, true},
        {"120", 1, 120, false},
        {"120", 2, 120, false},
        {"200-210", 0, -1, false},     // the next track: read-ahead only
        {"200-210", 1, -1, false},
        {"200-210", 2, -1, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Faults) + " mode " + std::to_string(c.Mode));
        ASSERT_TRUE(SetReadFaults(QString::fromLatin1(c.Faults)));
        SetMode(cdIn, c.Mode);
        cdIn.SetMultiReadCount(c.Mode == 0 ? 0 : 4);
        cdIn.SetStartTrack(1);
        cdIn.SetEndTrack(1);
        const TRipResult r = Rip();
        if (c.BadSector < 0) {
            EXPECT_EQ(r.Error, QString());
            EXPECT_TRUE(r.Data == Sectors(bin, 0, 200));
            EXPECT_EQ(cdIn.JitterErrors() > 0, c.Repaired);
        } else {
            EXPECT_EQ(r.Error, QStringLiteral("Read error at sector %1").arg(c.BadSector));
            EXPECT_LE(r.Data.size(), c.BadSector * CD_SECTOR_SIZE);
            EXPECT_TRUE(r.Data == Sectors(bin, 0, r.Data.size() / CD_SECTOR_SIZE));
        }
    }
}

// Paranoia's jitter simulation: the verifying modes put the bytes right and count what
// they fixed.
TEST_F(CDInputTest, SimulatedJitterIsRepairedAndCounted)
{
    const QByteArray bin = UseDisc({"--track", "audio:400"});
    CR_SetJitterTestFlags(1 /* small jitter */);
    for (int mode : {1, 2}) {
        SetMode(cdIn, mode);
        cdIn.SetStartTrack(1);
        cdIn.SetEndTrack(1);
        const TRipResult r = Rip();
        EXPECT_EQ(r.Error, QString());
        EXPECT_TRUE(r.Data == bin) << "mode " << mode;
        EXPECT_GT(cdIn.JitterErrors(), 0) << "mode " << mode;
    }
}

// Refusals at the start of a rip and misuse of the component.
TEST_F(CDInputTest, RefusedRips)
{
    const QString cue = MakeTestDisc(dir.path(), {"--track", "audio:100", "--track", "data:100",
                                                  "--track", "audio:100"});
    // A data track that also allows copying: control 6.
    QByteArray sheet = ReadAll(cue);
    sheet.replace("MODE1/2352\n", "MODE1/2352\n    FLAGS DCP\n");
    ASSERT_TRUE(sheet.contains("FLAGS DCP"));
    ASSERT_TRUE(WriteAll(cue, sheet));
    Use(cue);
    EXPECT_EQ(cdIn.Tracks(2).TrackType, ttData);
    EXPECT_EQ(cdIn.Tracks(3).TrackType, ttAudio);
    struct TCase {
        TCDPosition Start, End;
        const char* Error;
        int Sectors;
    };
    const TCase cases[] = {
        {Pos(2, 0, 0, 0), Pos(3, 0, 0, 0), "Trying to rip a data track", 0},
        {Pos(0, 0, 0, 0), Pos(2, 0, 0, 0), "The start track out of range", 0},
        {Pos(4, 0, 0, 0), Pos(4, 0, 0, 0), "The start track out of range", 0},
        {Pos(1, 0, 0, 0), Pos(5, 0, 0, 0), "The end track out of range", 0},
        {Pos(1, 0, 0, 0), Pos(0, 0, 0, 0), "The end track out of range", 0},
        // A stretch running into the data track stops before it.
        {Pos(1, 0, 1, 0), Pos(100, 0, 0, 0), "", 25},
        {Pos(3, 0, 0, 0), Pos(100, 0, 0, 0), "", 100},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Error);
        cdIn.SetStartPos(c.Start);
        cdIn.SetEndPos(c.End);
        const TRipResult r = Rip();
        EXPECT_EQ(r.Error, QString::fromLatin1(c.Error));
        EXPECT_EQ(r.Data.size(), c.Sectors * CD_SECTOR_SIZE);
        EXPECT_FALSE(cdIn.Busy());
    }
    // Reading before a rip was started.
    void* buffer = nullptr;
    uint32_t bytes = 100;
    EXPECT_THROW(cdIn.GetData(buffer, bytes), EAuException);
    // No disc: the tray of the image drive is open.
    ASSERT_TRUE(EjectDrive(int(CDDriveTable().size()) - 1));
    cdIn.SetStartTrack(1);
    EXPECT_EQ(Rip().Error, QStringLiteral("The drive is not ready"));
    EXPECT_EQ(cdIn.TracksCount(), -1);
    EXPECT_FALSE(cdIn.MediaPresent());
    EXPECT_THROW(cdIn.Tracks(1), EAuException);
    CloseDriveTray(int(CDDriveTable().size()) - 1);
    EXPECT_TRUE(cdIn.MediaPresent());
}

// Queries: the drive list, the track records up to the lead-out and the range checks.
TEST_F(CDInputTest, Queries)
{
    // Track 2: 4612 sectors, 1 minute 1 second 37 frames.
    UseDisc({"--track", "audio:100", "--track", "audio:4612", "--track", "audio:77"});
    const int drives = cdIn.DrivesCount();
    ASSERT_GE(drives, 1);
    const int current = cdIn.CurrentDrive();
    cdIn.SetCurrentDrive(drives);
    cdIn.SetCurrentDrive(-1);
    EXPECT_EQ(cdIn.CurrentDrive(), current);
    EXPECT_EQ(cdIn.DriveName(), QStringLiteral("VarnelCD Disc image"));
    EXPECT_EQ(cdIn.TracksCount(), 3);
    const TCDTrackInfo t2 = cdIn.Tracks(2);
    EXPECT_EQ(t2.Minutes, 1);
    EXPECT_EQ(t2.Seconds, 1);
    EXPECT_EQ(t2.Frames, 37);
    const TCDTrackInfo t3 = cdIn.Tracks(3);
    EXPECT_EQ(t3.Seconds * 75 + t3.Frames, 77);
    for (int n : {0, 4, -1})
        EXPECT_THROW(cdIn.Tracks(n), EAuException) << n;
    std::vector<TCRTocEntry> toc;
    ASSERT_TRUE(cdIn.ReadToc(toc));
    ASSERT_EQ(toc.size(), 4u);
    EXPECT_EQ(toc[3].TrackNumber, 0xAA);
    EXPECT_EQ(toc[3].StartSector, 100 + 4612 + 77);
    // The library's settings file, written when the component was made.
    EXPECT_EQ(ReadAll(SettingsFolder() + "cdr.ini").trimmed(), QByteArray("[CD-ROM]\nnActive=0"));
}

// Setting a position during a rip is refused; the main thread may ask the queries while
// the worker reads; AbortRead ends the stream where it is, without an error.
TEST_F(CDInputTest, DuringARip)
{
    const QByteArray bin = UseDisc({"--track", "audio:1500"});
    cdIn.SetStartTrack(1);
    cdIn.SetEndTrack(1);
    SetMode(cdIn, 1);
    cdIn.SetLockTray(true);
    const int drive = int(CDDriveTable().size()) - 1;
    TAuMemoryOut out;
    out.SetBlockSize(CD_SECTOR_SIZE);
    QString error;
    int done = 0;
    out.SetOnThreadException([&](QObject*) { error = out.ExceptionMessage(); });
    out.SetOnDone([&](QObject*) { ++done; });
    out.SetInput(&cdIn);
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return cdIn.Busy() || !out.Busy(); }));
    int queries = 0;
    bool refused = false;
    while (out.Busy() && queries < 5) {
        EXPECT_EQ(cdIn.TracksCount(), 1);
        EXPECT_TRUE(cdIn.MediaPresent());
        EXPECT_FALSE(cdIn.DriveName().isEmpty());
        EXPECT_EQ(cdIn.TotalSamples(), 1500 * CD_SECTOR_SIZE / 4);
        try {
            cdIn.SetStartTrack(1);
        } catch (const EAuException& e) {
            refused = QString::fromUtf8(e.what()) == QLatin1String("The component is busy");
        }
        ++queries;
    }
    EXPECT_TRUE(refused || !out.Busy());
    const bool trayOpened = EjectDrive(drive);      // held shut while the rip runs
    EXPECT_TRUE(!trayOpened || !cdIn.Busy());
    cdIn.AbortRead();
    ASSERT_TRUE(PumpUntil([&] { return done == 1; }, 60000));
    EXPECT_EQ(error, QString());
    const QByteArray data = out.Data();
    EXPECT_EQ(data.size() % CD_SECTOR_SIZE, 0);
    EXPECT_TRUE(data == bin.left(data.size()));
    EXPECT_TRUE(EjectDrive(drive));                 // released at the end of the rip
    ASSERT_TRUE(CloseDriveTray(drive));
    cdIn.SetLockTray(false);

    // A permanent fault with many retries: the abort cuts them short.
    ASSERT_TRUE(SetReadFaults(QStringLiteral("40-1499")));
    cdIn.SetMultiReadCount(500);
    error.clear();
    out.Run();
    ASSERT_TRUE(PumpUntil([&] { return cdIn.Busy() || !out.Busy(); }));
    cdIn.AbortRead();
    ASSERT_TRUE(PumpUntil([&] { return done == 2; }, 60000));
    EXPECT_EQ(error, QString());
    EXPECT_LE(out.Data().size(), 40 * CD_SECTOR_SIZE);
    EXPECT_TRUE(out.Data() == bin.left(out.Data().size()));
}

// A request for more bytes than the transfer buffer holds gets the rest of the buffer.
TEST_F(CDInputTest, ChunksAreHandedOutFromTheBuffer)
{
    const QByteArray bin = UseDisc({"--track", "audio:100"});
    cdIn.SetStartTrack(1);
    cdIn.SetEndTrack(1);
    cdIn.Init();
    void* data = nullptr;
    uint32_t bytes = 1000;
    cdIn.GetData(data, bytes);
    EXPECT_EQ(bytes, 1000u);
    bytes = 1 << 20;
    cdIn.GetData(data, bytes);
    EXPECT_EQ(bytes, uint32_t(75 * CD_SECTOR_SIZE - 1000));
    bytes = 1 << 20;
    cdIn.GetData(data, bytes);
    EXPECT_EQ(bytes, uint32_t(25 * CD_SECTOR_SIZE));
    EXPECT_TRUE(QByteArray(static_cast<const char*>(data), int(bytes)) == Sectors(bin, 75, 100));
    bytes = 100;
    cdIn.GetData(data, bytes);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(cdIn.Position(), 100 * CD_SECTOR_SIZE);
    cdIn.Flush();
    EXPECT_FALSE(cdIn.Busy());
}
