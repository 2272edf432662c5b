// Discs with more than plain audio: mixed-mode and enhanced discs, gaps, index points,
// ISRC, catalogue number and pre-emphasis, as `tracks`, `rip` and the window show them.
#include "AppTestHome.h"
#include "app/core/TrackRowText.h"
#include "audio/DeEmphasis.h"
#include "fixtures/TestDisc.h"
#include "windows/MainForm.h"
#include "windows/OptionSetForm.h"
#include <QCheckBox>
#include "platform/Prompter.h"
#include "platform/akrip32.h"
#include <QAction>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

struct TResult {
    int ExitCode = -1;
    QString Out, Err;
};

class WholeDiscTest : public AppTestHome {
protected:
    TResult Run(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", Home.path());
        env.insert("XDG_CONFIG_HOME", Home.path() + "/config");
        env.insert("VARNELCD_DISC_IMAGES", "");
        p.setProcessEnvironment(env);
        p.start(VARNELCD_CLI, args);
        EXPECT_TRUE(p.waitForFinished(120000));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }
    // The bytes of sectors [first, end) of the image's data file.
    static QByteArray ImageBytes(const QString& cue, int first, int end)
    {
        QFile bin(QString(cue).replace(".cue", ".bin"));
        EXPECT_TRUE(bin.open(QIODevice::ReadOnly));
        bin.seek(qint64(first) * 2352);
        return bin.read(qint64(end - first) * 2352);
    }
    static QByteArray WavData(const QString& path)
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        return f.readAll().mid(44);
    }
    void TearDown() override
    {
        SetDiscImages({});
        AppTestHome::TearDown();
    }
};

class SilentPrompter : public TPrompter {
public:
    void ShowError(const QString&) override {}
    void ShowInformation(const QString&) override {}
    Answer AskYesNo(const QString&, Answer def) override { return def; }
};

} // namespace

// Data tracks are listed as such through either CD library and never read; the audio
// tracks of a disc starting with data are listed and ripped byte for byte.
TEST_F(WholeDiscTest, DataTracksAreListedAndLeftOut)
{
    const struct {
        const char* Name;
        QStringList Tracks;
        QString Listed;
        QList<std::pair<int, int>> Ripped;   // sectors of each file made, in order
    } cases[] = {
        {"mixed", {"data:600", "audio:750", "audio:600"},
         "1\t音轨 01\t00:08\t01.35\tdata\n2\t音轨 02\t00:10\t01.68\n3\t音轨 03\t00:08\t01.35\n",
         {{600, 1350}, {1350, 1950}}},
        {"enhanced", {"audio:300", "audio:450", "audio:300", "data:600"},
         "1\t音轨 01\t00:04\t00.67\n2\t音轨 02\t00:06\t01.01\n3\t音轨 03\t00:04\t00.67\n4\t音轨 04\t00:08\t01.35\tdata\n",
         {{0, 300}, {300, 750}, {750, 1050}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QStringList args;
        for (const QString& t : c.Tracks) args << "--track" << t;
        const QString cue = MakeTestDisc(Home.path(), args, c.Name);
        for (const QStringList& route : {QStringList{}, QStringList{"--cd-input-only"}}) {
            const TResult listed = Run(QStringList{"tracks", "--disc-image", cue} + route);
            EXPECT_EQ(listed.ExitCode, 0) << listed.Err.toStdString();
            EXPECT_EQ(listed.Out, c.Listed);
            const QString out = Path(QStringLiteral("out-%1%2").arg(c.Name).arg(route.size()));
            const TResult rip = Run(QStringList{"rip", "--disc-image", cue, "--format", "wav", "--out", out,
                                                "--no-accuraterip", "--yes"} + route);
            EXPECT_EQ(rip.ExitCode, 0) << rip.Err.toStdString();
            const QStringList files = rip.Out.split('\n', Qt::SkipEmptyParts);
            ASSERT_EQ(files.size(), c.Ripped.size()) << rip.Out.toStdString();
            for (int i = 0; i < files.size(); ++i)
                EXPECT_TRUE(WavData(files[i]) == ImageBytes(cue, c.Ripped[i].first, c.Ripped[i].second)) << i;
        }
    }
    // Naming a data track is refused.
    const TResult named = Run({"rip", "--lang", "en", "--disc-image", Path("mixed.cue"), "--tracks", "1", "--out", Path("x")});
    EXPECT_EQ(named.ExitCode, 2);
    EXPECT_TRUE(named.Err.contains("track 1 is a data track")) << named.Err.toStdString();
}

// The window: a type column; a data row has no check box and stays unticked whatever
// selects all; the tooltip tells gaps, index points, ISRC and catalogue number.
TEST_F(WholeDiscTest, WindowRowsShowTypeAndDetails)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:900", "--track", "audio:900", "--track", "data:600",
                                                   "--gap", "2:150", "--index", "2:300", "--isrc", "2:USABC1234567",
                                                   "--catalog", "1234567890123", "--pre", "1"});
    SetDiscImages({cue});
    TMainForm form;
    form.SetPrompter(std::make_unique<SilentPrompter>());
    form.SetNoDeviceHint([] {});
    form.show();
    QTreeWidget* list = form.ListView1();
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(0)->text(4), QStringLiteral("音频 (预加重)"));
    EXPECT_EQ(list->topLevelItem(1)->text(4), QStringLiteral("音频"));
    EXPECT_EQ(list->topLevelItem(2)->text(4), QStringLiteral("数据"));
    EXPECT_EQ(list->topLevelItem(1)->toolTip(1),
              QStringLiteral("间隙 (INDEX 00)：00:02:00\nINDEX 02: +00:04:00\nISRC: USABC1234567\n目录号 (MCN)：1234567890123"));
    EXPECT_FALSE(list->topLevelItem(2)->flags() & Qt::ItemIsUserCheckable);
    form.Action("ActionSelectAll")->trigger();
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_NE(list->topLevelItem(2)->checkState(0), Qt::Checked);
    form.close();
}

