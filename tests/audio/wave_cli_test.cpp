// The WAV commands of varnelcd-cli: wavinfo, wavcopy and wav2wav, with their messages and
// exit statuses.
#include "audio/WaveIn.h"
#include "WaveTestUtil.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace WaveTest;

namespace {

struct Result {
    int code = -1;
    QString out, err;
};

Result Cli(const QStringList& Args)
{
    QByteArray out, err;
    Result r;
    r.code = RunProgram(VARNELCD_CLI, Args, &out, &err);
    r.out = QString::fromUtf8(out);
    r.err = QString::fromUtf8(err);
    return r;
}

struct Files {
    QTemporaryDir dir;
    QString src;        // 0.5 s, 44100 Hz stereo 16-bit
    Files() : src(dir.filePath("src.wav"))
    {
        WriteAll(src, PcmFile(2, 44100, 16, PatternBytes(0, 22050 * 4)));
    }
    QString Path(const QString& Name) const { return dir.filePath(Name); }
};

} // namespace

TEST(WaveCli, WavinfoDescribesOrRefuses)
{
    Files f;
    Result r = Cli({"wavinfo", f.src});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Coding: Raw PCM\nChannels: 2\nSample rate: 44100\nBits per sample: 16\nFrames: 22050\nSeconds: 0.500\n");
    const QString text = f.Path("text.wav");
    WriteAll(text, "not a wave file at all");
    for (const QString& bad : {text, f.Path("missing.wav")}) {
        r = Cli({"wavinfo", bad});
        EXPECT_EQ(r.code, 1) << bad.toStdString();
        EXPECT_TRUE(r.err.startsWith("varnelcd-cli: " + bad + ": ")) << r.err.toStdString();
    }
    EXPECT_TRUE(Cli({"wavinfo", text}).err.contains("(coding: Unsupported)"));
}

TEST(WaveCli, WavcopyCopiesAppendsAndReports)
{
    Files f;
    const QString out = f.Path("out.wav");
    Result r = Cli({"wavcopy", f.src, out});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.endsWith("100%\n"));
    EXPECT_EQ(ReadAll(out), ReadAll(f.src));
    EXPECT_EQ(Cli({"wavcopy", f.src, out, "--append"}).code, 0);
    TWaveIn in;
    in.SetFileName(out);
    EXPECT_EQ(in.TotalSamples(), 2 * 22050);
    in.SetFileName(QString());

    EXPECT_EQ(Cli({"wavcopy", f.src, out, "--adpcm", "--block", "1024"}).code, 0);
    in.SetFileName(out);
    EXPECT_EQ(in.WavType(), wtDVIADPCM);
    EXPECT_EQ(in.TotalSamples(), 22050);
    in.SetFileName(QString());

    // 24 bits: the extensible header with --ext only.
    const QString src24 = f.Path("src24.wav");
    WriteAll(src24, PcmFile(2, 48000, 24, PatternBytes(0, 600)));
    for (const bool ext : {false, true}) {
        QStringList args{"wavcopy", src24, out};
        if (ext)
            args << "--ext";
        ASSERT_EQ(Cli(args).code, 0);
        EXPECT_EQ(ReadAll(out).size(), (ext ? 68 : 44) + 600);
    }

    r = Cli({"wavcopy", f.src, f.src});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("the output cannot be the input file"));
    r = Cli({"wavcopy", src24, out, "--adpcm"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "varnelcd-cli: Cannot encode 8 bit sound into ADPCM.\n");
    EXPECT_EQ(Cli({"wavcopy", f.src, out, "--block", "510"}).code, 2);
}

TEST(WaveCli, Wav2wavConvertsLikeTheConverterWindow)
{
    Files f;
    const QString out = f.Path("out.wav");
    Result r = Cli({"wav2wav", f.src, out, "--channels", "1", "--rate", "22050", "--bits", "8"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    TWaveIn in;
    in.SetFileName(out);
    EXPECT_EQ(in.WavType(), wtPCM);
    EXPECT_EQ(in.Channels(), 1);
    EXPECT_EQ(in.SampleRate(), 22050);
    EXPECT_EQ(in.BitsPerSample(), 8);
    EXPECT_EQ(in.TotalSamples(), 11025);
    in.SetFileName(QString());
    // And back up: every frame of the end is there.
    const QString back = f.Path("back.wav");
    ASSERT_EQ(Cli({"wav2wav", out, back, "--channels", "2", "--rate", "44100", "--bits", "16"}).code, 0);
    in.SetFileName(back);
    EXPECT_EQ(in.TotalSamples(), 22050);
    in.SetFileName(QString());

    // Nothing asked: the same rate passes through and the converter stays at 0, so the
    // samples are untouched.
    ASSERT_EQ(Cli({"wav2wav", f.src, out}).code, 0);
    EXPECT_EQ(ReadAll(out).mid(44), ReadAll(f.src).mid(44));

    ASSERT_EQ(Cli({"wav2wav", f.src, out, "--adpcm", "--rate", "8000"}).code, 0);
    in.SetFileName(out);
    EXPECT_EQ(in.WavType(), wtDVIADPCM);
    EXPECT_EQ(in.SampleRate(), 8000);
    EXPECT_EQ(in.TotalSamples(), 4000);
    in.SetFileName(QString());

    for (const QStringList& bad : {QStringList{"--bits", "12"}, QStringList{"--channels", "3"},
                                   QStringList{"--rate", "0"}, QStringList{"--rate", "fast"}}) {
        r = Cli(QStringList{"wav2wav", f.src, out} + bad);
        EXPECT_EQ(r.code, 1) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("varnelcd-cli: ")) << r.err.toStdString();
    }
    EXPECT_EQ(Cli({"wav2wav", f.Path("missing.wav"), out}).code, 1);
}
