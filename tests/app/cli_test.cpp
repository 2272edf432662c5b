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
    // No drive through either library: the reasons of the no-device hint.
    Result r = Run({"tracks"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("软件找不到CD设备。请检查以下问题：\n1.CD设备被其他应用程序锁定。")))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("2.读取 /dev/sr* 需要属于 cdrom 组")));
    EXPECT_TRUE(r.out.isEmpty());

    // A disc image names its file and the reason.
    const QString data = MakeTestDisc(Home.path(), {"--track", "data:300"}, "data");
    r = Run({"tracks", "--disc-image", data});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("无法读取光盘映像 %1：没有音轨").arg(data));
    r = Run({"tracks", "--disc-image", Path("no-such-image.cue")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("无法读取光盘映像 %1：文件不存在").arg(Path("no-such-image.cue")));

    r = Run({"tracks", "--drive", "x"});
    EXPECT_EQ(r.exitCode, 2);
    r = Run({"frobnicate"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("unknown command"));
}

// Without a drive of the first library the rows come through the CD input component;
// lengths are then measured in sectors.
TEST_F(CliTest, FollowsTheDriveFallBack)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:8900", "--track", "audio:13760"});
    const Result first = Run({"tracks", "--disc-image", cue});
    EXPECT_EQ(first.out, QStringLiteral("1\t音轨 01\t01:58\t19.85\n2\t音轨 02\t03:04\t30.95\n"));
    for (const QStringList& args : {QStringList{"tracks", "--cd-input-only", "--disc-image", cue}}) {
        const Result r = Run(args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, QStringLiteral("1\t音轨 01\t01:58\t19.85\n2\t音轨 02\t03:03\t30.79\n"));
    }
    qputenv("VARNELCD_CD_INPUT_ONLY", "1");
    const Result r = Run({"tracks", "--disc-image", cue});
    qunsetenv("VARNELCD_CD_INPUT_ONLY");
    EXPECT_EQ(r.out.count('\n'), 2);
    EXPECT_TRUE(r.out.contains(QStringLiteral("03:03")));
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

TEST_F(CliTest, CueSheetsOfOtherMakers)
{
    // Raw audio for the sheets below: two tracks of 10 s.
    const QString made = MakeTestDisc(Home.path(), {"--track", "audio:750", "--track", "audio:750"}, "raw");
    ASSERT_TRUE(QFile::rename(QFileInfo(made).path() + "/raw.bin", Path(QStringLiteral("数据 other.bin"))));
    const QByteArray bin = QStringLiteral("数据 other.bin").toUtf8();
    const QByteArray rows34 = "\n  TRACK 03 AUDIO\n    TITLE \"\xB3\xBF\xEA\xD8\xD0\xA1\xB5\xF7\"\n    INDEX 01 00:00:00\n"
                              "  TRACK 04 AUDIO\n    TITLE \"Four\"\n    INDEX 01 00:10:00\n";
    const QByteArray rows12 = "\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:10:00\n";
    const struct {
        const char* name;
        QByteArray sheet;
        QString result;   // stdout, or the reason on stderr
    } cases[] = {
        // A data file named otherwise than the sheet, and GBK CD-Text on a disc starting at track 3.
        {"gbk", "TITLE \"\xB3\xBF\xEA\xD8\"\nFILE \"" + bin + "\" BINARY" + rows34,
         QStringLiteral("3\t晨曦小调\t00:10\t01.68\n4\tFour\t00:10\t01.68\n")},
        {"wave", "FILE \"" + bin + "\" WAVE" + rows12, QStringLiteral("CUE 文件的 FILE 不是 BINARY 数据，不支持")},
        {"two", "FILE \"" + bin + "\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nFILE \"" + bin +
                    "\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n",
         QStringLiteral("CUE 文件有多个 FILE 行，不支持")},
        {"lost", "FILE \"nowhere.bin\" BINARY" + rows12, QStringLiteral("找不到 CUE 文件所指的数据文件")},
        {"long", "TITLE \"" + QByteArray(5000, 'x') + "\"\nFILE \"" + bin + "\" BINARY" + rows12,
         QStringLiteral("CUE 文件中有过长的行")},
    };
    for (const auto& c : cases) {
        const QString cue = Path(QString::fromLatin1(c.name) + ".cue");
        ASSERT_TRUE(WriteAll(cue, c.sheet));
        const Result r = Run({"tracks", "--disc-image", cue});
        if (c.result.contains('\t')) {
            EXPECT_EQ(r.exitCode, 0) << c.name << r.err.toStdString();
            EXPECT_EQ(r.out, c.result) << c.name;
        } else {
            EXPECT_EQ(r.exitCode, 1) << c.name;
            // The last line: libcdio's own complaints may come before it.
            EXPECT_EQ(r.err.trimmed().split('\n').last(), QStringLiteral("无法读取光盘映像 %1：%2").arg(cue, c.result))
                << c.name;
        }
    }
}