// The whole-disc FLAC file's sheet gives the image's breakpoints (cuebreakpoints), and
// written back out as BIN/CUE with the decoded audio it lists in `tracks` as the original
// disc; the sheet beside separate files names each file and reads in cueprint.
TEST_F(WholeDiscTest, CueSheetsRebuildTheDisc)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:1000", "--track", "audio:900", "--track", "audio:800",
                                                   "--gap", "2:100", "--gap", "3:75", "--index", "2:300", "--isrc",
                                                   "3:GBXYZ9900001", "--catalog", "1234567890123", "--pre", "2",
                                                   "--title", "2:Zwei/Two", "--disc-title", "专辑"},
                                     "orig");
    const TResult original = Run({"tracks", "--disc-image", cue});
    const auto tool = [](const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        EXPECT_TRUE(p.waitForFinished(60000)) << program.toStdString();
        return p.readAllStandardOutput();
    };
    // Whole disc.
    const QString out = Path("flac");
    const TResult rip = Run({"rip", "--disc-image", cue, "--format", "flac", "--cuesheet", "--out", out, "--no-accuraterip"});
    ASSERT_EQ(rip.ExitCode, 0) << rip.Err.toStdString();
    const QString flac = rip.Out.split('\n').first();
    const QByteArray sheet = tool("metaflac", {"--show-tag=CUESHEET", flac}).mid(9);
    ASSERT_TRUE(sheet.contains("INDEX 00")) << sheet.constData();
    QFile sheetFile(Path("embedded.cue"));
    ASSERT_TRUE(sheetFile.open(QIODevice::WriteOnly));
    sheetFile.write(sheet);
    sheetFile.close();
    EXPECT_EQ(tool("cuebreakpoints", {"--prepend-gaps", sheetFile.fileName()}), QByteArray("0:13.25\n0:25.25\n"));
    EXPECT_EQ(tool("cuebreakpoints", {"--append-gaps", sheetFile.fileName()}), QByteArray("0:14.50\n0:26.25\n"));
    // Back to an image: the decoded audio as the sheet's BINARY file.
    QFile bin(Path("back.bin"));
    ASSERT_TRUE(bin.open(QIODevice::WriteOnly));
    bin.write(tool("flac", {"-d", "-c", "-s", "--force-raw-format", "--endian=little", "--sign=signed", flac}));
    bin.close();
    QByteArray backSheet = sheet;
    backSheet.replace(QFileInfo(flac).fileName().toUtf8() + "\" WAVE", "back.bin\" BINARY");
    QFile back(Path("back.cue"));
    ASSERT_TRUE(back.open(QIODevice::WriteOnly));
    back.write(backSheet);
    back.close();
    const TResult listed = Run({"tracks", "--disc-image", back.fileName()});
    EXPECT_EQ(listed.Out.section('\t', 2), original.Out.section('\t', 2)) << backSheet.constData();

    // Separate files.
    const QString files = Path("wav");
    ASSERT_EQ(Run({"rip", "--disc-image", cue, "--format", "wav", "--out", files, "--no-accuraterip"}).ExitCode, 0);
    const QString separate = files + QStringLiteral("/make-test-disc - 专辑.cue");
    EXPECT_EQ(tool("cueprint", {"-t", "%n|%t|%i\n", "-d", "", separate}),
              QStringLiteral("1|Track 01|\n2|Zwei/Two|\n3|Track 03|GBXYZ9900001\n").toUtf8());
    QFile text(separate);
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    const QByteArray written = text.readAll();
    EXPECT_TRUE(written.contains("    INDEX 00 00:13:25\nFILE \"ZweiTwo.wav\" WAVE\n    INDEX 01 00:00:00\n    INDEX 02 00:04:00\n"))
        << written.constData();
}

