// De-emphasis against sox's deemph effect: sines across the band, filtered in pieces of
// odd sizes, come out at sox's level within 0.1 dB.
#include "audio/DeEmphasis.h"
#include <QProcess>
#include <QTemporaryDir>
#include <QFile>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int Rate = 44100;

// Level of a sine of frequency f in the stereo samples' left channel (after the first
// 50 ms), relative to a full period correlation.
double Amplitude(const std::vector<int16_t>& s, double f)
{
    double sn = 0, cs = 0;
    for (size_t i = Rate / 20; i < s.size() / 2; ++i) {
        const double w = 2 * M_PI * f * double(i) / Rate;
        sn += s[2 * i] * std::sin(w);
        cs += s[2 * i] * std::cos(w);
    }
    return std::hypot(sn, cs);
}

} // namespace

TEST(DeEmphasis, FollowsSoxWithinATenthOfADecibel)
{
    QTemporaryDir dir;
    double worst = 0;
    for (int k = 0; k <= 30; ++k) {
        const double f = 20 * std::pow(1000.0, k / 30.0);
        std::vector<int16_t> in(size_t(Rate / 2) * 2);
        for (size_t i = 0; i < in.size() / 2; ++i)
            in[2 * i] = in[2 * i + 1] = int16_t(std::lround(12000 * std::sin(2 * M_PI * f * double(i) / Rate)));
        // Ours, in pieces of 1, 587 and 1000 frames.
        std::vector<int16_t> ours = in;
        TDeEmphasis filter;
        for (size_t at = 0, piece = 1; at < ours.size() / 2; at += piece, piece = piece == 1 ? 587 : 1000)
            filter.Process(ours.data() + 2 * at, std::min(piece, ours.size() / 2 - at));
        // sox's.
        QFile raw(dir.filePath("in.raw"));
        ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
        raw.write(reinterpret_cast<const char*>(in.data()), qint64(in.size() * 2));
        raw.close();
        QProcess sox;
        sox.start("sox", {"-t", "raw", "-r", "44100", "-e", "signed", "-b", "16", "-c", "2", raw.fileName(), "-t", "raw",
                          "-", "deemph"});
        ASSERT_TRUE(sox.waitForFinished(30000));
        const QByteArray out = sox.readAllStandardOutput();
        ASSERT_EQ(out.size(), qsizetype(in.size() * 2));
        std::vector<int16_t> theirs(in.size());
        std::memcpy(theirs.data(), out.constData(), size_t(out.size()));
        const double diff = 20 * std::log10(Amplitude(ours, f) / Amplitude(theirs, f));
        EXPECT_LT(std::abs(diff), 0.1) << f << " Hz";
        worst = std::max(worst, std::abs(diff));
        // Both channels alike.
        EXPECT_EQ(ours[1000], ours[1001]);
    }
    RecordProperty("worst_db", std::to_string(worst));
}

TEST(DeEmphasis, BytesInPiecesEqualOneRun)
{
    std::vector<int16_t> pcm(20000);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t((i * 7919) % 65536 - 32768);
    std::vector<int16_t> whole = pcm;
    TDeEmphasis a;
    a.Process(whole.data(), whole.size() / 2);
    std::vector<uint8_t> bytes(pcm.size() * 2);
    std::memcpy(bytes.data(), pcm.data(), bytes.size());
    TDeEmphasis b;
    b.ProcessBytes(bytes.data(), 2352 * 3 + 4);
    b.ProcessBytes(bytes.data() + 2352 * 3 + 4, bytes.size() - 2352 * 3 - 4);
    EXPECT_EQ(std::memcmp(bytes.data(), whole.data(), bytes.size()), 0);
}
