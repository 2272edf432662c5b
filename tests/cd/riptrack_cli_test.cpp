// varnelcd-cli riptrack, with faults named in the environment as a user of the tool would.
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TResult {
    int ExitCode = -1;
    QString Out, Err;
};

TResult RunRipTrack(const QTemporaryDir& home, const QStringList& args, const QString& faults)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("VARNELCD_READ_FAULTS", faults);
    p.setProcessEnvironment(env);
    p.start(VARNELCD_CLI, QStringList{"riptrack"} + args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

TEST(RipTrackCli, RipsATrackAndReportsFaults)
{
    QTemporaryDir home;
    const QString cue = MakeTestDisc(home.path(), {"--pregap", "5", "--track", "audio:12", "--track", "audio:8"});
    const QString out = home.filePath("out");
    const QString wav = out + "/Track02.wav";

    TResult r = RunRipTrack(home, {"--disc-image", cue, "--track", "2", "--out", out}, "");
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out.trimmed(), wav);
    QByteArray track;
    for (uint32_t s = 0; s < 8; ++s)
        track += ExpectedAudioSector(2, s);
    EXPECT_TRUE(ReadAll(wav).mid(44) == track);

    // Track 2 starts at sector 17 (5 + 12). A failed rip replaces nothing: the whole file
    // of the first run stays as it was. The message names the track and the exact sector
    // (a read that fails once reads again sector by sector: the fault must last two reads).
    r = RunRipTrack(home, {"--disc-image", cue, "--track", "2", "--out", out, "--existing", "overwrite"}, "20@2");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Err.contains("音轨 2 读取出错：第 20 扇区")) << r.Err.toStdString();
    EXPECT_TRUE(ReadAll(wav).mid(44) == track);
    EXPECT_FALSE(QFileInfo::exists(wav + ".part"));

    // Without a terminal or an option the existing file is kept and the command says so.
    r = RunRipTrack(home, {"--disc-image", cue, "--track", "2", "--out", out}, "");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Err.contains("exists and was kept")) << r.Err.toStdString();

    r = RunRipTrack(home, {"--disc-image", cue, "--track", "2", "--out", out, "--existing", "overwrite"}, "20-x");
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_TRUE(r.Err.contains("VARNELCD_READ_FAULTS")) << r.Err.toStdString();

    r = RunRipTrack(home, {"--disc-image", cue, "--track", "3", "--out", out}, "");
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_TRUE(r.Err.contains("no track at position 3")) << r.Err.toStdString();
}

} // namespace
