// make-test-disc as a program: the images it writes and how it treats bad arguments.
#include "fixtures/TestUtil.h"
#include "fixtures/TestDisc.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// INDEX 01 positions of the cue sheet, in sectors.
QList<int> TrackStarts(const QByteArray& cue)
{
    QList<int> starts;
    static const QRegularExpression re(QStringLiteral("INDEX 01 (\\d\\d):(\\d\\d):(\\d\\d)"));
    auto it = re.globalMatch(QString::fromUtf8(cue));
    while (it.hasNext()) {
        const auto m = it.next();
        starts << m.captured(1).toInt() * 4500 + m.captured(2).toInt() * 75 + m.captured(3).toInt();
    }
    return starts;
}

TEST(MakeTestDisc, WritesTheTracksAsAsked)
{
    QTemporaryDir dir;
    const QString cue = MakeTestDisc(dir.path(), {"--track", "audio:4501", "--track", "data:10", "--track=audio:76"});
    ASSERT_FALSE(cue.isEmpty());
    const QByteArray sheet = ReadAll(cue);
    EXPECT_TRUE(sheet.contains("FILE \"disc.bin\" BINARY"));
    EXPECT_TRUE(sheet.contains("TRACK 01 AUDIO"));
    EXPECT_TRUE(sheet.contains("TRACK 02 MODE1/2352"));
    EXPECT_TRUE(sheet.contains("TRACK 03 AUDIO"));
    EXPECT_FALSE(sheet.contains("TITLE"));            // no CD-Text unless asked
    EXPECT_EQ(TrackStarts(sheet), (QList<int>{0, 4501, 4511}));
    EXPECT_TRUE(sheet.contains("INDEX 01 01:00:01"));

    const QByteArray bin = ReadAll(dir.filePath(QStringLiteral("disc.bin")));
    ASSERT_EQ(bin.size(), (4501 + 10 + 76) * 2352);
    // The pattern tells the track and the frame index; data sectors start with a sync mark.
    EXPECT_EQ(bin.mid(4500 * 2352, 2352), ExpectedAudioSector(1, 4500));
    EXPECT_EQ(bin.mid(4511 * 2352, 2352), ExpectedAudioSector(3, 0));
    const QByteArray data = bin.mid(4501 * 2352, 2352);
    EXPECT_EQ(data.left(12), QByteArray::fromHex("00ffffffffffffffffffff00"));
    EXPECT_EQ(data.mid(12, 4), QByteArray::fromHex("01020101"));   // 4651 = 01:02:01, mode 1
    const QByteArray frame = bin.mid(4500 * 2352 + 4 * 100, 4);
    const int left = uint8_t(frame[0]) | uint8_t(frame[1]) << 8;
    EXPECT_EQ(left, (4500 * 588 + 100) & 0xFFFF);
    EXPECT_EQ(uint8_t(frame[3]), 1);                              // track number
    EXPECT_EQ(uint8_t(frame[2]), (4500 * 588 + 100) >> 16);
}

TEST(MakeTestDisc, SameArgumentsGiveTheSameBytes)
{
    QTemporaryDir a, b;
    const QStringList args{"--track", "audio:300", "--track", "audio:20", "--cdtext", "--title", "2:二号", "--pregap", "33"};
    const QString cueA = MakeTestDisc(a.path(), args);
    const QString cueB = MakeTestDisc(b.path(), args);
    ASSERT_FALSE(cueA.isEmpty());
    ASSERT_FALSE(cueB.isEmpty());
    EXPECT_EQ(ReadAll(cueA), ReadAll(cueB));
    EXPECT_TRUE(ReadAll(a.filePath("disc.bin")) == ReadAll(b.filePath("disc.bin")));
    const QByteArray sheet = ReadAll(cueA);
    EXPECT_TRUE(sheet.contains("TITLE \"二号\""));
    EXPECT_TRUE(sheet.contains("TITLE \"Track 01\""));
    EXPECT_TRUE(sheet.contains("INDEX 00 00:00:00"));
    EXPECT_EQ(TrackStarts(sheet), (QList<int>{33, 333}));
}

