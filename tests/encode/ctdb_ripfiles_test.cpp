// A rip kept as WAV or FLAC files with its cue sheet: laid out, verified and repaired in place
// back to the original bytes, its other contents (trailing chunks, FLAC metadata) kept.
#include "encode/CtdbRipFiles.h"
#include "encode/FlacIn.h"
#include "encode/FlacRip.h"
#include "fixtures/CtdbTestAudio.h"
#include "fixtures/TestUtil.h"

#include <FLAC/metadata.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct CtdbRipFiles : ::testing::Test {
    QTemporaryDir Dir;
    // Tracks at sectors 0 and 400, lead-out 1000; the files hold a 30-sector pregap first.
    const TCtdbToc Toc = CtdbTocOf(QStringLiteral("30:430:1030"));
    const QByteArray Pregap = CtdbNoise(5, 0, 30 * 588);
    const QByteArray Clean = CtdbNoise(77, 0, Toc.AudioSamples);
    const TCtdbAccumulator Reference = CtdbAccumulate(Toc, Clean);
    QByteArray Damaged = Clean;

    CtdbRipFiles() { CtdbDamage(Damaged, 230000, 20000, 4); }   // across the track boundary

    // Verifies the files and repairs them from the reference's parity.
    void VerifyAndRepair(const TRipFiles& files, int rewritten)
    {
        TCtdbAccumulator rip(CtdbTocOf(files.Disc));
        QString error;
        ASSERT_TRUE(ReadRipFiles(files, rip, error)) << qPrintable(error);
        EXPECT_EQ(rip.Toc().Id, Toc.Id);
        TCtdbEntry entry = CtdbEntryOf(Reference, 16, 4);
        entry.ParityUrl = "http://p/1";
        const TCtdbVerdict v = CtdbVerdictOf(rip, {entry}, [&](const TCtdbEntry&, QByteArray& f, QString&) {
            f = CtdbParityFile(Reference, 16);
            return true;
        });
        ASSERT_EQ(v.Text(), "differs in 40000 samples, confidence 4");
        ASSERT_NE(v.BestRepair(), nullptr);
        EXPECT_EQ(RepairRipFiles(files, *v.BestRepair(), error), rewritten) << qPrintable(error);
        TCtdbAccumulator again(rip.Toc());
        ASSERT_TRUE(ReadRipFiles(files, again, error));
        EXPECT_EQ(again.DiscCrc(0), entry.Crc);
        EXPECT_TRUE(QDir(Dir.path()).entryList({"*.part"}).isEmpty());
    }
};

TEST_F(CtdbRipFiles, WavPerTrackRepairedToTheOriginalBytes)
{
    const QByteArray trailer = QByteArray("LIST\x04\0\0\0INFO", 12);
    const qsizetype split = 4 * 400 * 588;
    ASSERT_TRUE(WriteAll(Dir.filePath("01.wav"), CtdbWav(Pregap + Damaged.left(split), trailer)));
    ASSERT_TRUE(WriteAll(Dir.filePath("02 two.wav"), CtdbWav(Damaged.mid(split))));
    ASSERT_TRUE(WriteAll(Dir.filePath("disc.cue"),
                         "FILE \"01.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 00 00:00:00\r\n    INDEX 01 00:00:30\r\n"
                         "FILE \"02 two.wav\" WAVE\r\n  TRACK 02 AUDIO\r\n    INDEX 01 00:00:00\r\n"));
    TRipFiles files;
    QString error;
    ASSERT_TRUE(OpenRipFiles(Dir.filePath("disc.cue"), files, error)) << qPrintable(error);
    EXPECT_EQ(files.Disc.Starts, (std::vector<int64_t>{30, 430}));
    EXPECT_EQ(files.Disc.LeadOut, 1030);
    VerifyAndRepair(files, 2);
    EXPECT_EQ(ReadAll(Dir.filePath("01.wav")), CtdbWav(Pregap + Clean.left(split), trailer));
    EXPECT_EQ(ReadAll(Dir.filePath("02 two.wav")), CtdbWav(Clean.mid(split)));
}

TEST_F(CtdbRipFiles, WholeDiscFlacRepairedWithItsMetadata)
{
    const QString flac = Dir.filePath("disc.flac");
    CtdbWriteFlac(flac, Pregap + Damaged);
    TFlacCueSheet sheet;
    sheet.Tracks = {{1, 30 * 588, "A", ""}, {2, 430 * 588, "B", ""}};
    sheet.LeadOut = 1030 * 588;
    WriteFlacCueSheet(flac, sheet);
    ASSERT_TRUE(WriteAll(Dir.filePath("disc.cue"),
                         "FILE \"disc.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:30\nTRACK 02 AUDIO\nINDEX 01 00:05:55\n"));
    TRipFiles files;
    QString error;
    ASSERT_TRUE(OpenRipFiles(Dir.filePath("disc.cue"), files, error)) << qPrintable(error);
    EXPECT_EQ(files.Disc.Starts, (std::vector<int64_t>{30, 430}));
    VerifyAndRepair(files, 1);
    EXPECT_TRUE(CtdbFlacPcm(flac) == Pregap + Clean);
    TFlacIn in;
    in.SetFileName(flac);
    const QStringList comments = in.Comments();
    EXPECT_TRUE(comments.contains("TITLE=Noise"));
    EXPECT_TRUE(comments.filter("CUESHEET=").size() == 1);
    FLAC__StreamMetadata* block = nullptr;   // the CUESHEET block came along
    ASSERT_TRUE(FLAC__metadata_get_cuesheet(QFile::encodeName(flac).constData(), &block));
    EXPECT_EQ(block->data.cue_sheet.num_tracks, 3u);
    FLAC__metadata_object_delete(block);
}

TEST(CtdbRipCue, RefusesWhatIsNoAudioRip)
{
    const struct {
        const char* Text;
        const char* Says;
    } cases[] = {
        {"", "no track"},
        {"TRACK 01 AUDIO\n", "before any FILE"},
        {"FILE \"a.bin\" BINARY\nTRACK 01 MODE1/2352\n", "disc image"},
        {"FILE a.wav WAVE\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n", "data track"},
        {"FILE a.wav WAVE\nTRACK 01 AUDIO\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n", "track 1 has no INDEX 01"},
        {"FILE a.wav WAVE\nTRACK 02 AUDIO\nINDEX 01 00:00:00\nTRACK 01 AUDIO\n", "out of order"},
        {"FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:60:00\n", "damaged INDEX"},
        {"FILE \"\" WAVE\n", "without a name"},
    };
    for (const auto& c : cases) {
        const TRipCue cue = ParseRipCue(c.Text, "/r");
        EXPECT_FALSE(cue.Ok) << c.Text;
        EXPECT_TRUE(cue.Error.contains(QLatin1String(c.Says))) << qPrintable(cue.Error);
    }
    const TRipCue good = ParseRipCue("REM x\nFILE \"a b.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 01:02:03\n", "/r");
    ASSERT_TRUE(good.Ok);
    EXPECT_EQ(good.Files, QStringList{"/r/a b.flac"});
    EXPECT_EQ(good.TrackIndex1, std::vector<int64_t>{(62 * 75) + 3});
}

} // namespace
