// AccurateRip: checksums (closed forms, any chunking, whipper's tool as a peer), the disc
// id and its path, the dBAR reply, the verdicts, and the lookup against a scripted server.
#include "cd/AccurateRip.h"
#include "fixtures/FakeCddbServer.h"
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"
#include "platform/HttpClient.h"
#include "platform/CDRipLib.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

const TAccurateRipId kExample{3, 0x000116e8, 0x00037d44, 0x1401bb03};

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

// Any split of the stream gives the sums of one call, and whipper's accuraterip-checksum
// (when installed) gives the same v1 and v2 for first, middle, last and only tracks.
TEST(TrackChecksum, AnyChunkingAndWhippersToolAgree)
{
    const QString tool = QStandardPaths::findExecutable("accuraterip-checksum");
    QTemporaryDir dir;
    struct TCase {
        int Samples, Track, Total;
    };
    const TCase cases[] = {{12 * 588, 1, 3}, {3 * 588, 2, 3}, {12 * 588, 3, 3}, {20 * 588, 1, 1}, {9 * 588 + 101, 2, 2}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Track);
        QByteArray pcm(c.Samples * 4, Qt::Uninitialized);
        QRandomGenerator rng(quint32(c.Samples + c.Track));
        for (char& b : pcm)
            b = char(rng.generate());
        const TTrackChecksum sum = SumInChunks(pcm, pcm.size(), c.Track == 1, c.Track == c.Total);
        EXPECT_EQ(sum.Crc32(), uint32_t(crc32(0, reinterpret_cast<const Bytef*>(pcm.constData()), uInt(pcm.size()))));
        for (size_t chunk : {1, 3, 7, 4097}) {
            const TTrackChecksum split = SumInChunks(pcm, chunk, c.Track == 1, c.Track == c.Total);
            EXPECT_EQ(std::tuple(split.V1(), split.V2(), split.Crc32(), split.Samples()),
                      std::tuple(sum.V1(), sum.V2(), sum.Crc32(), int64_t(c.Samples))) << chunk;
        }
        if (tool.isEmpty())
            continue;
        QByteArray wav = "RIFF" + QByteArray(4, 0) + "WAVEfmt " + QByteArray::fromHex("100000000100020044ac000010b1020004001000")
                         + "data" + QByteArray(4, 0) + pcm;
        const auto put32 = [&](int at, uint32_t v) { for (int i = 0; i < 4; ++i) wav[at + i] = char(v >> 8 * i); };
        put32(4, uint32_t(wav.size() - 8));
        put32(40, uint32_t(pcm.size()));
        ASSERT_TRUE(WriteAll(dir.filePath("t.wav"), wav));
        for (const auto& [option, value] : {std::pair("--accuraterip-v1", sum.V1()), std::pair("--accuraterip-v2", sum.V2())}) {
            QProcess p;
            p.start(tool, {option, dir.filePath("t.wav"), QString::number(c.Track), QString::number(c.Total)});
            ASSERT_TRUE(p.waitForFinished(30000));
            EXPECT_EQ(p.readAllStandardOutput().trimmed(), QByteArray::number(value, 16).rightJustified(8, '0').toUpper()) << option;
        }
    }
    if (tool.isEmpty())
        GTEST_SKIP() << "accuraterip-checksum is not installed: sums checked against chunkings only";
}

// A dBAR chunk: the header of `id`, then per track confidence, CRC and offset-finding CRC.
QByteArray Chunk(const TAccurateRipId& id, const std::vector<std::pair<int, uint32_t>>& tracks)
{
    QByteArray b;
    const auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b += char(v >> 8 * i); };
    b += char(tracks.size());
    put32(id.Id1), put32(id.Id2), put32(id.Id3);
    for (const auto& [confidence, crc] : tracks)
        b += char(confidence), put32(crc), put32(0xdeadbeef);
    return b;
}

