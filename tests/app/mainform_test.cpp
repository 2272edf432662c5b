// The main window on generated disc images, offscreen: rows, status texts, the disc cache
// across two starts, CD-Text titles, disc changes, and the settings written at closing.
#include "AppTestHome.h"
#include "windows/MainForm.h"
#include "windows/NoDeviceHintForm.h"
#include "app/core/NoDeviceHint.h"
#include "app/core/DiscWatcher.h"
#include "fixtures/TestDisc.h"
#include "settings/CDInfo.h"
#include "settings/IniFile.h"
#include "settings/Global.h"
#include "settings/Options.h"
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QTest>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>
#include <QToolButton>
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <memory>

namespace {

class RecordingPrompter : public TPrompter {
public:
    QStringList* Errors;
    explicit RecordingPrompter(QStringList* errors) : Errors(errors) {}
    void ShowError(const QString& text) override { Errors->append(text); }
    void ShowInformation(const QString& text) override { Errors->append(text); }
    Answer AskYesNo(const QString&, Answer def) override { return def; }
};

struct Row {
    QString number, title, length, size;
    bool checked;
};

QVector<Row> Rows(const TMainForm& form)
{
    QVector<Row> rows;
    QTreeWidget* list = form.ListView1();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* it = list->topLevelItem(i);
        rows.append({it->text(0), it->text(1), it->text(2), it->text(3), it->checkState(0) == Qt::Checked});
    }
    return rows;
}

class MainFormTest : public AppTestHome {
protected:
    std::unique_ptr<TMainForm> Open()
    {
        auto form = std::make_unique<TMainForm>();
        form->SetPrompter(std::make_unique<RecordingPrompter>(&Errors));
        form->SetNoDeviceHint([this] { ++Hints; });
        form->show();
        return form;
    }
    // A 4:10 track, a 9 s track and a 3 s track.
    QString MakeDisc(const QString& name, const QStringList& extra = {})
    {
        QStringList args{"--track", "audio:18750", "--track", "audio:675", "--track", "audio:225"};
        args << extra;
        const QString cue = MakeTestDisc(Home.path(), args, name);
        EXPECT_FALSE(cue.isEmpty());
        return cue;
    }
    void TearDown() override
    {
        SetCDInputOnly(false);
        AppTestHome::TearDown();
    }
    QStringList Errors;
    int Hints = 0;
};

} // namespace

TEST_F(MainFormTest, ListsTheTracksOfADiscImage)
{
    SetDiscImages({MakeDisc("disc")});
    auto form = Open();
    EXPECT_EQ(form->objectName(), "MainForm");
    EXPECT_EQ(form->windowTitle(), QStringLiteral("VarnelCD音频转换 2.0"));
    EXPECT_NE(form->CDHandle(), 0u);
    const QVector<Row> rows = Rows(*form);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].number, "1");
    EXPECT_EQ(rows[0].title, QStringLiteral("音轨 01"));
    EXPECT_EQ(rows[0].length, "04:10");
    EXPECT_EQ(rows[0].size, "42.06");
    EXPECT_EQ(rows[1].length, "00:09");
    EXPECT_EQ(rows[1].size, "01.51");
    EXPECT_EQ(rows[2].title, QStringLiteral("音轨 03"));
    for (const Row& r : rows)
        EXPECT_TRUE(r.checked);
    // The status line names the drive, and that is what playback restores.
    EXPECT_FALSE(form->DriveText().isEmpty());
    EXPECT_EQ(form->StatusText(), form->DriveText());
    EXPECT_EQ(form->SavedStatus(), form->DriveText());
    EXPECT_FALSE(form->NoDisc());
    // The list's column captions and the translated window texts.
    QTreeWidgetItem* header = form->ListView1()->headerItem();
    EXPECT_EQ(header->text(0), QStringLiteral("序号"));
    EXPECT_EQ(header->text(3), QStringLiteral("大小(MB)"));
    form->close();
    EXPECT_TRUE(Errors.isEmpty());
}

