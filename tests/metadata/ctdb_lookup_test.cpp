// The CUETools database over HTTP: the lookup address, the reply parser, and whole
// verifications against a fake server (exact, shifted, repaired, missing, damaged, stalled).
#include "metadata/CtdbLookup.h"
#include "metadata/CtdbRipCheck.h"
#include "fixtures/CtdbTestAudio.h"
#include "fixtures/FakeCddbServer.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <thread>

namespace {

QByteArray Words(const std::vector<uint16_t>& w)
{
    QByteArray b;
    for (const uint16_t v : w)
        b += char(v & 0xff), b += char(v >> 8);
    return b.toBase64();
}

TEST(CtdbReply, AddressAndParser)
{
    const TCtdbToc toc = CtdbTocOf(QStringLiteral("0:15000:30000:-56400:70000"));
    EXPECT_EQ(CtdbLookupUrl("http://db.example/", toc).toString(),
              "http://db.example/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=0:15000:30000:-56400:70000");

    // The database's real entry for 0:16032:32072:47282:62810.
    const QByteArray real = CtdbReplyXml(
        "<entry id=\"3117474\" crc32=\"5457b143\" confidence=\"8\" npar=\"8\" stride=\"5880\" "
        "hasparity=\"/parity/3117474\" syndrome=\"tSkrv39Oah9FufT3Z+uMHQ==\" "
        "trackcrcs=\"97217ee6 dc8a2af2 338369b1 2eac339c\" toc=\"0:16032:32072:47282:62810\"/>");
    const TCtdbReply r = ParseCtdbReply(real, QUrl("http://db.example/lookup2.php?x=1"));
    ASSERT_TRUE(r.Ok) << qPrintable(r.Error);
    ASSERT_EQ(r.Entries.size(), 1u);
    const TCtdbEntry& e = r.Entries[0];
    EXPECT_EQ(std::tie(e.Id, e.Crc, e.Confidence, e.Npar, e.Stride), std::make_tuple(qint64(3117474), 0x5457b143u, 8, 8, 5880));
    EXPECT_EQ(e.ParityUrl, "http://db.example/parity/3117474");
    EXPECT_EQ(e.Syndrome.size(), 8u);
    EXPECT_EQ(e.Syndrome[0], 0x29b5);
    EXPECT_EQ(e.TrackCrcs, (std::vector<uint32_t>{0x97217ee6, 0xdc8a2af2, 0x338369b1, 0x2eac339c}));

    // A legacy entry: column 0's parity words become its syndromes.
    const std::vector<uint16_t> parity{1, 2, 3, 4, 5, 6, 7, 8};
    const TCtdbReply legacy = ParseCtdbReply(
        CtdbReplyXml("<entry id=\"1\" crc32=\"00000001\" confidence=\"1\" npar=\"8\" stride=\"5880\" parity=\"" + Words(parity) + "\"/>"));
    ASSERT_TRUE(legacy.Ok);
    EXPECT_EQ(legacy.Entries[0].Syndrome, ctdb::SyndromesOfParity(parity, 8));
    EXPECT_TRUE(ParseCtdbReply(CtdbReplyXml("")).Ok);

    const struct {
        QByteArray Xml;
        const char* Says;
    } junk[] = {
        {"", "not a CUETools database reply"},
        {"<html><body>busy</body></html>", "its root is <html>"},
        {"<ctdb><entry id=\"1\" crc32=\"5457b14\" confidence=\"8\" npar=\"8\" stride=\"5880\"/></ctdb>", "entry 1 has no valid crc32"},
        {"<ctdb><entry id=\"1\" crc32=\"5457b143\" confidence=\"-1\" npar=\"8\" stride=\"5880\"/></ctdb>", "no valid confidence"},
        {"<ctdb><entry id=\"1\" crc32=\"5457b143\" confidence=\"8\" npar=\"8\" stride=\"5880\" syndrome=\"AAAA\"/></ctdb>", "damaged syndrome"},
        {"<ctdb><entry id=\"1\" crc32=\"5457b143\" confidence=\"8\" npar=\"8\" stride=\"5880\" trackcrcs=\"xyz\"/></ctdb>", "damaged track CRCs"},
        {real.left(real.size() - 20), "damaged reply"},
    };
    for (const auto& j : junk) {
        const TCtdbReply bad = ParseCtdbReply(j.Xml);
        EXPECT_FALSE(bad.Ok);
        EXPECT_TRUE(bad.Entries.empty());
        EXPECT_TRUE(bad.Error.contains(QLatin1String(j.Says))) << qPrintable(bad.Error);
    }
}

struct CtdbHttp : ::testing::Test {
    const TCtdbToc Toc = CtdbTocOf(QStringLiteral("0:400:1000"));
    const QByteArray Clean = CtdbNoise(77, 0, Toc.AudioSamples + 100);
    const TCtdbAccumulator Reference = CtdbAccumulate(Toc, Clean);
    TFakeCddbServer Server;
    THttpOptions Options;

