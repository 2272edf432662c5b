// AccurateRip: checksums (closed forms, any chunking, whipper's tool as a peer), the disc
// id and its path, the dBAR reply, the verdicts, and the lookup against a scripted server.
#include "cd/AccurateRip.h"
#include "fixtures/TestUtil.h"
#include "platform/CDRipLib.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

const TAccurateRipId kExample{3, 0x000116e8, 0x00037d44, 0x1401bb03};

QByteArray RandomPcm(qsizetype bytes, quint32 seed)
{
    QByteArray pcm(bytes, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (char& c : pcm)
        c = char(rng.generate());
    return pcm;
}

TTrackChecksum SumInChunks(const QByteArray& pcm, size_t chunk, bool first, bool last)
{
    TTrackChecksum sum(pcm.size() / 4, first, last);
    const auto* p = reinterpret_cast<const uint8_t*>(pcm.constData());
    for (size_t at = 0; at < size_t(pcm.size()); at += chunk)
        sum.Add(p + at, std::min(chunk, size_t(pcm.size()) - at));
    return sum;
}

TEST(AccurateRip, DiscIdAndPath)
{
    struct TCase {
        std::vector<uint32_t> Lbas;
        uint32_t LeadOut, Cddb;
        QString Path;
    };
    std::vector<uint32_t> ninetyNine;
    for (uint32_t t = 0; t < 99; ++t)
        ninetyNine.push_back(1000 * t);
    const TCase cases[] = {
        {{0, 18750, 19425}, 33225, 0x1401bb03, "8/e/6/dBAR-003-000116e8-00037d44-1401bb03.bin"},
        {{0}, 0xffffffff, 1, "f/f/f/dBAR-001-ffffffff-ffffffff-00000001.bin"},   // sums wrap; LBA 0 counts as 1
        {ninetyNine, 100234, 0x12345678, "2/c/c/dBAR-099-004b8cc2-13dfa329-12345678.bin"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(AccurateRipDiscId(c.Lbas, c.LeadOut, c.Cddb).Path(), c.Path);
    EXPECT_EQ(AccurateRipUrl("http://db.example/accuraterip/", kExample).toString(),
              "http://db.example/accuraterip/8/e/6/dBAR-003-000116e8-00037d44-1401bb03.bin");

    // From the CD input component's table: the CDDB id comes with it; a data track is flagged.
    std::vector<TCRTocEntry> toc{{0, 0, 1}, {18750, 0, 2}, {19425, 0, 3}, {33225, 0, 0xAA}};
    TAccurateRipDisc disc = AccurateRipDiscOf(toc);
    EXPECT_TRUE(disc.Valid && !disc.DataTrack);
    EXPECT_EQ(disc.Id, kExample);
    toc[2].Flags = CR_DATA_TRACK_FLAG;
    disc = AccurateRipDiscOf(toc);
    EXPECT_TRUE(disc.Valid && disc.DataTrack);
    EXPECT_EQ(disc.Id.Tracks, 2);
    EXPECT_FALSE(AccurateRipDiscOf({{0, 0, 1}}).Valid);
    EXPECT_FALSE(AccurateRipDiscOf({{0, CR_DATA_TRACK_FLAG, 1}, {300, 0, 0xAA}}).Valid);
}

// Words all FFFFFFFF make w·m = 2^32·(m-1) + (2^32-m): v1 = -Σm, v2 = -count over the counted m.
// Words all 00000001 make v1 = v2 = Σm.
TEST(TrackChecksum, ClosedFormSumsAndSkippedEnds)
{
    struct TCase {
        uint32_t Word;
        int64_t Samples;
        bool First, Last;
        int64_t From, To;       // the m that count
    };
    const int64_t disc74 = 74LL * 60 * 44100;
    const TCase cases[] = {
        {0xffffffff, 588, false, false, 1, 588},                 // v1 FFFD5B92, v2 FFFFFDB4
        {0xffffffff, 5880, true, true, 2940, 2940},              // only track of 10 sectors
        {0xffffffff, 5879, true, true, 1, 0},                    // under 10 sectors: nothing counts
        {0x00000001, 3000, true, false, 2940, 3000},
        {0x00000001, 3000, false, true, 1, 60},
        {0xffffffff, disc74, true, true, 2940, disc74 - 2940},   // Σm far past 2^32
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Samples);
        QByteArray word(4, 0);
        for (int i = 0; i < 4; ++i)
            word[i] = char(c.Word >> 8 * i);
        const QByteArray second = word.repeated(44100);
        TTrackChecksum sum(c.Samples, c.First, c.Last);
        for (int64_t left = c.Samples * 4; left > 0; left -= second.size())
            sum.Add(reinterpret_cast<const uint8_t*>(second.constData()), size_t(std::min<int64_t>(left, second.size())));
        const int64_t count = std::max<int64_t>(0, c.To - c.From + 1);
        const uint32_t total = uint32_t((c.From + c.To) * count / 2);
        EXPECT_EQ(sum.V1(), c.Word == 1 ? total : 0u - total);
        EXPECT_EQ(sum.V2(), c.Word == 1 ? total : 0u - uint32_t(count));
        EXPECT_EQ(sum.Samples(), c.Samples);
    }
}

TEST(TrackChecksum, AnyChunkingGivesTheSameSums)
{
    const QByteArray pcm = RandomPcm(7 * 2352 + 6, 7);     // ends in half a sample
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(pcm.constData()), uInt(pcm.size())));
    for (bool edge : {false, true}) {
        const TTrackChecksum whole = SumInChunks(pcm, pcm.size(), edge, edge);
        EXPECT_EQ(whole.Crc32(), crc);
        for (size_t chunk : {1, 3, 7, 4097}) {
            const TTrackChecksum split = SumInChunks(pcm, chunk, edge, edge);
            EXPECT_EQ(std::tuple(split.V1(), split.V2(), split.Crc32(), split.Samples()),
                      std::tuple(whole.V1(), whole.V2(), whole.Crc32(), whole.Samples())) << chunk;
        }
    }
    TTrackChecksum reused = SumInChunks(pcm, 5, true, false);
    reused.Reset(588, false, false);
    EXPECT_EQ(std::tuple(reused.V1(), reused.V2(), reused.Crc32(), reused.Samples()),
              std::tuple(0u, 0u, 0u, int64_t(0)));
}