TEST_F(MainFormTest, NoDriveAtAll)
{
    auto form = Open();
    EXPECT_EQ(form->CDHandle(), 0u);
    EXPECT_EQ(form->StatusText(), QStringLiteral("没有找到光驱!"));
    EXPECT_EQ(form->ListView1()->topLevelItemCount(), 0);
    // The hint, once: at the first activation only.
    EXPECT_EQ(Hints, 1);
    form->Refresh();
    EXPECT_EQ(Hints, 1);
    form->close();
}

// Without a drive of the first library the window lists through the CD input component:
// the same rows, titles and disc identifier, lengths measured in sectors.
TEST_F(MainFormTest, FallBackThroughTheCDInputComponent)
{
    // Track 2 runs from 1:58:50 to 5:02:10.
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:8900", "--track", "audio:13760",
                                                   "--track", "audio:225", "--title", "1:Eins"});
    SetDiscImages({cue});
    QString discId, title2;
    {
        auto form = Open();
        ASSERT_NE(form->CDHandle(), 0u);
        EXPECT_EQ(Rows(*form)[1].length, QStringLiteral("03:04"));   // minutes and seconds of the MSF addresses
        discId = form->DiscId();
        title2 = Rows(*form)[1].title;
        form->close();
    }
    SetCDInputOnly(true);
    auto form = Open();
    EXPECT_EQ(form->CDHandle(), 0u);
    EXPECT_EQ(Hints, 0);
    const QVector<Row> rows = Rows(*form);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].title, QStringLiteral("Eins"));
    EXPECT_EQ(rows[1].title, title2);
    EXPECT_EQ(rows[1].length, QStringLiteral("03:03"));
    EXPECT_TRUE(rows[2].checked);
    EXPECT_EQ(form->StatusText(), QStringLiteral("VarnelCD Disc image"));
    EXPECT_EQ(form->SavedStatus(), form->StatusText());
    EXPECT_EQ(form->DiscId(), discId);

    // A title edited in the list is saved under the same disc at closing.
    form->ListView1()->topLevelItem(1)->setText(1, QStringLiteral("Zwei"));
    form->close();
    form.reset();
    SetCDInputOnly(false);
    form = Open();
    EXPECT_EQ(Rows(*form)[1].title, QStringLiteral("Zwei"));
    form->close();

    // Refresh follows the tray: no disc clears the list.
    SetCDInputOnly(true);
    form = Open();
    ASSERT_TRUE(EjectDrive(0));
    form->Refresh();
    EXPECT_EQ(form->ListView1()->topLevelItemCount(), 0);
    ASSERT_TRUE(CloseDriveTray(0));
    form->Refresh();
    EXPECT_EQ(form->ListView1()->topLevelItemCount(), 3);
    form->close();
}

TEST_F(MainFormTest, NoDeviceHintWindow)
{
    TfrmNoDeviceHint hint;
    EXPECT_EQ(hint.objectName(), QStringLiteral("frmNoDeviceHint"));
    EXPECT_EQ(hint.windowTitle(), ApplicationTitle());
    QStringList texts;
    for (const QLabel* label : hint.findChildren<QLabel*>())
        texts << label->text();
    for (const QString& line : {NoDeviceHint::Heading(), NoDeviceHint::Cause2(), NoDeviceHint::Cause3()})
        EXPECT_TRUE(texts.contains(line)) << line.toStdString();
    EXPECT_EQ(hint.lForceASPI()->text(), QStringLiteral("https://wiki.debian.org/SystemGroups"));
    EXPECT_EQ(hint.lAdaptec()->text(), QStringLiteral("https://wiki.archlinux.org/title/Optical_disc_drive"));
    EXPECT_EQ(hint.lDevices()->text(), NoDeviceHint::DeviceLines().join('\n'));
    EXPECT_FALSE(hint.lDevices()->text().isEmpty());
    EXPECT_EQ(hint.bClose()->text(), QStringLiteral("关闭(&C)"));
    hint.show();
    hint.bClose()->click();
    EXPECT_EQ(hint.result(), QDialog::Accepted);
}

