// The CUETools database's ids, CRCs, syndromes, offset search, repair and verdicts, checked
// against the vectors of CUETools' own tests.
#include "cd/Ctdb.h"
#include "cd/RipAudit.h"
#include "fixtures/CtdbTestAudio.h"

#include <gtest/gtest.h>

namespace {

TEST(CtdbToc, IdsOfTheVectorsAndTheirVariants)
{
    const struct {
        const char* toc;
        const char* id;
    } rows[] = {
        {"0:11413:25024:45713:55220", "VukMWWItblELRM.CEFpXxw0FlME-"},
        {"0:15000:30000:45000", "xFGYFlJdo92ikAXGH5LTHMImHww-"},
        {"32:15032:30032:45032", "xFGYFlJdo92ikAXGH5LTHMImHww-"},          // track-1 pregap
        {"0:15000:30000:-56400:70000", "xFGYFlJdo92ikAXGH5LTHMImHww-"},   // enhanced CD
        {"-0:16000:31000:46000:61000", "xFGYFlJdo92ikAXGH5LTHMImHww-"},   // leading data track
    };
    for (const auto& r : rows) {
        const TCtdbToc toc = CtdbTocOf(QString::fromLatin1(r.toc));
        ASSERT_TRUE(toc.Valid) << r.toc;
        EXPECT_EQ(toc.Id, QLatin1String(r.id)) << r.toc;
        EXPECT_EQ(toc.Text, QLatin1String(r.toc));
    }
    // The same from a rip's table of contents; the enhanced CD ends 11400 sectors early.
    TDiscLayout disc;
    disc.Starts = {0, 15000, 30000, 56400};
    disc.Data = {false, false, false, true};
    disc.LeadOut = 70000;
    const TCtdbToc toc = CtdbTocOf(disc);
    EXPECT_EQ(toc.Id, QLatin1String("xFGYFlJdo92ikAXGH5LTHMImHww-"));
    EXPECT_EQ(toc.AudioSamples, 45000 * 588);
    EXPECT_EQ(toc.Text, QLatin1String("0:15000:30000:-56400:70000"));

    for (const char* junk : {"", "0", "0:x", "100:50", "0:-100", "0:15000:-20000", "0:--5:7", "0: 5"})
        EXPECT_FALSE(CtdbTocOf(QString::fromLatin1(junk)).Valid) << junk;
}

TEST(CtdbCrc, VectorBFromTheCheckpoints)
{
    // Whole-image and AccurateRip-style track CRCs (2940-sample margins), each cut out of
    // the running CRC by the zero-advance shift.
    const TCtdbToc toc = CtdbTocOf(QStringLiteral("0:68:99:136"));
    const QByteArray pcm = CtdbNoise(2314, 0, toc.AudioSamples);
    TCtdbAccumulator acc(toc);
    // Fed in odd pieces: a split inside a sample or a word changes nothing.
    for (qsizetype at = 0; at < pcm.size(); at += 4093)
        acc.Add(reinterpret_cast<const uint8_t*>(pcm.constData()) + at, size_t(std::min<qsizetype>(4093, pcm.size() - at)));
    ASSERT_TRUE(acc.Complete());
    EXPECT_EQ(acc.AllColumns(-7), CtdbAccumulate(toc, pcm).AllColumns(-7));
    EXPECT_EQ(acc.CrcRange(0, 136 * 588), 0xe1f98c03u);
    EXPECT_EQ(acc.CrcRange(13 * 588 + 2940, 68 * 588), 0xfaec0a55u);
    EXPECT_EQ(acc.CrcRange(68 * 588, 99 * 588), 0x0234974bu);
    EXPECT_EQ(acc.CrcRange(99 * 588, 136 * 588 - 2940), 0x3d13042cu);
}

struct VectorA : ::testing::Test {
    const TCtdbToc Toc = CtdbTocOf(QStringLiteral("0:9801"));
    static constexpr int64_t Generator = 18816;
};

TEST_F(VectorA, CrcSyndromesAndLegacyParity)
{
    const QByteArray pcm = CtdbNoise(2423, Generator, Toc.AudioSamples);
    const TCtdbAccumulator acc = CtdbAccumulate(Toc, pcm);
    EXPECT_EQ(acc.DiscCrc(0), 0x1680CC34u);
    const std::vector<uint16_t> s = acc.Column0(0, 16);
    EXPECT_EQ((std::vector<uint16_t>(s.begin(), s.begin() + 4)), (std::vector<uint16_t>{0xfe0c, 0x00ed, 0xadcd, 0x60b9}));

    // npar 8 parity of columns 0..3, 8 words each, and back to column 0's syndromes.
    const auto* w = reinterpret_cast<const uint16_t*>(pcm.constData());
    QByteArray parity;
    std::vector<uint16_t> first;
    for (int c = 0; c < 4; ++c) {
        std::vector<uint16_t> column;
        for (int r = 0; r < Toc.Rows(); ++r)
            column.push_back(w[ctdb::Columns * (r + 1) + c]);
        const std::vector<uint16_t> p = ctdb::ParityOfColumn(column, 8);
        if (c == 0)
            first = p;
        for (const uint16_t v : p)
            parity += char(v & 0xff), parity += char(v >> 8);
    }
    EXPECT_EQ(parity.toBase64(),
              "jvR9QJ1cSWpqbyP0I0tBrBkQRjCDTDDQkttZGj14ROvsXyg+AnnxVKxL7gwLZbrQmTw5ZPps1Q3744g94qaOOQ==");
    EXPECT_EQ(ctdb::SyndromesOfParity(first, 8), acc.Column0(0, 8));
}

TEST_F(VectorA, RepairsABurstOf2940SamplesAtOffsets0And48)
{
    const TCtdbAccumulator reference = CtdbAccumulate(Toc, CtdbNoise(2423, Generator, Toc.AudioSamples));
    for (const int npar : {8, 16})
        for (const int offset : {0, 48, -300}) {
            SCOPED_TRACE(testing::Message() << "npar " << npar << " offset " << offset);
            // rip[k] = ref[k + offset]
            QByteArray rip = CtdbNoise(2423, Generator + offset, Toc.AudioSamples);
            const QByteArray clean = rip;
            CtdbDamage(rip, 1002800, 2940, 7);   // column 0 too: no exact syndrome match
            if (npar == 16)
                CtdbDamage(rip, 3000000, 2940, 8);   // a second burst: two errors a column
            const TCtdbAccumulator acc = CtdbAccumulate(Toc, rip);
            const TCtdbEntry entry = CtdbEntryOf(reference, npar, 3);

            const TCtdbMatch match = CtdbMatch(acc, entry);
            ASSERT_EQ(match.Kind, TCtdbMatch::HasErrors);
            EXPECT_EQ(match.Offset, offset);
            std::vector<uint16_t> syndromes;
            QString error;
            ASSERT_TRUE(CtdbParitySyndromes(CtdbParityFile(reference, npar), entry, syndromes, error)) << qPrintable(error);
            const TCtdbRepair repair = CtdbPlanRepair(acc, entry, match.Offset, syndromes);
            ASSERT_TRUE(repair.Ok) << qPrintable(repair.Error);
            EXPECT_EQ(repair.Corrected(), npar == 16 ? 4 * 2940 : 2 * 2940);   // bytes changed in pairs

            // Applied in two pieces, as a file is rewritten chunk by chunk.
            QByteArray fixed = rip;
            auto* p = reinterpret_cast<uint8_t*>(fixed.data());
            repair.Apply(p, 0, 2000000);
            repair.Apply(p + 4 * 2000000, 2000000, Toc.AudioSamples - 2000000);
            EXPECT_TRUE(fixed == clean);
            EXPECT_EQ(CtdbAccumulate(Toc, fixed).DiscCrc(offset), 0x1680CC34u);
        }
}

TEST_F(VectorA, TooManyErrorsOrAForeignParityAreRefused)
{
    const TCtdbAccumulator reference = CtdbAccumulate(Toc, CtdbNoise(2423, Generator, Toc.AudioSamples));
    const TCtdbEntry entry = CtdbEntryOf(reference, 8, 3);
    QByteArray rip = CtdbNoise(2423, Generator, Toc.AudioSamples);
    for (int b = 0; b < 5; ++b)                 // five errors in many columns: npar 8 fixes four
        CtdbDamage(rip, 500000 + b * 58800, 10, 20 + b);   // the same columns
    const TCtdbAccumulator acc = CtdbAccumulate(Toc, rip);
    std::vector<uint16_t> syndromes;
    QString error;
    ASSERT_TRUE(CtdbParitySyndromes(CtdbParityFile(reference, 8), entry, syndromes, error));
    const TCtdbRepair repair = CtdbPlanRepair(acc, entry, 0, syndromes);
    EXPECT_FALSE(repair.Ok);
    EXPECT_EQ(repair.Corrected(), 0);

    QByteArray foreign = CtdbParityFile(reference, 8);
    foreign[0] = char(foreign[0] ^ 1);
    EXPECT_FALSE(CtdbParitySyndromes(foreign, entry, syndromes, error));
    EXPECT_TRUE(error.contains(QLatin1String("differ")));
    EXPECT_FALSE(CtdbParitySyndromes(foreign.left(100), entry, syndromes, error));
}

TEST_F(VectorA, VerdictTextsOrderAndConfidence)
{
    const QByteArray clean = CtdbNoise(2423, Generator, Toc.AudioSamples);
    const TCtdbAccumulator reference = CtdbAccumulate(Toc, clean);
    QByteArray damaged = clean;
    CtdbDamage(damaged, 100000, 30, 9);    // inside track 1 only
    const TCtdbAccumulator rip = CtdbAccumulate(Toc, damaged);
    TCtdbEntry low = CtdbEntryOf(reference, 16, 2);
    low.ParityUrl = QStringLiteral("http://p/1");
    TCtdbEntry high = CtdbEntryOf(reference, 8, 9);
    high.ParityUrl = QStringLiteral("http://p/2");
    TCtdbEntry other = high;               // another pressing: nothing fits
    other.Syndrome = {1, 2, 3, 4, 5, 6, 7, 8};
    other.Crc ^= 1;
    other.TrackCrcs = {0};
    const TCtdbParityFetch fetch = [&](const TCtdbEntry& e, QByteArray& file, QString&) {
        file = CtdbParityFile(reference, e.Npar);
        return true;
    };

    TCtdbVerdict v = CtdbVerdictOf(reference, {low, other, high}, fetch);
    EXPECT_EQ(v.Lines(), (QStringList{"verified OK, confidence 9", "verified OK, confidence 2"}));
    EXPECT_EQ(v.DiscConfidence, 11);
    EXPECT_EQ(v.TrackConfidence, std::vector<int>{11});
    EXPECT_EQ(v.BestRepair(), nullptr);

    v = CtdbVerdictOf(rip, {low, other, high}, fetch);
    EXPECT_EQ(v.Lines(), (QStringList{"differs in 60 samples, confidence 9", "differs in 60 samples, confidence 2"}));
    EXPECT_EQ(v.DiscConfidence, 0);
    ASSERT_NE(v.BestRepair(), nullptr);
    EXPECT_EQ(v.BestRepair()->Corrected(), 60);

    EXPECT_EQ(CtdbVerdictOf(rip, {other}, fetch).Text(), QLatin1String("could not be verified"));
    EXPECT_EQ(CtdbVerdictOf(rip, {}, fetch).Text(), QLatin1String("disc not present in database"));
    // Without its parity an entry with errors is no match.
    EXPECT_EQ(CtdbVerdictOf(rip, {high}, {}).Text(), QLatin1String("could not be verified"));
    TCtdbVerdict failed;
    failed.Status = TCtdbVerdict::Failed;
    failed.Error = QStringLiteral("no connection");
    EXPECT_EQ(failed.Text(), QLatin1String("database access error: no connection"));
}

} // namespace
