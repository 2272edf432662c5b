// Opus, AAC and Apple Lossless outputs and the inputs FFmpeg decodes, as a user makes them
// (varnelcd-cli convert) and as other programs read them (ffmpeg, opusinfo, mutagen).
#include "encode/EncodeTestUtil.h"
#include "fixtures/TestDisc.h"
#include "metadata/TagWriters.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct TResult {
    int ExitCode = -1;
    QString Err;
};

TResult Cli(const QTemporaryDir& home, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(VARNELCD_CLI, args);
    EXPECT_TRUE(p.waitForFinished(120000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

bool RunTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A file's audio as ffmpeg decodes it: raw little-endian samples of `format` ("s16le",
// "s32le"), or 44.1 kHz floats ("f32le").
QByteArray Decoded(const QString& path, const QString& format)
{
    QStringList args = {"-v", "error", "-i", path, "-map", "0:a"};
    if (format == "f32le") args << "-ar" << "44100";
    return RunAndCapture("ffmpeg", args + QStringList{"-f", format, "-"}, false);
}

std::vector<float> Mono(const QByteArray& f32, int channels)
{
    const auto* v = reinterpret_cast<const float*>(f32.constData());
    std::vector<float> out(size_t(f32.size()) / sizeof(float) / size_t(channels));
    for (size_t i = 0; i < out.size(); ++i)
        for (int c = 0; c < channels; ++c) out[i] += v[i * size_t(channels) + size_t(c)];
    return out;
}

// The best normalised correlation of `b` against `a` over lags of up to `maxLag` samples.
double BestCorrelation(const std::vector<float>& a, const std::vector<float>& b, int maxLag)
{
    double best = 0;
    for (int lag = -maxLag; lag <= maxLag; lag += 1) {
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = size_t(maxLag); i + size_t(maxLag) < std::min(a.size(), b.size()); i += 3) {
            const double x = a[i], y = b[size_t(int64_t(i) + lag)];
            ab += x * y, aa += x * x, bb += y * y;
        }
        if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

// A stereo WAV of chords and noise (something an encoder has to work on).
QString MakeMusic(const QTemporaryDir& dir, const QString& name, int bits)
{
    const QString path = dir.filePath(name);
    EXPECT_TRUE(RunTool("sox", {"-n", "-r", "44100", "-b", QString::number(bits), "-c", "2", path, "synth", "4", "sine",
                            "220-880", "sine", "330", "pinknoise", "remix", "1,2v0.3", "2,3v0.3", "norm", "-3"}));
    return path;
}

QString Mutagen(const QString& script, const QString& path)
{
    return QString::fromUtf8(RunAndCapture("/usr/bin/python3", {"-c", script, path}, false));
}

} // namespace

TEST(AvFormats, OutputsDecodeToTheirSource)
{
    QTemporaryDir home;
    const QString wav16 = MakeMusic(home, "music16.wav", 16);
    const QString wav24 = MakeMusic(home, "music24.wav", 24);
    const QString wavFloat = home.filePath("float.wav");
    ASSERT_TRUE(RunTool("sox", {wav16, "-e", "floating-point", "-b", "32", wavFloat}));
    const QString out = home.filePath("out");
    struct TCase {
        QString Format;
        QString Source;
        QString Output;
        bool Lossless;
    } cases[] = {
        {"alac", wav16, "music16.m4a", true},
        {"alac", wav24, "music24.m4a", true},
        {"opus", wav16, "music16.opus", false},
        {"aac", wav16, "music16.m4a", false},
        {"opus", wavFloat, "float.opus", false},
        {"aac", wavFloat, "float.m4a", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE((c.Format + ' ' + c.Output).toStdString());
        const TResult r = Cli(home, {"convert", "--to", c.Format, "--out", out, "--existing", "overwrite", c.Source});
        ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        const QString made = out + '/' + c.Output;
        if (c.Lossless) {
            const QString raw = c.Source == wav24 ? "s32le" : "s16le";
            const QByteArray source = Decoded(c.Source, raw);
            ASSERT_GT(source.size(), 0);
            EXPECT_TRUE(Decoded(made, raw) == source);
            continue;
        }
        const std::vector<float> a = Mono(Decoded(c.Source, "f32le"), 2);
        const std::vector<float> b = Mono(Decoded(made, "f32le"), 2);
        // The containers state the encoders' priming (Opus pre-skip, the MP4 edit list) and the
        // exact length; a decoder that keeps the last frame's padding adds under one frame.
        if (c.Format == "opus") {
            const QString info = QString::fromUtf8(RunAndCapture("opusinfo", {made}, false));
            EXPECT_TRUE(info.contains("Playback length: 0m:04.000s")) << info.toStdString();
        } else {
            const QString stated = QString::fromUtf8(RunAndCapture(
                "ffprobe", {"-v", "error", "-show_entries", "stream=duration", "-of", "csv=p=0", made}, false));
            EXPECT_EQ(stated.trimmed(), "4.000000");
        }
        EXPECT_NEAR(double(b.size()), double(a.size()), 1024.0);
        EXPECT_GE(BestCorrelation(a, b, 64), 0.99);
    }
    // The MP4 files have their movie header before the audio.
    const QByteArray m4a = ReadAll(out + "/music16.m4a");
    EXPECT_LT(m4a.indexOf("moov"), m4a.indexOf("mdat"));
}

TEST(AvFormats, PeersReadTagsCoverAndLoudness)
{
    QTemporaryDir home;
    const QString wav = MakeMusic(home, "src.wav", 16);
    const QString png = home.filePath("cover.png");
    ASSERT_TRUE(RunTool("convert", {"-size", "16x16", "xc:blue", png}));
    const QString flac = home.filePath("src.flac");
    ASSERT_TRUE(RunTool("flac", {"-s", "-f", "-o", flac, "--tag=TITLE=Song/One 歌", "--tag=ARTIST=Artíst", "--tag=ALBUM=Alb",
                             "--tag=TRACKNUMBER=3", "--tag=TRACKTOTAL=12", "--tag=REPLAYGAIN_TRACK_GAIN=-6.52 dB",
                             "--tag=REPLAYGAIN_TRACK_PEAK=0.98", "--picture=" + png, wav}));
    const QByteArray cover = ReadAll(png);
    const QString out = home.filePath("out");
    // title | artist | track | cover bytes equal | loudness as the format states it
    const QString script =
        "import sys,mutagen\n"
        "m=mutagen.File(sys.argv[1]); t=m.tags\n"
        "if 'covr' in t:\n"
        "  cov=bytes(t['covr'][0]); tr='%d/%d'%t['trkn'][0]; g=t['----:com.apple.iTunes:replaygain_track_gain'][0].decode()\n"
        "  print('|'.join([t['\\xa9nam'][0],t['\\xa9ART'][0],tr,str(cov==open('" + png + "','rb').read()),g]))\n"
        "else:\n"
        "  import base64; from mutagen.flac import Picture\n"
        "  p=Picture(base64.b64decode(t['metadata_block_picture'][0]))\n"
        "  g=t.get('r128_track_gain',['-'])[0]+('+RG' if 'replaygain_track_gain' in t else '')\n"
        "  print('|'.join([t['title'][0],t['artist'][0],t['tracknumber'][0]+'/'+t['tracktotal'][0],"
        "str(p.data==open('" + png + "','rb').read()),g]))\n";
    struct TCase {
        QString Format, Output, Expected;
    } cases[] = {
        // R128 is Q7.8 relative to -23 LUFS: round((-6.52 - 5) * 256) = -2949.
        {"opus", "src.opus", "Song/One 歌|Artíst|3/12|True|-2949"},
        {"aac", "src.m4a", "Song/One 歌|Artíst|3/12|True|-6.52 dB"},
        {"alac", "src.m4a", "Song/One 歌|Artíst|3/12|True|-6.52 dB"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Format.toStdString());
        const TResult r = Cli(home, {"convert", "--to", c.Format, "--out", out, "--existing", "overwrite", flac});
        ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        const QString made = out + '/' + c.Output;
        EXPECT_EQ(Mutagen(script, made).trimmed(), c.Expected);
        const QString probe = QString::fromUtf8(RunAndCapture(
            "ffprobe", {"-v", "error", "-show_entries", "format_tags=title:stream_tags=title", "-of", "csv=p=0", made}, false));
        EXPECT_TRUE(probe.contains("Song/One 歌")) << probe.toStdString();
    }
    const QString info = QString::fromUtf8(RunAndCapture("opusinfo", {out + "/src.opus"}, false));
    EXPECT_TRUE(info.contains("Playback gain: 0 dB")) << info.toStdString();
    EXPECT_TRUE(info.contains("TITLE=Song/One 歌")) << info.toStdString();
    EXPECT_TRUE(info.contains("R128_TRACK_GAIN=-2949")) << info.toStdString();
    EXPECT_FALSE(cover.isEmpty());
}

TEST(AvFormats, R128GainHoldsTheOpusConvention)
{
    const struct {
        double ReplayGain;
        int R128;
    } cases[] = {{-6.52, -2949}, {5.0, 0}, {0.0, -1280}, {1000.0, 32767}, {-1000.0, -32768}};
    for (const auto& c : cases) EXPECT_EQ(R128Gain(c.ReplayGain), c.R128) << c.ReplayGain;
}

TEST(AvFormats, InputsFfmpegDecodesConvertToFlacWithTheirTags)
{
    QTemporaryDir home;
    const QString wav = MakeMusic(home, "src.wav", 16);
    const QStringList meta = {"-metadata", "title=Input Title", "-metadata", "artist=Input Artist", "-metadata", "track=7"};
    const auto ffmpeg = [&](const QString& name, const QStringList& codec) {
        const QString path = home.filePath(name);
        EXPECT_TRUE(RunTool("ffmpeg", QStringList{"-v", "error", "-y", "-i", wav} + codec + meta + QStringList{path}));
        return path;
    };
    const QString wv = home.filePath("in-wavpack.wv");
    ASSERT_TRUE(RunTool("wavpack", {"-q", "-y", "-w", "Title=Input Title", "-w", "Artist=Input Artist", "-w", "Track=7",
                                wav, "-o", wv}));
    const QString opus = home.filePath("in-opus.opus");
    ASSERT_TRUE(RunTool("opusenc", {"--quiet", "--title", "Input Title", "--artist", "Input Artist", "--comment",
                                "TRACKNUMBER=7", wav, opus}));
    const QStringList inputs = {ffmpeg("in-wma.wma", {"-c:a", "wmav2", "-b:a", "128k"}),
                                ffmpeg("in-aac.m4a", {"-c:a", "aac", "-b:a", "128k"}),
                                ffmpeg("in-alac.m4a", {"-c:a", "alac"}), opus, wv};
    const QString out = home.filePath("out");
    // The in-process encoders take them several at once (each decoded by its own worker).
    const TResult several = Cli(home, QStringList{"convert", "--to", "alac", "--jobs", "2", "--out", out} + inputs);
    EXPECT_EQ(several.ExitCode, 0) << several.Err.toStdString();
    for (const QString& in : inputs)
        EXPECT_TRUE(QFileInfo::exists(out + '/' + QFileInfo(in).completeBaseName() + ".m4a")) << in.toStdString();
    for (const QString& in : inputs) {
        SCOPED_TRACE(in.toStdString());
        const TResult r = Cli(home, {"convert", "--to", "flac", "--out", out, in});
        ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        const QString flac = out + '/' + QFileInfo(in).completeBaseName() + ".flac";
        const QString tags = QString::fromUtf8(RunAndCapture(
            "metaflac", {"--show-tag=TITLE", "--show-tag=ARTIST", "--show-tag=TRACKNUMBER", flac}, false));
        EXPECT_EQ(tags, "TITLE=Input Title\nARTIST=Input Artist\nTRACKNUMBER=7\n");
        // About the source's four seconds at the input's own rate (Opus decodes at 48 kHz;
        // lossy decoders may add or drop a frame's worth).
        const QStringList info = QString::fromUtf8(RunAndCapture(
            "metaflac", {"--show-total-samples", "--show-sample-rate", flac}, false)).split('\n');
        ASSERT_GE(info.size(), 2);
        EXPECT_NEAR(info[0].toDouble() / info[1].toDouble(), 4.0, 0.05);
    }
}

TEST(AvFormats, AFileWithoutAudioIsRefusedWithItsCause)
{
    QTemporaryDir home;
    const QString video = home.filePath("picture.mkv");
    ASSERT_TRUE(RunTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "color=c=red:s=32x32:d=1", video}));
    const QString out = home.filePath("out");
    for (const QString format : {"flac", "opus", "mp3"}) {
        SCOPED_TRACE(format.toStdString());
        const TResult r = Cli(home, {"convert", "--to", format, "--out", out, video});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_TRUE(r.Err.contains(video + ": no audio stream")) << r.Err.toStdString();
        EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
    }
}

// A rip straight into each format: Apple Lossless holds exactly the audio the WAV rip holds,
// Opus and AAC state its length; every file carries the track's loudness.
TEST(AvFormats, RipMakesEachFormatFromTheDisc)
{
    QTemporaryDir home;
    const QString cue = MakeTestDisc(home.path(), {"--track", "audio:300", "--track", "audio:150"});
    const auto rip = [&](const QString& format) {
        const QString out = home.filePath("rip-" + format);
        const TResult r = Cli(home, {"rip", "--no-accuraterip", "--disc-image", cue, "--format", format, "--out", out});
        EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        return out;
    };
    const QString wavs = rip("wav");
    struct TCase {
        QString Format, Extension, Loudness;
    } cases[] = {
        {"alac", ".m4a", "----:com.apple.iTunes:replaygain_track_gain"},
        {"aac", ".m4a", "----:com.apple.iTunes:replaygain_track_gain"},
        {"opus", ".opus", "r128_track_gain"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Format.toStdString());
        const QString out = rip(c.Format);
        for (const QString& track : {QString("音轨 01"), QString("音轨 02")}) {
            const QString made = out + '/' + track + c.Extension;
            ASSERT_TRUE(QFileInfo::exists(made));
            const QString wav = wavs + '/' + track + ".wav";
            if (c.Format == "alac") {
                EXPECT_TRUE(Decoded(made, "s16le") == Decoded(wav, "s16le"));
            } else {
                const std::vector<float> a = Mono(Decoded(wav, "f32le"), 2);
                EXPECT_NEAR(double(Mono(Decoded(made, "f32le"), 2).size()), double(a.size()), 1024.0);
            }
            EXPECT_TRUE(Mutagen("import sys,mutagen\nprint(list(mutagen.File(sys.argv[1]).tags.keys()))", made)
                            .contains(c.Loudness));
        }
    }
}