TEST_F(MainFormTest, DataOnlyDiscAndUnreadableImagesNameTheFileAndTheReason)
{
    const QString data = MakeTestDisc(Home.path(), {"--track", "data:600"}, "data");
    QFile junk(Path("junk.cue"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("FILE \"nowhere.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 99:99:99\n\x01\x02garbage\n");
    junk.close();

    const struct {
        QString image, reason;
    } cases[] = {{data, QStringLiteral("没有音轨")},
                 {Path("junk.cue"), QStringLiteral("找不到 CUE 文件所指的数据文件")},
                 {Path("missing.cue"), QStringLiteral("文件不存在")}};
    for (const auto& c : cases) {
        SetDiscImages({c.image});
        auto form = Open();
        EXPECT_EQ(form->ListView1()->topLevelItemCount(), 0) << c.image.toStdString();
        EXPECT_TRUE(form->NoDisc());
        EXPECT_EQ(form->StatusText(), QStringLiteral("无法读取光盘映像 %1：%2").arg(c.image, c.reason));
        form->close();
    }
}

TEST_F(MainFormTest, DriveIndexOutOfRangeUsesTheFirstDrive)
{
    const QString first = MakeDisc("first");
    const QString second = MakeTestDisc(Home.path(), {"--track", "audio:750"}, "second");
    SetDiscImages({first, second});
    for (int index : {5, -1, 2}) {
        OptionsSetting = TOptionsSetting{};
        QFile::remove(OptionsFileName());
        {
            QFile f(OptionsFileName());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QString("[CDOptions]\nIndex=%1\n").arg(index).toUtf8());
        }
        auto form = Open();
        EXPECT_EQ(form->ListView1()->topLevelItemCount(), 3) << index;
        form->close();
    }
    QFile f(OptionsFileName());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[CDOptions]\nIndex=1\n");
    f.close();
    auto form = Open();
    EXPECT_EQ(form->ListView1()->topLevelItemCount(), 1);
    form->close();
}

TEST_F(MainFormTest, TitlesComeBackOnTheNextStart)
{
    SetDiscImages({MakeDisc("disc")});
    {
        auto form = Open();
        ASSERT_EQ(form->ListView1()->topLevelItemCount(), 3);
        form->ListView1()->topLevelItem(1)->setText(1, QStringLiteral("第二首 Second"));
        OptionsSetting.CDInfo.Artist = "Someone";
        form->close();
    }
    EXPECT_TRUE(QFile::exists(OptionsFileName()));
    EXPECT_TRUE(QFile::exists(CDInfoFileName()));

    OptionsSetting = TOptionsSetting{};
    auto form = Open();
    const QVector<Row> rows = Rows(*form);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].title, QStringLiteral("音轨 01"));
    EXPECT_EQ(rows[1].title, QStringLiteral("第二首 Second"));
    EXPECT_EQ(OptionsSetting.CDInfo.Artist, "Someone");
    EXPECT_EQ(OptionsSetting.CDInfo.TrackNumber, 3);
    form->close();
}

