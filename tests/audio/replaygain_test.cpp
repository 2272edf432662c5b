// ReplayGain 2.0 of streamed PCM against FFmpeg's ebur128 filter (gain = -18 - integrated
// loudness) and sox's peak amplitude, per track and for the album (the tracks joined).
#include "audio/ReplayGain.h"
#include "fixtures/TestUtil.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

QString Tool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

double Capture(const QString& text, const QString& pattern)
{
    const QRegularExpressionMatch m = QRegularExpression(pattern).match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : NAN;
}

double FfmpegGain(const QString& wav)
{
    const QString out = Tool("ffmpeg", {"-hide_banner", "-nostats", "-i", wav, "-af", "ebur128", "-f", "null", "-"});
    // The summary's "I:" comes after the per-block lines' "I:" values; take the last one.
    const qsizetype summary = out.lastIndexOf(QStringLiteral("Integrated loudness:"));
    return -18.0 - Capture(out.mid(summary), QStringLiteral("I:\\s+(-?[0-9.]+) LUFS"));
}

double SoxPeak(const QString& wav)
{
    const QString out = Tool("sox", {wav, "-n", "stat"});
    return std::max(Capture(out, QStringLiteral("Maximum amplitude:\\s+(-?[0-9.]+)")),
                    -Capture(out, QStringLiteral("Minimum amplitude:\\s+(-?[0-9.]+)")));
}

// The PCM bytes of a canonical WAV file (its "data" chunk).
QByteArray PcmOf(const QString& wav)
{
    const QByteArray bytes = ReadAll(wav);
    const qsizetype data = bytes.indexOf("data");
    return data < 0 ? QByteArray() : bytes.mid(data + 8, qFromLittleEndian<quint32>(bytes.constData() + data + 4));
}

TEST(ReplayGainTest, TracksAndAlbumAgreeWithFfmpegAndSox)
{
    QTemporaryDir dir;
    // Music-like test audio: plucked chords, a loud swept square with tremolo, quiet pink noise;
    // as long as short songs, so the few blocks that span the joins of the tracks (measured
    // when they are joined, not when they are apart) count as little as on a real disc.
    const QList<QStringList> synth = {
        {"synth", "20", "pluck", "C3", "pluck", "E3", "pluck", "G3", "repeat", "1"},
        {"synth", "15", "square", "110-880", "sine", "220", "tremolo", "3", "60", "vol", "0.9"},
        {"synth", "25", "pinknoise", "tremolo", "0.5", "90", "vol", "0.1"},
    };
    TReplayGain gain;
    QStringList files;
    for (int t = 0; t < synth.size(); ++t) {
        const QString wav = dir.filePath(QStringLiteral("t%1.wav").arg(t));
        Tool("sox", QStringList{"-n", "-r", "44100", "-c", "2", "-b", "16", wav} + synth[t]);
        const QByteArray pcm = PcmOf(wav);
        ASSERT_GT(pcm.size(), 44100 * 4) << t;
        // Chunks that cut sample frames in two, as a stream's blocks may.
        for (qsizetype at = 0; at < pcm.size(); at += 4097)
            gain.FeedBytes(pcm.constData() + at, size_t(std::min<qsizetype>(4097, pcm.size() - at)));
        const TReplayGainResult track = gain.FinishTrack();
        EXPECT_NEAR(track.Gain, FfmpegGain(wav), 0.1) << t;
        EXPECT_NEAR(track.Peak, SoxPeak(wav), 0.001) << t;
        files << wav;
    }
    // A track that failed is not part of the album.
    const QByteArray loud(44100 * 4, '\x7f');
    gain.FeedBytes(loud.constData(), size_t(loud.size()));
    gain.DiscardTrack();

    const QString all = dir.filePath(QStringLiteral("all.wav"));
    Tool("sox", files + QStringList{all});
    const TReplayGainResult album = gain.Album();
    EXPECT_EQ(gain.TrackCount(), 3);
    EXPECT_NEAR(album.Gain, FfmpegGain(all), 0.1);
    EXPECT_NEAR(album.Peak, SoxPeak(all), 0.001);
}

// The K-weighting follows the sample rate, and mono counts its one channel.
TEST(ReplayGainTest, OtherRatesAndChannelCountsAgreeWithFfmpeg)
{
    QTemporaryDir dir;
    const struct {
        int Rate, Channels;
    } rows[] = {{48000, 1}, {22050, 2}, {96000, 2}, {8000, 1}};
    for (const auto& row : rows) {
        const QString wav = dir.filePath(QStringLiteral("r%1c%2.wav").arg(row.Rate).arg(row.Channels));
        Tool("sox", {"-n", "-r", QString::number(row.Rate), "-c", QString::number(row.Channels), "-b", "16", wav,
                     "synth", "6", "pinknoise", "synth", "sine", "amod", "3", "vol", "0.4"});
        const QByteArray pcm = PcmOf(wav);
        TReplayGain gain(unsigned(row.Channels), unsigned(row.Rate));
        gain.FeedBytes(pcm.constData(), size_t(pcm.size()));
        const TReplayGainResult track = gain.FinishTrack();
        EXPECT_NEAR(track.Gain, FfmpegGain(wav), 0.1) << row.Rate << '/' << row.Channels;
        EXPECT_NEAR(track.Peak, SoxPeak(wav), 0.001) << row.Rate << '/' << row.Channels;
    }
}

TEST(ReplayGainTest, SilenceAndNothingAreNoChange)
{
    TReplayGain gain;
    EXPECT_EQ(gain.Album().Gain, 0.0);
    const std::vector<int16_t> silence(44100 * 2 * 3, 0);
    gain.Feed(silence.data(), silence.size());
    const TReplayGainResult track = gain.FinishTrack();
    EXPECT_EQ(track.Gain, 0.0);
    EXPECT_EQ(track.Peak, 0.0);
    EXPECT_EQ(gain.FinishTrack().Gain, 0.0);   // a track with no samples at all
    EXPECT_EQ(gain.Album().Gain, 0.0);
}

} // namespace