    CtdbHttp()
    {
        Options.IdleTimeoutMs = 400;
        Options.TotalTimeoutMs = 2000;
    }
    QString Base() const { return "http://" + Server.HostPort(); }
    QByteArray ParityUrl() const { return ("http://" + Server.HostPort() + "/p/1").toLatin1(); }
    TCtdbAccumulator Rip(int offset, bool damaged) const
    {
        QByteArray pcm = Clean.mid(4 * offset, 4 * Toc.AudioSamples);
        if (damaged)
            CtdbDamage(pcm, 200000, 700, 3);
        return CtdbAccumulate(Toc, pcm);
    }
};

TEST_F(CtdbHttp, Verdicts)
{
    TCtdbEntry entry = CtdbEntryOf(Reference, 16, 5);
    TCtdbEntry weak = CtdbEntryOf(Reference, 8, 2);
    weak.Toc = QStringLiteral("32:432:1032");   // another pressing's pregap: same id, no disc confidence
    const QByteArray parity = CtdbParityFile(Reference, 16);
    QByteArray foreign = parity;
    foreign[0] = char(foreign[0] ^ 0x40);
    const TFakeReply exact = TFakeReply::Http(200, CtdbReplyXml(CtdbEntryXml(entry, ParityUrl())));

    struct TCase {
        const char* Name;
        int Offset;
        bool Damaged;
        QList<TFakeReply> Replies;
        QStringList Lines;
        int DiscConfidence;
    };
    const TCase cases[] = {
        {"exact", 0, false, {exact}, {"verified OK, confidence 5"}, 5},
        {"offset +48", 48, false, {exact}, {"verified OK, confidence 5"}, 5},
        {"repaired", 0, true, {exact, TFakeReply::Http(206, parity)}, {"differs in 1400 samples, confidence 5"}, 0},
        {"repaired, whole file", 48, true, {exact, TFakeReply::Http(200, parity + "tail")}, {"differs in 1400 samples, confidence 5"}, 0},
        {"foreign parity", 0, true, {exact, TFakeReply::Http(206, foreign)}, {"could not be verified"}, 0},
        {"parity missing", 0, true, {exact, TFakeReply::Http(404)}, {"could not be verified"}, 0},
        {"two entries", 0, false, {TFakeReply::Http(200, CtdbReplyXml(CtdbEntryXml(weak) + CtdbEntryXml(entry)))},
         {"verified OK, confidence 5", "verified OK, confidence 2"}, 5},
        {"404", 0, false, {TFakeReply::Http(404)}, {"disc not present in database"}, 0},
        {"no entries", 0, false, {TFakeReply::Http(200, CtdbReplyXml(""))}, {"disc not present in database"}, 0},
        {"damaged xml", 0, false, {TFakeReply::Http(200, "<ctdb><entry id=")},
         {"database access error: damaged reply: Premature end of document. (line 1)"}, 0},
        {"stall", 0, false, {TFakeReply::Stall()}, {"database access error: The server sent nothing for 0.4 s."}, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const TFakeReply& r : c.Replies)
            Server.Push(r);
        const int before = int(Server.Requests().size());
        const TCtdbVerdict v = VerifyWithCtdb(Rip(c.Offset, c.Damaged), Base(), Options);
        EXPECT_EQ(v.Lines(), c.Lines);
        EXPECT_EQ(v.DiscConfidence, c.DiscConfidence);
        EXPECT_EQ(int(Server.Requests().size()) - before, int(c.Replies.size()));
        if (!v.Matches.empty()) {
            EXPECT_EQ(v.Matches[0].Offset, c.Offset);
        }
    }
    const QStringList requests = Server.Requests();
    EXPECT_EQ(requests.value(0), "/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=0:400:1000");
    EXPECT_EQ(requests.value(3), "/p/1");
    EXPECT_TRUE(Server.RequestHeaders().value(3).contains("Range: bytes=0-376319")) << Server.RequestHeaders().value(3).constData();
}

TEST_F(CtdbHttp, AStopEndsAStalledLookupAtOnce)
{
    Server.Push(TFakeReply::Stall());
    Options.IdleTimeoutMs = 20000;
    Options.TotalTimeoutMs = 20000;
    THttpAbort abort;
    std::thread stopper([&] {
        Server.WaitForRequests(1);
        abort.Abort();
    });
    QElapsedTimer clock;
    clock.start();
    const TCtdbVerdict v = VerifyWithCtdb(Rip(0, false), Base(), Options, &abort);
    stopper.join();
    EXPECT_EQ(v.Text(), "database access error: Stopped.");
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST_F(CtdbHttp, RipCheckFedTrackByTrack)
{
    // A leading data track: the disc's tracks 2 and 3 are the audio.
    TDiscLayout disc;
    disc.Starts = {0, 2000, 2400};
    disc.Data = {true, false, false};
    disc.LeadOut = 3000;
    const auto* pcm = reinterpret_cast<const uint8_t*>(Clean.constData());
    const size_t split = 4 * 400 * 588, total = size_t(4 * Toc.AudioSamples);
    const auto feed = [&](TCtdbRipCheck& check, const std::vector<int>& order) {
        check.Begin(disc);
        for (const int t : order) {
            const size_t from = t == 2 ? 0 : split, to = t == 2 ? split : total;
            for (size_t at = from; at < to; at += 10007)
                check.Add(t, pcm + at, std::min<size_t>(10007, to - at));
            check.EndTrack(t);
        }
    };
    TCtdbRipCheck check;
    feed(check, {2, 3});
    ASSERT_TRUE(check.Complete());
    EXPECT_EQ(check.Rip().Toc().Id, Toc.Id);
    Server.Push(TFakeReply::Http(200, CtdbReplyXml(CtdbEntryXml(CtdbEntryOf(Reference, 8, 4)))));
    const TCtdbVerdict v = check.Verify(Base(), Options);
    EXPECT_EQ(v.Text(), "verified OK, confidence 4");
    EXPECT_EQ(TCtdbRipCheck::TrackText(v, 2), "verified, confidence 4");

    for (const std::vector<int>& partial : {std::vector<int>{3}, std::vector<int>{3, 2}, std::vector<int>{2}}) {
        feed(check, partial);
        EXPECT_FALSE(check.Complete());
        EXPECT_EQ(TCtdbRipCheck::TrackText(check.Verify(Base(), Options), 1), "not checked");
    }
    EXPECT_EQ(Server.Requests().size(), 1);
    TCtdbVerdict none;
    none.Status = TCtdbVerdict::NotInDatabase;
    EXPECT_EQ(TCtdbRipCheck::TrackText(none, 1), "disc not present in database");
}

} // namespace