TEST_F(MainFormTest, CDTextTitlesUntilTheCacheKnowsTheDisc)
{
    SetDiscImages({MakeDisc("text", {"--disc-title", "Album", "--disc-performer", "Band", "--title",
                                     "1:Opening", "--title", QStringLiteral("2:中文标题")})});
    {
        auto form = Open();
        const QVector<Row> rows = Rows(*form);
        ASSERT_EQ(rows.size(), 3);
        EXPECT_EQ(rows[0].title, "Opening");
        EXPECT_EQ(rows[1].title, QStringLiteral("中文标题"));
        EXPECT_FALSE(rows[2].title.isEmpty());
        EXPECT_EQ(OptionsSetting.CDInfo.Album, "Album");
        EXPECT_EQ(OptionsSetting.CDInfo.Artist, "Band");
        form->ListView1()->topLevelItem(0)->setText(1, "Edited");
        form->close();
    }
    // Once the disc has a section of its own, the cache wins over the CD-Text.
    OptionsSetting = TOptionsSetting{};
    auto form = Open();
    EXPECT_EQ(Rows(*form)[0].title, "Edited");
    EXPECT_EQ(Rows(*form)[1].title, QStringLiteral("中文标题"));
    form->close();
}

TEST_F(MainFormTest, FollowsDiscChanges)
{
    const QString cue = MakeDisc("later");
    const QString moved = Path("aside.cue");
    ASSERT_TRUE(QFile::rename(cue, moved));
    SetDiscImages({cue});
    auto form = Open();
    EXPECT_EQ(form->ListView1()->topLevelItemCount(), 0);
    EXPECT_NE(form->CDHandle(), 0u);

    // The disc arrives: the list fills.
    ASSERT_TRUE(QFile::rename(moved, cue));
    form->DiscWatcher()->Poll();
    EXPECT_EQ(form->ListView1()->topLevelItemCount(), 3);
    EXPECT_EQ(form->StatusText(), form->DriveText());

    // It goes away: the list empties and the status line no longer names the drive.
    ASSERT_TRUE(QFile::rename(cue, moved));
    form->DiscWatcher()->Poll();
    EXPECT_EQ(form->ListView1()->topLevelItemCount(), 0);
    EXPECT_EQ(form->StatusText(), QStringLiteral("无法读取光盘映像 %1：文件不存在").arg(cue));
    EXPECT_TRUE(form->NoDisc());
    form->close();
}

TEST_F(MainFormTest, SelectionCommandsAndCommandsNotYetAvailable)
{
    SetDiscImages({MakeDisc("disc")});
    auto form = Open();
    form->Action("ActionNoSelect")->trigger();
    for (const Row& r : Rows(*form))
        EXPECT_FALSE(r.checked);
    form->Action("ActionSelectAll")->trigger();
    for (const Row& r : Rows(*form))
        EXPECT_TRUE(r.checked);

    // Every command is present with its caption, hint and shortcut.
    QAction* extract = form->Action("ActionExtract");
    ASSERT_NE(extract, nullptr);
    EXPECT_EQ(extract->text(), QStringLiteral("抓轨(&X)"));
    EXPECT_EQ(extract->statusTip(), QStringLiteral("抓取选中的音轨"));
    EXPECT_EQ(extract->shortcut(), QKeySequence("Ctrl+X"));
    // Extract can be chosen while a row is ticked, as its menu entry.
    EXPECT_TRUE(extract->isEnabled());
    EXPECT_EQ(form->Action("miActionExtract")->text(), QStringLiteral("抓轨(&X)"));
    EXPECT_TRUE(form->Action("miActionExtract")->isEnabled());
    form->Action("ActionNoSelect")->trigger();
    EXPECT_FALSE(form->Action("miActionExtract")->isEnabled());
    EXPECT_EQ(form->Action("EjectMenu")->shortcut(), QKeySequence("Ctrl+E"));
    EXPECT_EQ(form->Action("aEditTrackName")->shortcut(), QKeySequence("F2"));
    const QList<QAction*> menus = form->menuBar()->actions();
    ASSERT_EQ(menus.size(), 4);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("文件(&F)"));
    EXPECT_EQ(menus[3]->text(), QStringLiteral("帮助(&H)"));
    form->close();
}

TEST_F(MainFormTest, SettingsAreWrittenAtClosing)
{
    auto form = Open();
    OptionsSetting.Mp3Options.BitRate = 192;
    form->close();
    OptionsSetting = TOptionsSetting{};
    LoadOptions();
    EXPECT_EQ(OptionsSetting.Mp3Options.BitRate, 192);
}

