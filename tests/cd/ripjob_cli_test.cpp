// varnelcd-cli rip through the CD input component: outputs, exit status and the one line
// naming each failed track.
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(RipJobCli, CDInputOnlyRipsAndTellsEachFailedTrack)
{
    QTemporaryDir home;
    const QString cue = MakeTestDisc(home.path(), {"--track", "audio:40", "--track", "audio:30", "--track", "audio:20"});
    const QString out = home.filePath("out");
    const QString Log = "Unknown Artist - Unknown Album.log";   // the rip log beside the files
    struct TCase {
        QStringList Args;
        QString Faults;
        QString Path;               // empty: the system's
        int ExitCode;
        QStringList Produced;
        QString ErrorLine;
    } cases[] = {
        {{"--format", "wav"}, "", "", 0, {Log, "音轨 01.wav", "音轨 02.wav", "音轨 03.wav"}, ""},
        {{"--format", "mp3"}, "45", "", 1, {Log, "音轨 01.mp3", "音轨 03.mp3"}, "varnelcd-cli rip: 02音轨 02: 音轨 2 读取出错：第 45 扇区"},
        {{"--format", "ogg", "--tracks", "3"}, "", "", 0, {Log, "音轨 03.ogg"}, ""},
        {{"--format", "wav", "--tracks", "2", "--pattern", "%N %T"}, "", "", 0, {"02 音轨 02.wav", Log}, ""},
        {{"--format", "mp3", "--tracks", "1"}, "", home.filePath("nothing"), 1, {Log, "音轨 01.wav"}, "varnelcd-cli rip: 01音轨 01:"},
        {{"--format", "mp3", "--jobs", "2"}, "45", "", 1, {Log, "音轨 01.mp3", "音轨 03.mp3"}, "varnelcd-cli rip: 02音轨 02: 音轨 2 读取出错：第 45 扇区"},
        {{"--jobs", "-1"}, "", "", 2, {}, QStringLiteral("--jobs 只接受")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args.join(' ').toStdString());
        QDir(out).removeRecursively();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path() + "/config");
        env.insert("VARNELCD_READ_FAULTS", c.Faults);
        if (!c.Path.isEmpty()) env.insert("PATH", c.Path);
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(VARNELCD_CLI, QStringList{"rip", "--no-accuraterip", "--no-ctdb", "--no-cue", "--cd-input-only", "--disc-image", cue, "--out", out} + c.Args);
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        const QString stdOut = QString::fromUtf8(p.readAllStandardOutput());
        EXPECT_EQ(p.exitCode(), c.ExitCode) << err.toStdString();
        EXPECT_EQ(QDir(out).entryList(QDir::Files, QDir::Name), c.Produced);
        EXPECT_EQ(err.count("varnelcd-cli rip:"), c.ErrorLine.isEmpty() ? 0 : 1) << err.toStdString();
        if (!c.ErrorLine.isEmpty()) {
            EXPECT_TRUE(err.contains(c.ErrorLine)) << err.toStdString();
        }
        if (c.ExitCode == 0) {
            EXPECT_EQ(stdOut.split('\n', Qt::SkipEmptyParts).size(), c.Produced.size() - 1);
        }
    }
}

// SIGTERM while two workers encode: the job stops, exit status 143, no encoder left and no
// MP3 file but whole ones; the progress rows were printed.
TEST(RipJobCli, SigtermStopsTheWorkers)
{
    QTemporaryDir home;
    const QString cue = MakeTestDisc(home.path(), {"--track", "audio:20000", "--track", "audio:20000", "--track", "audio:20000"});
    const QString out = home.filePath("out");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    p.setProcessEnvironment(env);
    p.start(VARNELCD_CLI, {"rip", "--lang", "en", "--no-accuraterip", "--no-ctdb", "--no-cue", "--cd-input-only", "--disc-image", cue,
                           "--out", out, "--format", "mp3", "--jobs", "2"});
    p.setReadChannel(QProcess::StandardError);
    QByteArray err;
    while (!err.contains("[w1] Encoding") && p.waitForReadyRead(30000)) err += p.readAllStandardError();
    ASSERT_TRUE(err.contains("[rip] Extracting")) << err.toStdString();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), 143);
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs))
        EXPECT_FALSE(ReadAll("/proc/" + pid + "/cmdline").contains(out.toUtf8())) << "left running: " << pid.toStdString();
    for (const QString& mp3 : QDir(out).entryList({"*.mp3"}, QDir::Files)) {
        QProcess probe;
        probe.start("ffmpeg", {"-v", "error", "-i", out + "/" + mp3, "-f", "null", "-"});
        ASSERT_TRUE(probe.waitForFinished(30000));
        EXPECT_EQ(probe.exitCode(), 0) << mp3.toStdString();
    }
}

// The progress printed of each track is the same for any worker count on either CD library
// (the workers' tags and the order aside): its read and its encode, each ten of their percent.
TEST(RipJobCli, ProgressLinesDoNotDependOnTheWorkerCount)
{
    QTemporaryDir home;
    const QString cue = MakeTestDisc(home.path(), {"--track", "audio:900", "--track", "audio:700", "--track", "audio:800"});
    const QString out = home.filePath("out");
    for (const QString input : {"--cd-input-only", ""}) {
        for (const char* format : {"mp3", "flac", "flac,opus"}) {
            QStringList reference;
            for (const char* jobs : {"1", "2", "0"}) {
                SCOPED_TRACE((input + " " + format + " --jobs " + jobs).toStdString());
                QDir(out).removeRecursively();
                QProcess p;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert("HOME", home.path());
                env.insert("XDG_CONFIG_HOME", home.path() + "/config");
                p.setProcessEnvironment(env);
                QStringList args = {"rip", "--no-accuraterip", "--no-ctdb", "--disc-image", cue, "--out", out, "--format", format, "--jobs", jobs};
                if (!input.isEmpty()) args << input;
                p.start(VARNELCD_CLI, args);
                ASSERT_TRUE(p.waitForFinished(60000));
                ASSERT_EQ(p.exitCode(), 0);
                QStringList lines = QString::fromUtf8(p.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
                for (QString& line : lines) line.remove(QRegularExpression("^\\[(rip|w\\d+)\\] "));
                lines.sort();
                EXPECT_TRUE(lines.contains("正在抓轨... 音轨 03 100%"));
                if (reference.isEmpty()) reference = lines;
                else EXPECT_EQ(lines, reference);
            }
        }
    }
}