TEST(Dbar, ParsesThisDiscsPressingsAndRefusesDamage)
{
    TAccurateRipId other = kExample;
    other.Id2 ^= 1;
    const QByteArray one = Chunk(kExample, {{5, 0x11}, {6, 0x22}, {7, 0x33}});
    const QByteArray three = one + Chunk(other, {{9, 0x44}, {9, 0x44}, {9, 0x44}})
                             + Chunk(kExample, {{2, 0x55}, {2, 0x66}}) + Chunk(kExample, {{200, 0x77}, {1, 0}, {1, 0}});
    struct TCase {
        QByteArray Body;
        bool Ok;
        int Pressings;
        std::vector<uint32_t> Track1;     // the CRCs of track 1
    };
    const TCase cases[] = {
        {one, true, 1, {0x11}},
        {three, true, 2, {0x11, 0x77}},          // other ids and another track count skipped
        {{}, true, 0, {}},
        {one.chopped(1), false, 0, {}},
        {one + QByteArray(12, 3), false, 0, {}},  // a header cut short
        {QByteArray(1, char(255)) + QByteArray(20, 0), false, 0, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Body.toHex().left(60).toStdString());
        const TDbarReply r = ParseDbar(c.Body, kExample);
        EXPECT_EQ(r.Ok, c.Ok);
        EXPECT_EQ(r.Error.isEmpty(), c.Ok);
        if (!c.Ok)
            continue;
        EXPECT_EQ(r.Pressings, c.Pressings);
        ASSERT_EQ(r.Tracks.size(), 3u);
        std::vector<uint32_t> crcs;
        for (const TDbarEntry& e : r.Tracks[0])
            crcs.push_back(e.Crc);
        EXPECT_EQ(crcs, c.Track1);
    }
    EXPECT_EQ(ParseDbar(three, kExample).Tracks[2][1].FrameCrc, 0xdeadbeefu);
}