TEST_F(MainFormTest, CtrlClickTogglesARowAndAPlainClickDoesNot)
{
    SetDiscImages({MakeDisc("disc")});
    auto form = Open();
    QTreeWidget* list = form->ListView1();
    ASSERT_EQ(list->topLevelItemCount(), 3);
    QTreeWidgetItem* row = list->topLevelItem(1);
    // Click on the title column, away from the check box.
    const QPoint title = list->visualItemRect(row).topLeft() + QPoint(list->columnWidth(0) + 20, 4);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, title);
    EXPECT_EQ(row->checkState(0), Qt::Checked);
    EXPECT_EQ(list->currentItem(), row);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, title);
    EXPECT_EQ(row->checkState(0), Qt::Unchecked);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, title);
    EXPECT_EQ(row->checkState(0), Qt::Checked);
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
    form->close();
}

TEST_F(MainFormTest, ActivationRepeatsTheNoDiscText)
{
    SetDiscImages({MakeTestDisc(Home.path(), {"--track", "data:300"}, "data")});
    auto form = Open();
    ASSERT_TRUE(form->NoDisc());
    form->SetStatusText("something else");
    QEvent activation(QEvent::ActivationChange);
    form->activateWindow();
    QApplication::setActiveWindow(form.get());
    QApplication::sendEvent(form.get(), &activation);
    ASSERT_TRUE(form->isActiveWindow());
    EXPECT_EQ(form->StatusText(), QStringLiteral("无法读取光盘映像 %1：没有音轨").arg(Path("data.cue")));
    // Once a disc is listed, the window no longer asks for one.
    const QString cue = MakeDisc("audio");
    SetDiscImages({cue});
    form->SelectDrive(0);
    form->Refresh();
    EXPECT_FALSE(form->NoDisc());
    QApplication::sendEvent(form.get(), &activation);
    EXPECT_EQ(form->StatusText(), form->DriveText());
    form->close();
}

TEST_F(MainFormTest, StatusTextsComeFromTheLanguageFile)
{
    // A language of this test's own, beside the test program.
    const QString language = QString("MainFormTest%1").arg(QCoreApplication::applicationPid());
    const QString file = ProgramFolder() + "CLan_" + language + ".ini";
    ASSERT_TRUE(WriteAll(file, "[ResourceString]\nRES_NotFound_CDRom=No drive here\n"
                               "RES_Image_Error=Cannot read %1: %2\nRES_Image_NoAudio=no audio\n"));
    {
        QFile options(OptionsFileName());
        QDir().mkpath(QFileInfo(OptionsFileName()).path());
        ASSERT_TRUE(options.open(QIODevice::WriteOnly));
        options.write(("[Options]\nLan=" + language + "\n").toUtf8());
    }
    {
        auto form = Open();
        EXPECT_EQ(form->StatusText(), "No drive here");
        form->close();
    }
    const QString data = MakeTestDisc(Home.path(), {"--track", "data:300"}, "data");
    SetDiscImages({data});
    {
        auto form = Open();
        EXPECT_EQ(form->StatusText(), "Cannot read " + data + ": no audio");
        form->close();
    }
    QFile::remove(file);
}

TEST_F(MainFormTest, TitleIsExactlyTheCaption)
{
    SetUpApplicationNames();
    auto form = Open();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("VarnelCD音频转换 2.0"));
    // Without a display name of its own the platform appends nothing to any window title
    // (dialogs included); the display name falls back to the application name.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
    form->close();
}