TEST(MakeTestDisc, DemoDiscIsMusic)
{
    QTemporaryDir a, b;
    const QString cue = MakeTestDisc(a.path(), {"--demo"}, QStringLiteral("demo"));
    ASSERT_FALSE(cue.isEmpty());
    const QByteArray sheet = ReadAll(cue);
    EXPECT_TRUE(sheet.contains("TITLE \"VarnelCD Demo\""));
    EXPECT_TRUE(sheet.contains("PERFORMER \"VarnelCD\""));
    EXPECT_TRUE(QString::fromUtf8(sheet).contains(QRegularExpression(QStringLiteral("TITLE \"[^\"]*\\p{Han}"))));
    const QList<int> starts = TrackStarts(sheet);
    ASSERT_EQ(starts.size(), 5);
    const QByteArray bin = ReadAll(a.filePath("demo.bin"));
    const int sectors = int(bin.size() / 2352);
    ASSERT_EQ(qsizetype(sectors) * 2352, bin.size());
    for (int t = 0; t < 5; ++t) {
        const int len = (t < 4 ? starts[t + 1] : sectors) - starts[t];
        EXPECT_GE(len, 25 * 75) << t;
        EXPECT_LE(len, 60 * 75) << t;
        // Each track is audible, never clips, and is not a copy of another.
        const auto* s = reinterpret_cast<const int16_t*>(bin.constData() + qsizetype(starts[t]) * 2352);
        const qsizetype n = qsizetype(len) * 588 * 2;
        int peak = 0;
        double energy = 0;
        for (qsizetype i = 0; i < n; ++i) {
            peak = std::max(peak, std::abs(int(s[i])));
            energy += double(s[i]) * s[i];
        }
        EXPECT_LT(peak, 32767) << t;
        EXPECT_GT(std::sqrt(energy / double(n)), 1000.0) << t;
    }
    EXPECT_NE(bin.mid(starts[1] * 2352 + 100000, 4096), bin.mid(starts[2] * 2352 + 100000, 4096));
    ASSERT_FALSE(MakeTestDisc(b.path(), {"--demo"}, QStringLiteral("demo")).isEmpty());
    EXPECT_TRUE(ReadAll(b.filePath("demo.bin")) == bin);
}

TEST(MakeTestDisc, BadArgumentsExitWithTwo)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("x"));
    const QList<QStringList> bad = {
        {},
        {"--out", out},                                   // no tracks
        {"--track", "audio:10"},                          // no --out
        {"--out", out, "--track", "audio:0"},
        {"--out", out, "--track", "audio:-5"},
        {"--out", out, "--track", "audio:abc"},
        {"--out", out, "--track", "video:10"},
        {"--out", out, "--track", "audio"},
        {"--out", out, "--track", "audio:10", "--title", "2:Too far"},
        {"--out", out, "--track", "audio:10", "--title", "x"},
        {"--out", out, "--track", "audio:10", "--disc-title", "say \"hi\""},
        {"--out", out, "--track", "audio:10", "--bogus"},
        {"--out", out, "--track", "audio:10", "--pregap"},
        {"--out", out, "--track", "audio:400000", "--track", "audio:100000"},
        {"--out", out, "--demo", "--track", "audio:10"},
    };
    for (const QStringList& args : bad) {
        QByteArray err;
        EXPECT_EQ(RunMakeTestDisc(args, &err), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(err.startsWith("make-test-disc: ")) << err.toStdString();
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());          // nothing written

    QByteArray err;
    EXPECT_EQ(RunMakeTestDisc({"--out", dir.filePath("no/such/folder/x"), "--track", "audio:1"}, &err), 1);
    EXPECT_TRUE(err.contains("cannot write")) << err.toStdString();
    EXPECT_EQ(RunMakeTestDisc({"--help"}), 0);
}

} // namespace
