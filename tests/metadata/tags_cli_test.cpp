// varnelcd-cli tags: prints what the conversions read, copies tags into another file,
// measures WAV files as an album, and fails with the reason on a file without tags.
#include "fixtures/TestUtil.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TResult {
    int Code = -1;
    QString Out, Err;
};

TResult Cli(const QStringList& args, const QString& folder)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(VARNELCD_CLI, QStringList{"tags"} + args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

void Tool(const QString& program, const QStringList& args, const QString& folder)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(program, args);
    p.waitForFinished(60000);
    ASSERT_EQ(p.exitCode(), 0) << program.toStdString();
}

TEST(TagsCliTest, ShowsCopiesAndMeasures)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    Tool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", "a.wav", "synth", "3", "sine", "440", "vol", "0.5"}, d);
    Tool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", "b.wav", "synth", "3", "pinknoise", "vol", "0.2"}, d);
    Tool("flac", {"--silent", "-T", "TITLE=夜曲", "-T", "ARTIST=周杰伦", "-T", "TRACKNUMBER=2", "-T", "TRACKTOTAL=9",
                  "-o", "in.flac", "a.wav"}, d);
    Tool("lame", {"--quiet", "b.wav", "out.mp3"}, d);

    TResult r = Cli({"in.flac"}, d);
    EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, "Title: 夜曲\nArtist: 周杰伦\nTrack: 2/9\n");

    Tool("opusenc", {"--quiet", "b.wav", "out.opus"}, d);
    Tool("ffmpeg", {"-v", "quiet", "-i", "b.wav", "-c:a", "aac", "out.m4a"}, d);
    for (const QStringList& copy : {QStringList{"out.mp3", "--id3", "23"}, QStringList{"out.opus"}, QStringList{"out.m4a"}}) {
        r = Cli(QStringList{"in.flac", "--copy-to"} + copy, d);
        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
        EXPECT_EQ(Cli({copy[0]}, d).Out, "Title: 夜曲\nArtist: 周杰伦\nTrack: 2/9\n") << copy[0].toStdString();
    }

    r = Cli({"--replaygain", "a.wav", "b.wav"}, d);
    EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
    const QStringList lines = r.Out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << r.Out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("a.wav\t-11.")) << lines[0].toStdString();   // -3 dBFS sine: about -3 LUFS
    EXPECT_TRUE(lines[2].startsWith("album\t")) << lines[2].toStdString();

    r = Cli({"a.wav"}, d);
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains("a.wav: no INFO list")) << r.Err.toStdString();
}

} // namespace