TEST_F(MainFormTest, ToolBarButtonsHaveIconsOfTheirOwnAtOneSize)
{
    auto form = Open();
    QList<QImage> images;
    for (int n = 1; n <= 7; ++n) {
        auto* button = form->findChild<QToolButton*>(QString("ToolButton%1").arg(n));
        ASSERT_NE(button, nullptr) << n;
        EXPECT_FALSE(button->icon().isNull()) << n;
        EXPECT_EQ(button->iconSize(), QSize(24, 24)) << n;
        const QImage image = button->icon().pixmap(QSize(24, 24)).toImage();
        EXPECT_FALSE(images.contains(image)) << "button " << n << " repeats an icon";
        images << image;
    }
    form->close();
}

TEST_F(MainFormTest, CloseSavesUnderTheListedDiscNotTheOneInTheDriveNow)
{
    const QString a = MakeDisc("a");
    const QString b = MakeTestDisc(Home.path(), {"--track", "audio:750", "--track", "audio:1500"}, "b");
    auto idOf = [](const QString& cue) {
        SetDiscImages({cue});
        TDiscSession session;
        session.SelectDrive(0);
        return session.DiscId();
    };
    const QString idA = idOf(a), idB = idOf(b);
    ASSERT_FALSE(idA.isEmpty());
    ASSERT_NE(idA, idB);
    SetDiscImages({a});
    auto form = Open();
    ASSERT_EQ(form->ListView1()->topLevelItemCount(), 3);
    form->ListView1()->topLevelItem(2)->setText(1, "Third of A");
    // Another disc is in the drive before the window notices.
    ASSERT_TRUE(QFile::remove(QFileInfo(a).path() + "/a.bin") && QFile::remove(a));
    ASSERT_TRUE(QFile::copy(QFileInfo(b).path() + "/b.bin", QFileInfo(a).path() + "/a.bin"));
    ASSERT_TRUE(QFile::copy(b, a));
    form->close();
    const TIniFile cache(CDInfoFileName());
    EXPECT_EQ(cache.ReadString(idA, "3", ""), "Third of A");
    EXPECT_FALSE(cache.SectionExists(idB));
}

TEST_F(MainFormTest, TitlesOfADiscStartingAtTrackThreeComeBack)
{
    // CD-Text titles on a disc whose first track is 3.
    const QString made = MakeDisc("raw");
    QByteArray sheet = ReadAll(made);
    sheet.replace("raw.bin", "three.bin").replace("TRACK 01", "TRACK 05").replace("TRACK 02", "TRACK 04");
    sheet.replace("TRACK 03", "TRACK 06").replace("TRACK 05", "TRACK 03").replace("TRACK 06", "TRACK 05");
    sheet.replace("REM COMMENT", "TITLE \"Album\"\nREM COMMENT");
    int n = 3;
    for (qsizetype at = sheet.indexOf("AUDIO\n"); at >= 0; at = sheet.indexOf("AUDIO\n", at + 1))
        sheet.insert(at + 6, QByteArray("    TITLE \"Song ") + QByteArray::number(n++) + "\"\n");
    ASSERT_TRUE(QFile::rename(Path("raw.bin"), Path("three.bin")));
    ASSERT_TRUE(WriteAll(Path("three.cue"), sheet));
    SetDiscImages({Path("three.cue")});
    {
        auto form = Open();
        const QVector<Row> rows = Rows(*form);
        ASSERT_EQ(rows.size(), 3);
        EXPECT_EQ(rows[0].number, "3");
        EXPECT_EQ(rows[0].title, "Song 3");
        EXPECT_EQ(rows[2].title, "Song 5");
        form->ListView1()->topLevelItem(1)->setText(1, "Edited 4");
        form->close();
    }
    OptionsSetting = TOptionsSetting{};
    auto form = Open();
    const QVector<Row> rows = Rows(*form);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].title, "Song 3");
    EXPECT_EQ(rows[1].title, "Edited 4");
    EXPECT_EQ(rows[2].title, "Song 5");
    EXPECT_EQ(OptionsSetting.CDInfo.TrackNumber, 5);
    form->close();
}