TEST(Dbar, Verdicts)
{
    TAccurateRipLookup found;
    found.Status = TAccurateRipLookup::Found;
    found.Reply = ParseDbar(Chunk(kExample, {{5, 0xa1}, {1, 0}, {1, 0}}) + Chunk(kExample, {{3, 0xa2}, {1, 0}, {1, 0}})
                                + Chunk(kExample, {{8, 0xa2}, {1, 0}, {1, 0}}),
                            kExample);
    TAccurateRipLookup failed;
    failed.Status = TAccurateRipLookup::Failed;
    failed.Error = "HTTP 500";
    const auto with = [](TAccurateRipLookup::TStatus s) { TAccurateRipLookup l; l.Status = s; return l; };
    struct TCase {
        TAccurateRipLookup Lookup;
        int Track;
        uint32_t V1, V2;
        QString Text;
    };
    const TCase cases[] = {
        {found, 1, 0xa1, 0xa2, "accurate (v2, confidence 8)"},
        {found, 1, 0xa1, 0xff, "accurate (v1, confidence 5)"},
        {found, 1, 0xa3, 0xa4, "not accurate"},
        {found, 4, 0xa1, 0xa2, "not in database"},
        {with(TAccurateRipLookup::NotInDatabase), 1, 0, 0, "not in database"},
        {failed, 1, 0, 0, "no database answer: HTTP 500"},
        {with(TAccurateRipLookup::DataTrack), 1, 0, 0, "not checked (data track)"},
        {with(TAccurateRipLookup::Off), 1, 0, 0, "not checked"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(AccurateRipVerdict(c.Lookup, c.Track, c.V1, c.V2).Text(), c.Text);
}

TEST(Dbar, LookupThroughHttp)
{
    TFakeCddbServer server;
    const QByteArray good = Chunk(kExample, {{4, 1}, {4, 2}, {4, 3}});
    struct TCase {
        TFakeReply Reply;
        TAccurateRipLookup::TStatus Status;
    };
    const TCase cases[] = {
        {TFakeReply::Http(200, good), TAccurateRipLookup::Found},
        {TFakeReply::Http(404), TAccurateRipLookup::NotInDatabase},
        {TFakeReply::Http(200), TAccurateRipLookup::NotInDatabase},
        {TFakeReply::Http(500), TAccurateRipLookup::Failed},
        {TFakeReply::Stall(), TAccurateRipLookup::Failed},
        {TFakeReply::Http(200, good.chopped(4)), TAccurateRipLookup::Failed},
    };
    THttpOptions options;
    options.IdleTimeoutMs = 300;
    options.TotalTimeoutMs = 1500;
    for (const TCase& c : cases) {
        server.Push(c.Reply);
        const TAccurateRipLookup l = LookupAccurateRip("http://" + server.HostPort() + "/ar/", kExample, options);
        EXPECT_EQ(l.Status, c.Status) << l.Error.toStdString();
        EXPECT_EQ(l.Error.isEmpty(), c.Status != TAccurateRipLookup::Failed);
    }
    EXPECT_EQ(server.Requests().value(0), "/ar/8/e/6/dBAR-003-000116e8-00037d44-1401bb03.bin");
    EXPECT_EQ(LookupAccurateRip("no address", kExample, options).Status, TAccurateRipLookup::Failed);
    THttpAbort abort;
    abort.Abort();
    EXPECT_EQ(LookupAccurateRip("http://" + server.HostPort(), kExample, options, &abort).Status,
              TAccurateRipLookup::Failed);
}

TEST(AccurateRipCli, PrintsTheIdAndTheDatabasesChecksums)
{
    QTemporaryDir home;
    const QString audio = MakeTestDisc(home.path(), {"--track", "audio:300", "--track", "audio:200"}, "audio");
    const QString mixed = MakeTestDisc(home.path(), {"--track", "audio:300", "--track", "data:200"}, "mixed");
    // LBAs 0 and 300, lead-out 500: id1 800, id2 1 + 2·300 + 3·500, CDDB id 08000602.
    const TAccurateRipId id{2, 0x320, 0x835, 0x08000602};
    TFakeCddbServer server;
    server.Push(TFakeReply::Http(200, Chunk(id, {{7, 0xabc}, {2, 0x12345678}}) + Chunk(id, {{1, 0xdef}, {0, 0}})));
    server.Push(TFakeReply::Http(404));
    server.Push(TFakeReply::Http(500));
    const QString url = "http://" + server.HostPort() + "/ar";
    const QString idLines = "arid\t002-00000320-00000835-08000602\nurl\t" + url + "/0/2/3/dBAR-002-00000320-00000835-08000602.bin\n";
    struct TCase {
        QString Cue;
        QStringList Args;
        int Exit;
        QString Out;
    };
    const TCase cases[] = {
        {audio, {"--id-only"}, 0, idLines},
        {audio, {}, 0, idLines + "track\t1\t7\t00000abc\ntrack\t1\t1\t00000def\ntrack\t2\t2\t12345678\ntrack\t2\t0\t00000000\n"},
        {audio, {}, 3, idLines + "not in database\n"},
        {audio, {}, 1, idLines},
        // Known by its audio track and the disc's lead-out: 0+500, 1+500·2; CDDB over both.
        {mixed, {"--id-only"}, 0,
         "arid\t001-000001f4-000003e9-08000602\nurl\t" + url + "/4/f/1/dBAR-001-000001f4-000003e9-08000602.bin\n"},
    };
    for (const TCase& c : cases) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path() + "/config");
        env.insert("VARNELCD_DISC_IMAGES", "");
        p.setProcessEnvironment(env);
        p.start(VARNELCD_CLI, QStringList{"accuraterip", "--disc-image", c.Cue, "--accuraterip-url", url} + c.Args);
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), c.Exit) << err.toStdString();
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()), c.Out);
        EXPECT_EQ(err.contains("no database answer"), c.Exit == 1);
    }
}

} // namespace
