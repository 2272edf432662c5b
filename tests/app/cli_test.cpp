// varnelcd-cli tracks: the main window's rows on stdout, its status texts on stderr.
#include "AppTestHome.h"
#include "app/core/DiscSession.h"
#include "fixtures/TestDisc.h"
#include "settings/CDInfo.h"
#include "settings/IniFile.h"
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

struct Result {
    int exitCode = -1;
    QString out, err;
};

class CliTest : public AppTestHome {
protected:
    Result Run(const QStringList& args, const QString& envImages = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", Home.path());
        env.insert("XDG_CONFIG_HOME", Home.path() + "/config");
        env.insert("VARNELCD_DISC_IMAGES", envImages);
        p.setProcessEnvironment(env);
        p.start(VARNELCD_CLI, args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }
};

} // namespace

TEST_F(CliTest, PrintsTheRowsOfADisc)
{
    const QString cue = MakeTestDisc(Home.path(),
                                     {"--track", "audio:18750", "--track", "audio:675", "--title", "1:Eins", "--title", "2:Zwei"});
    const Result r = Run({"tracks", "--disc-image", cue});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("1\tEins\t04:10\t42.06\n2\tZwei\t00:09\t01.51\n"));
    EXPECT_TRUE(r.err.isEmpty());
    // The command line only reads the settings.
    EXPECT_FALSE(QFile::exists(Home.path() + QStringLiteral("/config/Varnel软件/CD音频转换/options.ini")));
}

TEST_F(CliTest, DriveChoiceAndImagesFromTheEnvironment)
{
    const QString a = MakeTestDisc(Home.path(), {"--track", "audio:750"}, "a");
    const QString b = MakeTestDisc(Home.path(), {"--track", "audio:750", "--track", "audio:1500"}, "b");
    Result r = Run({"tracks", "--drive", "1"}, a + ":" + b);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.count('\n'), 2);
    // A drive past the end is the first drive.
    r = Run({"tracks", "--drive", "7", "--disc-image", a}, b);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.count('\n'), 1);
}

TEST_F(CliTest, FailuresGiveTheStatusTextAndExitStatusOne)
{
    Result r = Run({"tracks"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("没有找到光驱!"));
    EXPECT_TRUE(r.out.isEmpty());

    const QString data = MakeTestDisc(Home.path(), {"--track", "data:300"}, "data");
    for (const QString& image : {data, Path("no-such-image.cue")}) {
        r = Run({"tracks", "--disc-image", image});
        EXPECT_EQ(r.exitCode, 1) << image.toStdString();
        EXPECT_EQ(r.err.trimmed(), QStringLiteral("请检查光驱中是否插入了音乐CD！"));
    }

    r = Run({"tracks", "--drive", "x"});
    EXPECT_EQ(r.exitCode, 2);
    r = Run({"frobnicate"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("unknown command"));
}

TEST_F(CliTest, ShowsTheCachedTitlesOfAKnownDisc)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:750", "--track", "audio:750", "--title", "1:FromCDText"});
    // The disc's identifier, as the program computes it.
    SetDiscImages({cue});
    QString discId;
    {
        TDiscSession session;
        ASSERT_NE(session.SelectDrive(0), 0u);
        discId = session.DiscId();
    }
    ASSERT_FALSE(discId.isEmpty());
    QDir().mkpath(QFileInfo(CDInfoFileName()).path());
    TIniFile cache(CDInfoFileName());
    cache.WriteString(discId, "TrackNumber", "2");
    cache.WriteString(discId, "1", QStringLiteral("缓存的标题"));
    ASSERT_TRUE(cache.UpdateFile());

    const Result r = Run({"tracks", "--disc-image", cue});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, QStringLiteral("1\t缓存的标题\t00:10\t01.68\n2\t音轨 02\t00:10\t01.68\n"));
}
