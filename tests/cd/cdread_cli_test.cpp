// varnelcd-cli cdread: the WAV file holds the header and exactly the image's bytes; a
// failure leaves no file; argument mistakes are refused.
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TResult {
    int ExitCode = -1;
    QString Out, Err;
};

TResult RunCdRead(const QTemporaryDir& home, const QStringList& args, const QString& faults = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("VARNELCD_DISC_IMAGES", "");
    env.insert("VARNELCD_READ_FAULTS", faults);
    p.setProcessEnvironment(env);
    p.start(VARNELCD_CLI, QStringList{"cdread"} + args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

TEST(CdReadCli, WritesTheImagesBytesOrNothing)
{
    QTemporaryDir home;
    // Track 1: sectors 0-149, track 2: 150-249, a data track at 250, track 4 after it.
    const QString cue = MakeTestDisc(home.path(), {"--track", "audio:150", "--track", "audio:100",
                                                   "--track", "data:50", "--track", "audio:30"});
    const QByteArray bin = ReadAll(cue.chopped(4) + ".bin");
    const QString wav = home.filePath("out.wav");
    auto bytes = [&](int first, int end) { return bin.mid(first * 2352, (end - first) * 2352); };

    struct TCase {
        QStringList Args;
        QString Faults;
        int First, End;            // sectors expected in the file
        QString Output;            // stdout line; empty: some jitter errors
    };
    const TCase good[] = {
        {{"--track", "2"}, "", 150, 250, "jitter errors: 0"},
        {{"--from", "1:0:1:50", "--to", "2:0:0:30", "--paranoia", "full"}, "", 125, 180, "jitter errors: 0"},
        {{"--from", "2:0:1:0", "--to", "100:0:0:0", "--paranoia", "overlap"}, "", 225, 250, "jitter errors: 0"},
        {{"--track", "1", "--paranoia", "overlap", "--retries", "5"}, "100@1", 0, 150, ""},
    };
    for (const TCase& c : good) {
        SCOPED_TRACE(c.Args.join(' ').toStdString());
        QFile::remove(wav);
        const TResult r = RunCdRead(home, QStringList{"--disc-image", cue} + c.Args + QStringList{wav}, c.Faults);
        EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        if (c.Output.isEmpty()) {
            EXPECT_TRUE(r.Out.startsWith("jitter errors: ") && r.Out.trimmed() != "jitter errors: 0")
                << r.Out.toStdString();
        } else {
            EXPECT_EQ(r.Out.trimmed(), c.Output);
        }
        const QByteArray file = ReadAll(wav);
        EXPECT_EQ(file.size(), 44 + (c.End - c.First) * 2352);
        EXPECT_TRUE(file.mid(44) == bytes(c.First, c.End));
        EXPECT_TRUE(file.startsWith("RIFF"));
    }

    // Failures: a message, exit status 1, and no file (an old one stays as it was).
    ASSERT_TRUE(WriteAll(wav, "old"));
    const struct {
        QStringList Args;
        QString Faults;
        QString Message;
    } bad[] = {
        {{"--track", "1"}, "70", "Read error at sector 70"},
        {{"--track", "1", "--paranoia", "full", "--retries", "3"}, "70", "Read error at sector 70"},
        {{"--track", "3"}, "", "Trying to rip a data track"},
        {{"--track", "9"}, "", "The start track out of range"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.Message.toStdString());
        const TResult r = RunCdRead(home, QStringList{"--disc-image", cue} + c.Args + QStringList{wav}, c.Faults);
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Err.trimmed(), "varnelcd-cli cdread: " + c.Message);
        EXPECT_EQ(ReadAll(wav), QByteArray("old"));
    }
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Hidden | QDir::Files).filter("out.wav").size(), 1);

    // No drive at all: the reasons of the no-device hint.
    TResult r = RunCdRead(home, {"--track", "1", wav});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Err.startsWith(QStringLiteral("软件找不到CD设备。"))) << r.Err.toStdString();

    // Argument mistakes.
    for (const QStringList& args : {QStringList{wav}, QStringList{"--track", "1", "--from", "1:0:0:0", wav},
                                    QStringList{"--from", "1:0:0:0", wav},
                                    QStringList{"--from", "1:0:60:0", "--to", "2:0:0:0", wav},
                                    QStringList{"--from", "1:0:0:75", "--to", "2:0:0:0", wav},
                                    QStringList{"--track", "1", "--paranoia", "some", wav},
                                    QStringList{"--track", "1", "--retries", "-1", wav},
                                    QStringList{"--track", "1"}}) {
        r = RunCdRead(home, QStringList{"--disc-image", cue} + args);
        EXPECT_EQ(r.ExitCode, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(r.Err.isEmpty());
    }
}

} // namespace