TEST(TrackChecksum, AgreesWithWhippersTool)
{
    const QString tool = QStandardPaths::findExecutable("accuraterip-checksum");
    if (tool.isEmpty())
        GTEST_SKIP() << "accuraterip-checksum is not installed";
    QTemporaryDir dir;
    struct TCase {
        int Samples, Track, Total;
    };
    const TCase cases[] = {{12 * 588, 1, 3}, {3 * 588, 2, 3}, {12 * 588, 3, 3}, {20 * 588, 1, 1}, {9 * 588 + 100, 2, 2}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Track);
        const QByteArray pcm = RandomPcm(c.Samples * 4, quint32(c.Samples + c.Track));
        QByteArray wav = "RIFF" + QByteArray(4, 0) + "WAVEfmt " + QByteArray::fromHex("100000000100020044ac000010b1020004001000")
                         + "data" + QByteArray(4, 0) + pcm;
        const auto put32 = [&](int at, uint32_t v) { for (int i = 0; i < 4; ++i) wav[at + i] = char(v >> 8 * i); };
        put32(4, uint32_t(wav.size() - 8));
        put32(40, uint32_t(pcm.size()));
        const QString path = dir.filePath("t.wav");
        ASSERT_TRUE(WriteAll(path, wav));
        const TTrackChecksum sum = SumInChunks(pcm, 1000, c.Track == 1, c.Track == c.Total);
        for (const auto& [option, value] : {std::pair("--accuraterip-v1", sum.V1()), std::pair("--accuraterip-v2", sum.V2())}) {
            QProcess p;
            p.start(tool, {option, path, QString::number(c.Track), QString::number(c.Total)});
            ASSERT_TRUE(p.waitForFinished(30000));
            EXPECT_EQ(p.readAllStandardOutput().trimmed(), QByteArray::number(value, 16).rightJustified(8, '0').toUpper()) << option;
        }
    }
}

} // namespace