// With de-emphasis on, a pre-emphasised track comes out de-emphasised and the others as
// read; the rip log's checksums stay those of the disc.
TEST_F(WholeDiscTest, DeEmphasisOnlyWherePreEmphasised)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:300", "--track", "audio:300", "--pre", "1"});
    const QString dir = Home.path() + QStringLiteral("/config/Varnel软件/CD音频转换");
    ASSERT_TRUE(QDir().mkpath(dir));
    QFile ini(dir + "/options.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[CommonOptions]\nDeEmphasis=1\n");
    ini.close();
    const TResult rip = Run({"rip", "--disc-image", cue, "--format", "wav", "--out", Path("de"), "--no-accuraterip", "--no-cue"});
    ASSERT_EQ(rip.ExitCode, 0) << rip.Err.toStdString();
    const QStringList files = rip.Out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(files.size(), 2);
    QByteArray expected = ImageBytes(cue, 0, 300);
    TDeEmphasis filter;
    filter.ProcessBytes(reinterpret_cast<uint8_t*>(expected.data()), size_t(expected.size()));
    EXPECT_TRUE(WavData(files[0]) == expected);
    EXPECT_TRUE(WavData(files[1]) == ImageBytes(cue, 300, 600));
}

// Audio before track 1's INDEX 01 is offered as track 0 (listed, ripped byte for byte,
// track 1's gap in its file in the cue sheet); digital silence there
// is only noted.
TEST_F(WholeDiscTest, HiddenTrackBeforeTrackOne)
{
    const QString audible = MakeTestDisc(Home.path(), {"--pregap", "300", "--hidden-audio", "--track", "audio:600",
                                                       "--track", "audio:450"}, "hidden");
    const QString silent = MakeTestDisc(Home.path(), {"--pregap", "300", "--track", "audio:600", "--track", "audio:450"},
                                        "silent");
    const QString rows = "1\t音轨 01\t00:08\t01.35\n2\t音轨 02\t00:06\t01.01\n";
    for (const QStringList& route : {QStringList{}, QStringList{"--cd-input-only"}}) {
        EXPECT_EQ(Run(QStringList{"tracks", "--disc-image", audible} + route).Out, "0\t00 隐藏音轨\t00:04\t00.67\n" + rows);
        const TResult quiet = Run(QStringList{"tracks", "--disc-image", silent} + route);
        EXPECT_EQ(quiet.Out, rows);
        EXPECT_TRUE(quiet.Err.contains(QStringLiteral("300 个扇区的数字静音"))) << quiet.Err.toStdString();
    }
    const TResult rip = Run({"rip", "--disc-image", audible, "--format", "flac", "--out", Path("h"), "--no-accuraterip", "--cue"});
    ASSERT_EQ(rip.ExitCode, 0) << rip.Err.toStdString();
    const QStringList files = rip.Out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(files.size(), 3);
    QProcess flac;
    flac.start("flac", {"-d", "-c", "-s", "--force-raw-format", "--endian=little", "--sign=signed", files[0]});
    ASSERT_TRUE(flac.waitForFinished(60000));
    EXPECT_TRUE(flac.readAllStandardOutput() == ImageBytes(audible, 0, 300));
    // Tagged as track 0 (not as a file without a number); the log says what became of it.
    QProcess tag;
    tag.start("metaflac", {"--show-tag=TRACKNUMBER", files[0]});
    ASSERT_TRUE(tag.waitForFinished(60000));
    EXPECT_EQ(tag.readAllStandardOutput(), "TRACKNUMBER=0\n");
    const auto logOf = [this](const QString& folder) {
        QFile log(Path(folder + "/Unknown Artist - Unknown Album.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    };
    EXPECT_TRUE(logOf("h").contains("Audio before track 1: 300 sectors, ripped as track 0\n"));
    QFile sheet(Path("h/Unknown Artist - Unknown Album.cue"));
    ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
    EXPECT_TRUE(sheet.readAll().contains("FILE \"00 隐藏音轨.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"音轨 01\"\n"
                                         "    INDEX 00 00:00:00\nFILE \"音轨 01.flac\" WAVE\n    INDEX 01 00:00:00\n"));
    // Nothing is made of silence.
    const TResult none = Run({"rip", "--disc-image", silent, "--format", "wav", "--out", Path("s"), "--no-accuraterip"});
    EXPECT_EQ(none.Out.count('\n'), 2);
    EXPECT_TRUE(logOf("s").contains("Audio before track 1: 300 sectors of digital silence, not ripped\n")) << logOf("s").toStdString();
}

// The window offers the hidden track as its own ticked row, numbered 0 for the rip.
TEST_F(WholeDiscTest, WindowOffersTheHiddenTrack)
{
    SetDiscImages({MakeTestDisc(Home.path(), {"--pregap", "150", "--hidden-audio", "--track", "audio:300"})});
    TMainForm form;
    form.SetPrompter(std::make_unique<SilentPrompter>());
    form.SetNoDeviceHint([] {});
    form.show();
    QTreeWidget* list = form.ListView1();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("00 隐藏音轨"));
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(list->topLevelItem(0)->data(0, Qt::UserRole).toInt(), 0);
    EXPECT_EQ(list->topLevelItem(1)->data(0, Qt::UserRole).toInt(), 1);
    form.close();
}

// Options → Output shows the cue-sheet and de-emphasis settings and stores them on OK.
TEST_F(WholeDiscTest, OptionsWindowHoldsCueSheetAndDeEmphasis)
{
    OptionsSetting.CommonOptions.CueSheet = 1;
    OptionsSetting.CommonOptions.DeEmphasis = 0;
    SilentPrompter prompter;
    TOptionSetForm form(prompter, TOptionSetHost{});
    auto* cue = form.findChild<QCheckBox*>("ckbCueSheet");
    auto* deemphasis = form.findChild<QCheckBox*>("ckbDeEmphasis");
    ASSERT_TRUE(cue && deemphasis);
    EXPECT_TRUE(cue->isChecked());
    EXPECT_FALSE(deemphasis->isChecked());
    cue->setChecked(false);
    deemphasis->setChecked(true);
    form.accept();
    EXPECT_EQ(OptionsSetting.CommonOptions.CueSheet, 0);
    EXPECT_EQ(OptionsSetting.CommonOptions.DeEmphasis, 1);
}
