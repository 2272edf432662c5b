// The options window, offscreen: what it shows for a record, what OK stores (and refuses),
// Cancel, the enabling rules, the drive list of its CD-ROM page, the change to another
// drive, its texts from language files, and the options command of the main window.
#include "AppTestHome.h"
#include "windows/MainForm.h"
#include "windows/OptionSetForm.h"
#include "app/core/DiscWatcher.h"
#include "cd/CDInput.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestDisc.h"
#include "settings/CDInfo.h"
#include "settings/Global.h"
#include "settings/IniFile.h"
#include "settings/Options.h"
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStringEncoder>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <tuple>
#include <memory>

namespace {

// A prompter that also notes where the folder browser was opened.
class FolderPrompter : public TCannedPrompter {
public:
    QStringList StartFolders;
    QString AskFolder(const QString& caption, const QString& folder) override
    {
        StartFolders.append(folder);
        return TCannedPrompter::AskFolder(caption, folder);
    }
};

class OptionSetTest : public AppTestHome {
protected:
    void SetUp() override
    {
        AppTestHome::SetUp();
        OptionsSetting.CommonOptions.OutputFolder = WithBackslash(Home.path());
    }

    std::unique_ptr<TOptionSetForm> Open(TOptionSetHost host = {})
    {
        auto form = std::make_unique<TOptionSetForm>(Prompter, std::move(host));
        form->show();
        return form;
    }
    template <typename W>
    static W* Get(QWidget* form, const char* name)
    {
        W* w = form->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void Ok(QWidget* form) { Get<QPushButton>(form, "btOk")->click(); }
    static void ShowPage(QWidget* form, const char* page)
    {
        auto* tabs = Get<QTabWidget>(form, "PageControl1");
        tabs->setCurrentWidget(Get<QWidget>(form, page));
    }
    // The whole record as the settings file has it, plus the disc fields.
    static QByteArray Snapshot()
    {
        SaveOptions();
        const TCDInfo& i = OptionsSetting.CDInfo;
        return ReadAll(OptionsFileName()) + (i.Artist + "|" + i.Album + "|" + i.Year + "|" +
                                             QString::number(i.Genre) + "|" + i.Comment).toUtf8();
    }

    FolderPrompter Prompter;
};

} // namespace

TEST_F(OptionSetTest, PagesInOrderAndListsFromTheTables)
{
    auto form = Open();
    EXPECT_EQ(form->objectName(), "OptionSetForm");
    auto* tabs = Get<QTabWidget>(form.get(), "PageControl1");
    const char* pages[] = {"TabSheet1", "TabSheet2", "TabSheet5", "TabSheet6", "TabSheetFlac",
                           "TabSheet4", "TabSheet3", "TabSheetOpus", "TabSheetAac"};
    ASSERT_EQ(tabs->count(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(tabs->widget(i)->objectName(), pages[i]);
    EXPECT_EQ(tabs->currentIndex(), 0);
    auto* bitRate = Get<QComboBox>(form.get(), "cbBitRate");
    ASSERT_EQ(bitRate->count(), 14);
    EXPECT_EQ(bitRate->itemText(0), " 32 kbit/s");
    EXPECT_EQ(bitRate->itemText(13), "320 kbit/s");
    EXPECT_EQ(Get<QComboBox>(form.get(), "cbOggMinBit")->count(), 15);
    EXPECT_EQ(Get<QComboBox>(form.get(), "cbWMABitrate")->itemText(32), QStringLiteral(" 8.000 kHz,   5 kbit/s, 单声道"));
    auto* genre = Get<QComboBox>(form.get(), "ID3genre");
    ASSERT_EQ(genre->count(), GENRE_COUNT + 1);
    EXPECT_EQ(genre->itemText(0), "");
    EXPECT_EQ(genre->itemText(1), GenreNames[0]);
    EXPECT_FALSE(Get<QCheckBox>(form.get(), "ckbCDDb")->isVisible());
    EXPECT_EQ(Get<QComboBox>(form.get(), "cbOutputFormat")->itemText(4), "FLAC file(*.FLAC)");
    auto* level = Get<QSlider>(form.get(), "tbFlacLevel");
    EXPECT_EQ(level->minimum(), 0);
    EXPECT_EQ(level->maximum(), 8);
}

TEST_F(OptionSetTest, EveryFieldRoundTripsThroughWindowFileAndNextStart)
{
    const QString music = Path("music");
    ASSERT_TRUE(QDir().mkpath(music));
    // A settings file with keys and a section the program does not know.
    ASSERT_TRUE(WriteAll(OptionsFileName(), "; mine\n[CommonOptions]\nFavourite=yes\n[Elsewhere]\nKey=kept\n"));
    LoadOptions();
    {
        auto form = Open();
        QWidget* f = form.get();
        Get<QLineEdit>(f, "editOutputDir")->setText(music);
        Get<QComboBox>(f, "cbOutputFormat")->setCurrentIndex(2);
        Get<QCheckBox>(f, "ckbKeepWav")->setChecked(false);
        Get<QCheckBox>(f, "ckNormalize")->setChecked(true);
        Get<QSpinBox>(f, "SpinEdit1")->setValue(80);
        Get<QCheckBox>(f, "cbRipTime")->setChecked(true);
        Get<QLineEdit>(f, "eRipTime")->setText(" 30 ");
        Get<QCheckBox>(f, "ckbSelectVBR")->setChecked(true);
        Get<QCheckBox>(f, "ckbVBRHead")->setChecked(true);
        Get<QComboBox>(f, "cbBitRate")->setCurrentIndex(10);
        Get<QComboBox>(f, "cbMaxBitRate")->setCurrentIndex(12);
        Get<QComboBox>(f, "cbVBRQuality")->setCurrentIndex(2);
        Get<QComboBox>(f, "cbMpegQuality")->setCurrentIndex(2);
        Get<QComboBox>(f, "cbStereoMode")->setCurrentIndex(4);
        Get<QCheckBox>(f, "cbUseCompress")->setChecked(false);
        Get<QSlider>(f, "tbCompression")->setValue(77);
        Get<QComboBox>(f, "cbOggNomBit")->setCurrentIndex(11);
        Get<QComboBox>(f, "cbOggMaxBit")->setCurrentIndex(14);
        Get<QComboBox>(f, "cbOggMinBit")->setCurrentIndex(1);
        Get<QComboBox>(f, "cbWMABitrate")->setCurrentIndex(3);
        Get<QSlider>(f, "tbFlacLevel")->setValue(8);
        Get<QCheckBox>(f, "ckbFlacCuesheet")->setChecked(true);
        Get<QCheckBox>(f, "ckbExtraFormat_opus")->setChecked(true);
        Get<QCheckBox>(f, "ckbExtraFormat_mp3")->setChecked(true);
        Get<QCheckBox>(f, "cbUseID3")->setChecked(true);
        Get<QLineEdit>(f, "ID3artist")->setText(QStringLiteral("歌手"));
        Get<QLineEdit>(f, "ID3album")->setText("Album");
        Get<QLineEdit>(f, "ID3year")->setText("1999");
        Get<QComboBox>(f, "ID3genre")->setCurrentIndex(1);   // the first genre name
        Get<QLineEdit>(f, "ID3comment")->setText("Note");
        Ok(f);
        EXPECT_FALSE(form->isVisible());
    }
    const TOptionsSetting& o = OptionsSetting;
    EXPECT_EQ(o.CommonOptions.OutputFolder, music + "/");
    EXPECT_EQ(o.CommonOptions.OutputFormat, 2);
    EXPECT_TRUE(o.CommonOptions.IsKeepWav);
    EXPECT_TRUE(o.CommonOptions.IsNormalize);
    EXPECT_EQ(o.CommonOptions.NormalizePercent, 80);
    EXPECT_TRUE(o.CommonOptions.EnableRipTime);
    EXPECT_EQ(o.CommonOptions.RipTime, 30);
    EXPECT_EQ(o.CommonOptions.ExtraFormats, "mp3,opus");
    EXPECT_TRUE(o.Mp3Options.IsSelectVBR);
    EXPECT_TRUE(o.Mp3Options.IsVBRHead);
    EXPECT_EQ(o.Mp3Options.BitRate, 192);
    EXPECT_EQ(o.Mp3Options.MaxBitRate, 256);
    EXPECT_EQ(o.Mp3Options.VBRQuality, 2);
    EXPECT_EQ(o.Mp3Options.MpegQuality, 2);
    EXPECT_EQ(o.Mp3Options.StereoMode, 4);
    EXPECT_FALSE(o.OggOptions.IsUseCompress);
    EXPECT_EQ(o.OggOptions.CompressPosition, 77);
    EXPECT_EQ(o.OggOptions.NomalBitRate, 11);
    EXPECT_EQ(o.OggOptions.MaxBitRate, 14);
    EXPECT_EQ(o.OggOptions.MinBitRate, 1);
    EXPECT_EQ(o.WMAOptions.BitRate, 3);
    EXPECT_EQ(o.FlacOptions.Level, 8);
    EXPECT_TRUE(o.FlacOptions.Cuesheet);
    EXPECT_TRUE(o.ID3Use);
    EXPECT_EQ(o.CDInfo.Artist, QStringLiteral("歌手"));
    EXPECT_EQ(o.CDInfo.Album, "Album");
    EXPECT_EQ(o.CDInfo.Year, "1999");
    EXPECT_EQ(o.CDInfo.Genre, 0);
    EXPECT_EQ(o.CDInfo.Comment, "Note");
    // The drive list was never shown: the drive choice stays.
    EXPECT_EQ(o.CDOptions.Index, -1);

    // Written at closing, read at the next start: the window shows it all again, and the
    // file keeps what the program does not know.
    ASSERT_TRUE(SaveOptions());
    const QByteArray file = ReadAll(OptionsFileName());
    EXPECT_TRUE(file.startsWith("; mine\n[CommonOptions]\nFavourite=yes\n")) << file.constData();
    EXPECT_TRUE(file.contains("[Elsewhere]\nKey=kept\n"));
    const TCDInfo disc = OptionsSetting.CDInfo;
    OptionsSetting = TOptionsSetting{};
    LoadOptions();
    OptionsSetting.CDInfo = disc;
    const QByteArray before = Snapshot();
    auto form = Open();
    QWidget* f = form.get();
    EXPECT_EQ(Get<QLineEdit>(f, "editOutputDir")->text(), music + "/");
    EXPECT_EQ(Get<QComboBox>(f, "cbOutputFormat")->currentIndex(), 2);
    EXPECT_FALSE(Get<QCheckBox>(f, "ckbKeepWav")->isChecked());
    EXPECT_EQ(Get<QSpinBox>(f, "SpinEdit1")->value(), 80);
    EXPECT_EQ(Get<QLineEdit>(f, "eRipTime")->text(), "30");
    EXPECT_EQ(Get<QComboBox>(f, "cbBitRate")->currentText(), "192 kbit/s");
    EXPECT_EQ(Get<QComboBox>(f, "cbMaxBitRate")->currentText(), "256 kbit/s");
    EXPECT_EQ(Get<QComboBox>(f, "cbStereoMode")->currentIndex(), 4);
    EXPECT_EQ(Get<QSlider>(f, "tbCompression")->value(), 77);
    EXPECT_EQ(Get<QComboBox>(f, "cbOggNomBit")->currentIndex(), 11);
    EXPECT_EQ(Get<QComboBox>(f, "cbWMABitrate")->currentIndex(), 3);
    EXPECT_EQ(Get<QSlider>(f, "tbFlacLevel")->value(), 8);
    EXPECT_TRUE(Get<QCheckBox>(f, "ckbFlacCuesheet")->isChecked());
    EXPECT_EQ(Get<QComboBox>(f, "ID3genre")->currentIndex(), 1);
    EXPECT_EQ(Get<QLineEdit>(f, "ID3year")->text(), "1999");
    // OK with nothing changed stores the same record.
    Ok(f);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(OptionSetTest, StoredValuesOutsideTheControlsShowAndStoreTheDefault)
{
    // Garbled and out-of-range values in the settings file.
    ASSERT_TRUE(WriteAll(OptionsFileName(),
                         "[CommonOptions]\nOutputFormat=8\nNormalizePercent=150\nRipTime=-5\nIsKeepWav=yes\n"
                         "[Mp3Options]\nBitRate=100\nMaxBitRate=abc\nVBRQuality=12\nStereoMode=-1\n"
                         "[OggOptions]\nNomalBitRate=20\nCompressPosition=5\n[WMAOptions]\nBitRate=40\n"
                         "[FlacOptions]\nLevel=x\n"));
    LoadOptions();
    OptionsSetting.CommonOptions.OutputFolder = WithBackslash(Home.path());
    OptionsSetting.CDInfo.Genre = 200;
    auto form = Open();
    QWidget* f = form.get();
    EXPECT_EQ(Get<QComboBox>(f, "cbOutputFormat")->currentIndex(), 0);
    EXPECT_EQ(Get<QSpinBox>(f, "SpinEdit1")->value(), 100);
    EXPECT_EQ(Get<QLineEdit>(f, "eRipTime")->text(), "0");
    EXPECT_EQ(Get<QComboBox>(f, "cbBitRate")->currentText(), " 96 kbit/s");   // what lame plays for 100
    EXPECT_EQ(Get<QComboBox>(f, "cbMaxBitRate")->currentText(), "320 kbit/s");
    EXPECT_EQ(Get<QComboBox>(f, "cbVBRQuality")->currentIndex(), 4);
    EXPECT_EQ(Get<QComboBox>(f, "cbStereoMode")->currentIndex(), 1);
    EXPECT_EQ(Get<QComboBox>(f, "cbOggNomBit")->currentIndex(), 0);
    EXPECT_EQ(Get<QSlider>(f, "tbCompression")->value(), 30);
    EXPECT_EQ(Get<QComboBox>(f, "cbWMABitrate")->currentIndex(), 8);
    EXPECT_EQ(Get<QComboBox>(f, "ID3genre")->currentIndex(), 0);
    EXPECT_EQ(Get<QSlider>(f, "tbFlacLevel")->value(), 5);
    Ok(f);
    EXPECT_TRUE(Prompter.Log.isEmpty());
    const TOptionsSetting& o = OptionsSetting;
    EXPECT_EQ(o.CommonOptions.OutputFormat, 0);
    EXPECT_EQ(o.CommonOptions.NormalizePercent, 100);
    EXPECT_EQ(o.CommonOptions.RipTime, 0);
    EXPECT_EQ(o.Mp3Options.BitRate, 96);
    EXPECT_EQ(o.Mp3Options.MaxBitRate, 320);
    EXPECT_EQ(o.Mp3Options.VBRQuality, 4);
    EXPECT_EQ(o.OggOptions.NomalBitRate, 0);
    EXPECT_EQ(o.WMAOptions.BitRate, 8);
    EXPECT_EQ(o.CDInfo.Genre, -1);
}

TEST_F(OptionSetTest, SongLengthMustBeAWholeNumber)
{
    const struct {
        const char* text;
        bool ok;
        int32_t seconds;
    } cases[] = {{"30", true, 30},          {" 30 ", true, 30},      {"0", true, 0},
                 {"2147483647", true, 2147483647},                    {"abc", false, 0},
                 {"-5", false, 0},          {"-100", false, 0},      {"", false, 0},
                 {"99999999999", false, 0}, {"2147483648", false, 0}, {"3 0", false, 0},
                 {"+5", false, 0}};
    for (const auto& c : cases) {
        OptionsSetting.CommonOptions.RipTime = 7;
        Prompter.Log.clear();
        auto form = Open();
        Get<QLineEdit>(form.get(), "eRipTime")->setText(c.text);
        Ok(form.get());
        EXPECT_EQ(form->isVisible(), !c.ok) << c.text;
        EXPECT_EQ(OptionsSetting.CommonOptions.RipTime, c.ok ? c.seconds : 7) << c.text;
        if (!c.ok) {
            EXPECT_EQ(Prompter.Texts("error"), QStringList{"请检查要抓取的歌曲长度。"}) << c.text;
        }
    }
}

TEST_F(OptionSetTest, OutputFolderIsCheckedStoredCleanAndBrowsedFromTheTypedOne)
{
    ASSERT_TRUE(QDir().mkpath(Path("a/b")));
    const struct {
        QString typed;
        QString stored;   // empty: refused
    } cases[] = {{Path("a/./b/../b"), Path("a/b/")},
                 {"~/a", Path("a/")},
                 {"a/b/", Path("a/b/")},
                 {"~", WithBackslash(Home.path())},
                 {Path("missing"), ""},
                 {"", ""}};
    for (const auto& c : cases) {
        Prompter.Log.clear();
        OptionsSetting.CommonOptions.OutputFolder = "/unchanged/";
        OptionsSetting.CommonOptions.IsNormalize = false;
        auto form = Open();
        Get<QLineEdit>(form.get(), "editOutputDir")->setText(c.typed);
        Get<QCheckBox>(form.get(), "ckNormalize")->setChecked(true);
        Ok(form.get());
        if (c.stored.isEmpty()) {
            EXPECT_TRUE(form->isVisible()) << c.typed.toStdString();
            EXPECT_EQ(Prompter.Texts("error"), QStringList{c.typed + ",输出目录不存在。"});
            EXPECT_EQ(OptionsSetting.CommonOptions.OutputFolder, "/unchanged/");
            EXPECT_FALSE(OptionsSetting.CommonOptions.IsNormalize);   // nothing stored
            EXPECT_EQ(form->focusWidget(), form->findChild<QWidget*>("editOutputDir"));
        } else {
            EXPECT_FALSE(form->isVisible()) << c.typed.toStdString();
            EXPECT_EQ(OptionsSetting.CommonOptions.OutputFolder, c.stored);
        }
    }

    // Browsing starts at the typed folder when it exists, else at the home folder; the
    // chosen folder replaces the text; cancelling the browser keeps it.
    auto form = Open();
    auto* edit = Get<QLineEdit>(form.get(), "editOutputDir");
    auto* browse = Get<QPushButton>(form.get(), "btBrowser");
    edit->setText(Path("a/b"));
    Prompter.FileAnswers.push_back({Path("a")});
    browse->click();
    EXPECT_EQ(edit->text(), Path("a"));
    edit->setText(Path("nowhere"));
    browse->click();
    EXPECT_EQ(edit->text(), Path("nowhere"));
    EXPECT_EQ(Prompter.StartFolders, (QStringList{Path("a/b/"), QDir::homePath()}));
    EXPECT_EQ(Prompter.Texts("folder").value(0), QStringLiteral("请选择保存MP3和WAV文件的目录："));
}

TEST_F(OptionSetTest, EnablingRulesFollowLoadedValuesAndTicks)
{
    for (bool on : {false, true}) {
        OptionsSetting.CommonOptions.IsNormalize = on;
        OptionsSetting.CommonOptions.EnableRipTime = on;
        OptionsSetting.Mp3Options.IsSelectVBR = on;
        OptionsSetting.CommonOptions.OutputFormat = on ? 1 : 0;   // WAV: nothing to delete
        auto form = Open();
        QWidget* f = form.get();
        EXPECT_EQ(Get<QWidget>(f, "SpinEdit1")->isEnabled(), on);
        EXPECT_EQ(Get<QWidget>(f, "eRipTime")->isEnabled(), on);
        for (const char* name : {"ckbVBRHead", "cbMaxBitRate", "cbVBRQuality"})
            EXPECT_EQ(Get<QWidget>(f, name)->isEnabled(), on) << name;
        EXPECT_EQ(Get<QWidget>(f, "ckbKeepWav")->isEnabled(), !on);
        // Clicking flips them back.
        for (const char* name : {"ckNormalize", "cbRipTime", "ckbSelectVBR"})
            Get<QCheckBox>(f, name)->click();
        Get<QComboBox>(f, "cbOutputFormat")->setCurrentIndex(on ? 3 : 1);
        EXPECT_EQ(Get<QWidget>(f, "SpinEdit1")->isEnabled(), !on);
        EXPECT_EQ(Get<QWidget>(f, "eRipTime")->isEnabled(), !on);
        EXPECT_EQ(Get<QWidget>(f, "cbMaxBitRate")->isEnabled(), !on);
        EXPECT_EQ(Get<QWidget>(f, "ckbKeepWav")->isEnabled(), on);
    }
}

TEST_F(OptionSetTest, DefaultButtonsThenOk)
{
    OptionsSetting.Mp3Options = {true, true, 32, 64, 2, 9, 4};
    OptionsSetting.WMAOptions.BitRate = 30;
    auto form = Open();
    Get<QPushButton>(form.get(), "bDefault")->click();
    Get<QPushButton>(form.get(), "bWMADefault")->click();
    EXPECT_FALSE(Get<QWidget>(form.get(), "cbMaxBitRate")->isEnabled());
    Ok(form.get());
    const TMp3Options& m = OptionsSetting.Mp3Options;
    EXPECT_FALSE(m.IsSelectVBR);
    EXPECT_FALSE(m.IsVBRHead);
    EXPECT_EQ(m.BitRate, 128);
    EXPECT_EQ(m.MaxBitRate, 320);
    EXPECT_EQ(m.VBRQuality, 4);
    EXPECT_EQ(m.MpegQuality, 0);
    EXPECT_EQ(m.StereoMode, 1);
    EXPECT_EQ(OptionsSetting.WMAOptions.BitRate, 8);
}

TEST_F(OptionSetTest, CancelChangesNothing)
{
    OptionsSetting.CDInfo.Artist = "Kept";
    const QByteArray before = Snapshot();
    auto form = Open();
    Get<QComboBox>(form.get(), "cbOutputFormat")->setCurrentIndex(3);
    Get<QLineEdit>(form.get(), "ID3artist")->setText("Other");
    Get<QPushButton>(form.get(), "bDefault")->click();
    Get<QPushButton>(form.get(), "btCancel")->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(OptionSetTest, LongTagTextsShowWholeAndLimitsApplyToTyping)
{
    const QString artist(40, QChar('A'));
    OptionsSetting.CDInfo.Artist = artist;
    OptionsSetting.CDInfo.Year = "19999";
    auto form = Open();
    auto* edit = Get<QLineEdit>(form.get(), "ID3artist");
    EXPECT_EQ(edit->text(), artist);
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, "B");              // cannot grow past what it held
    EXPECT_EQ(edit->text(), artist);
    auto* album = Get<QLineEdit>(form.get(), "ID3album");
    QTest::keyClicks(album, QString(35, QChar('x')));
    EXPECT_EQ(album->text().size(), 30);
    Ok(form.get());
    EXPECT_EQ(OptionsSetting.CDInfo.Artist, artist);
    EXPECT_EQ(OptionsSetting.CDInfo.Year, "19999");
    EXPECT_EQ(OptionsSetting.CDInfo.Album, QString(30, QChar('x')));
}

TEST_F(OptionSetTest, LanguageFileRenamesTabComboItemAndLabel)
{
    const QString language = QString("OptionSetTest%1").arg(QCoreApplication::applicationPid());
    const QString file = ProgramFolder() + "CLan_" + language + ".ini";
    // Made for the six pages the window had first: pages added since do not shift their keys.
    const QString text = QStringLiteral("[OptionSetForm]\nOptionSetForm=选项\nPageControl1_Page1=MP3 编码\n"
                                        "PageControl1_Page4=标签页\nPageControl1_Page5=光驱页\n"
                                        "cbOutputFormat_Item1=WAV 文件\nlbFormat=格式：\n");
    QStringEncoder gbk("GBK");
    for (const QByteArray& bytes : {text.toUtf8(), QByteArray(gbk.encode(text))}) {
        ASSERT_TRUE(WriteAll(file, bytes));
        auto form = std::make_unique<TOptionSetForm>(Prompter, TOptionSetHost{});
        form->SetLanguageName(language);
        form->show();
        EXPECT_EQ(form->windowTitle(), QStringLiteral("选项"));
        auto* tabs = Get<QTabWidget>(form.get(), "PageControl1");
        EXPECT_EQ(tabs->tabText(1), QStringLiteral("MP3 编码"));
        EXPECT_EQ(tabs->tabText(tabs->indexOf(Get<QWidget>(form.get(), "TabSheet4"))), QStringLiteral("标签页"));
        EXPECT_EQ(tabs->tabText(tabs->indexOf(Get<QWidget>(form.get(), "TabSheet3"))), QStringLiteral("光驱页"));
        EXPECT_EQ(Get<QComboBox>(form.get(), "cbOutputFormat")->itemText(1), QStringLiteral("WAV 文件"));
        EXPECT_EQ(Get<QLabel>(form.get(), "lbFormat")->text(), QStringLiteral("格式："));
        EXPECT_EQ(Get<QLabel>(form.get(), "lbSecond")->text(), "Second");   // no key: kept
    }
    QFile::remove(file);
}

TEST_F(OptionSetTest, ChineseFileHasATextForEveryCaptionTabAndFixedItem)
{
    const TIniFile ini(QStringLiteral(VARNELCD_SOURCE_DIR) + "/resources/lang/CLan_Chinese.ini");
    const QString section = "OptionSetForm";
    auto form = Open();
    QStringList missing;
    auto need = [&](const QString& key) {
        if (!ini.ValueExists(section, key))
            missing << key;
    };
    need(section);
    for (QWidget* w : form->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        // The tab bar's own scroll buttons are the toolkit's, not the form's.
        if (name.isEmpty() || name.startsWith("qt_") || qobject_cast<QTabBar*>(w->parentWidget()))
            continue;
        if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QGroupBox*>(w))
            need(name);
    }
    for (int i = 0; i < 6; ++i)
        need(QString("PageControl1_Page%1").arg(i));
    for (const char* page : {"Flac", "Opus", "Aac"})
        need(QStringLiteral("PageControl1_Page") + QLatin1String(page));
    for (const char* combo : {"cbOutputFormat", "cbMpegQuality", "cbStereoMode"})
        for (int i = 0; i < Get<QComboBox>(form.get(), combo)->count(); ++i)
            need(QString("%1_Item%2").arg(combo).arg(i));
    EXPECT_TRUE(missing.isEmpty()) << missing.join(' ').toStdString();
}

TEST_F(OptionSetTest, FileNamePatternShowsItsExampleAsTypedAndIsStored)
{
    OptionsSetting.CommonOptions.OutputFormat = 0;
    auto form = Open();
    auto* edit = Get<QLineEdit>(form.get(), "editFileNamePattern");
    auto* example = Get<QGroupBox>(form.get(), "gbFileNamePattern")->findChild<QLabel*>();
    ASSERT_NE(example, nullptr);
    EXPECT_TRUE(example->text().endsWith(QStringLiteral("标题.mp3")) && !example->text().contains('/')) << example->text().toStdString();
    QTest::keyClicks(edit, "%A/%D/%N %T");
    EXPECT_TRUE(example->text().endsWith(QStringLiteral("艺术家/专辑/01 标题.mp3"))) << example->text().toStdString();
    Get<QComboBox>(form.get(), "cbOutputFormat")->setCurrentIndex(2);
    EXPECT_TRUE(example->text().endsWith(QStringLiteral("艺术家/专辑/01 标题.ogg")));
    Ok(form.get());
    EXPECT_EQ(OptionsSetting.CommonOptions.FileNamePattern, "%A/%D/%N %T");
}

// --- with the main window and its drives ----------------------------------------------

class OptionSetDriveTest : public OptionSetTest {
protected:
    void TearDown() override
    {
        SetCDInputOnly(false);
        OptionSetTest::TearDown();
    }
    std::unique_ptr<TMainForm> OpenMain()
    {
        auto main = std::make_unique<TMainForm>();
        main->SetPrompter(std::make_unique<TCannedPrompter>());
        main->SetNoDeviceHint([] {});
        main->show();
        OptionsSetting.CommonOptions.OutputFolder = WithBackslash(Home.path());
        return main;
    }
};

TEST_F(OptionSetDriveTest, CDRomPageListsEachDriveOnceAndNamesImages)
{
    const QString first = MakeTestDisc(Home.path(), {"--track", "audio:750"}, "first");
    const QString second = MakeTestDisc(Home.path(), {"--track", "audio:750", "--track", "audio:300"}, "second");
    SetDiscImages({first, second});
    ASSERT_TRUE(WriteAll(OptionsFileName(), "[CDOptions]\nIndex=1\n"));
    auto main = OpenMain();
    ASSERT_EQ(main->ListView1()->topLevelItemCount(), 2);
    auto form = Open(main->OptionSetHost());
    auto* list = Get<QComboBox>(form.get(), "cbCDList");
    for (int shown = 0; shown < 2; ++shown) {
        ShowPage(form.get(), "TabSheet3");
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->itemText(0), "VarnelCD Disc image (first.cue)");
        EXPECT_EQ(list->itemText(1), "VarnelCD Disc image (second.cue)");
        EXPECT_EQ(list->currentIndex(), 1);
        ShowPage(form.get(), "TabSheet1");
    }
    // The same drive again: nothing is listed anew, and the drive choice stays.
    Ok(form.get());
    EXPECT_EQ(OptionsSetting.CDOptions.Index, 1);
    EXPECT_EQ(main->SavedStatus(), main->StatusText());
    main->close();
}

TEST_F(OptionSetDriveTest, AnotherDriveListsItsDiscAndKeepsTheFieldsTypedForTheFirst)
{
    const QString first = MakeTestDisc(Home.path(), {"--track", "audio:750"}, "first");
    const QString second = MakeTestDisc(Home.path(), {"--track", "audio:750", "--track", "audio:300"}, "second");
    SetDiscImages({first, second});
    auto main = OpenMain();
    ASSERT_EQ(main->ListView1()->topLevelItemCount(), 1);
    main->ListView1()->topLevelItem(0)->setText(1, "First title");
    {
        auto form = Open(main->OptionSetHost());
        Get<QLineEdit>(form.get(), "ID3artist")->setText("First artist");
        ShowPage(form.get(), "TabSheet3");
        Get<QComboBox>(form.get(), "cbCDList")->setCurrentIndex(1);
        Ok(form.get());
    }
    EXPECT_EQ(OptionsSetting.CDOptions.Index, 1);
    EXPECT_EQ(main->ListView1()->topLevelItemCount(), 2);
    EXPECT_EQ(OptionsSetting.CDInfo.Artist, "");   // the second disc's fields
    // Back to the first: what was typed for it comes back from the disc cache.
    {
        auto form = Open(main->OptionSetHost());
        ShowPage(form.get(), "TabSheet3");
        Get<QComboBox>(form.get(), "cbCDList")->setCurrentIndex(0);
        Ok(form.get());
    }
    ASSERT_EQ(main->ListView1()->topLevelItemCount(), 1);
    EXPECT_EQ(main->ListView1()->topLevelItem(0)->text(1), "First title");
    EXPECT_EQ(OptionsSetting.CDInfo.Artist, "First artist");
    main->close();
}

TEST_F(OptionSetDriveTest, WithoutAHandleTheCDInputComponentListsAndReachesTheDrives)
{
    const QString first = MakeTestDisc(Home.path(), {"--track", "audio:750"}, "first");
    const QString second = MakeTestDisc(Home.path(), {"--track", "audio:750", "--track", "audio:300"}, "second");
    SetDiscImages({first, second});
    SetCDInputOnly(true);
    ASSERT_TRUE(WriteAll(OptionsFileName(), "[CDOptions]\nIndex=0\n"));
    auto main = OpenMain();
    ASSERT_EQ(main->CDHandle(), 0u);
    ASSERT_EQ(main->ListView1()->topLevelItemCount(), 1);
    ASSERT_EQ(main->CDIn1()->CurrentDrive(), 0);
    {
        // Listing names every drive and leaves the component on the drive it rips from,
        // so Cancel changes nothing.
        auto form = Open(main->OptionSetHost());
        ShowPage(form.get(), "TabSheet3");
        auto* list = Get<QComboBox>(form.get(), "cbCDList");
        EXPECT_EQ(list->count(), 2);
        EXPECT_EQ(list->itemText(0), "VarnelCD Disc image (first.cue)");
        EXPECT_EQ(list->currentIndex(), 0);
        EXPECT_EQ(main->CDIn1()->CurrentDrive(), 0);
        list->setCurrentIndex(1);
        Get<QPushButton>(form.get(), "btCancel")->click();
    }
    EXPECT_EQ(main->CDIn1()->CurrentDrive(), 0);
    EXPECT_EQ(OptionsSetting.CDOptions.Index, 0);
    {
        auto form = Open(main->OptionSetHost());
        ShowPage(form.get(), "TabSheet3");
        Get<QComboBox>(form.get(), "cbCDList")->setCurrentIndex(1);
        Ok(form.get());
    }
    EXPECT_EQ(main->CDIn1()->CurrentDrive(), 1);
    EXPECT_EQ(main->ListView1()->topLevelItemCount(), 2);
    EXPECT_EQ(OptionsSetting.CDOptions.Index, 1);
    EXPECT_EQ(main->SavedStatus(), main->StatusText());
    main->close();
}

TEST_F(OptionSetDriveTest, ADiscChangeStoresTheListedDiscBeforeListingTheNext)
{
    // The drive's image is swapped for another disc and back, as a user swaps discs.
    const QString a = MakeTestDisc(Home.path(), {"--track", "audio:750"}, "a");
    const QString b = MakeTestDisc(Home.path(), {"--track", "audio:750", "--track", "audio:300"}, "b");
    const QString drive = Path("drive.cue");
    auto insert = [&](const QString& cue) {
        QFile::remove(drive);
        ASSERT_TRUE(QFile::copy(cue, drive));
    };
    insert(a);
    SetDiscImages({drive});
    auto main = OpenMain();
    ASSERT_EQ(main->ListView1()->topLevelItemCount(), 1);
    main->ListView1()->topLevelItem(0)->setText(1, "Typed title");
    OptionsSetting.CDInfo.Artist = "Typed artist";
    for (const QString& cue : {b, a}) {
        insert(cue);
        QFile(drive).setFileTime(QDateTime::currentDateTime().addSecs(cue == b ? 10 : 20),
                                 QFileDevice::FileModificationTime);
        main->Refresh();
        EXPECT_EQ(main->ListView1()->topLevelItemCount(), cue == b ? 2 : 1);
    }
    ASSERT_EQ(main->ListView1()->topLevelItemCount(), 1);
    EXPECT_EQ(main->ListView1()->topLevelItem(0)->text(1), "Typed title");
    EXPECT_EQ(OptionsSetting.CDInfo.Artist, "Typed artist");
    main->close();
}

TEST_F(OptionSetDriveTest, ReadOffsetPerDriveTheRipLogCoverWorkersExistingRuleAndDiscHandlingAreStoredOnOk)
{
    SetDiscImages({MakeTestDisc(Home.path(), {"--track", "audio:750"})});
    ASSERT_TRUE(WriteAll(OptionsFileName(), "[ReadOffsets]\nImage=-30\nOther_drive=12\n"));
    auto main = OpenMain();
    auto form = Open(main->OptionSetHost());
    ShowPage(form.get(), "TabSheet3");
    auto* offset = Get<QSpinBox>(form.get(), "seReadOffset");
    EXPECT_EQ(offset->value(), -30);
    offset->setValue(6);
    Get<QCheckBox>(form.get(), "ckbWriteRipLog")->setChecked(false);
    auto* cover = Get<QCheckBox>(form.get(), "ckbMbCover");
    EXPECT_TRUE(cover->isChecked());
    cover->setChecked(false);
    Get<QSpinBox>(form.get(), "seJobs")->setValue(2);
    auto* existing = Get<QComboBox>(form.get(), "cbExisting");
    EXPECT_EQ(existing->count(), 4);
    EXPECT_EQ(existing->currentIndex(), 0) << "ask by default";
    existing->setCurrentIndex(2);
    for (const char* box : {"ckbAutoRip", "ckbEjectWhenDone"}) {
        EXPECT_FALSE(Get<QCheckBox>(form.get(), box)->isChecked()) << box;
        Get<QCheckBox>(form.get(), box)->setChecked(true);
    }
    auto* speed = Get<QSpinBox>(form.get(), "seReadSpeed");
    EXPECT_EQ(speed->text(), QStringLiteral("驱动器默认"));
    speed->setValue(12);
    Ok(form.get());
    EXPECT_EQ(OptionsSetting.ReadOffsets, (QMap<QString, int32_t>{{"Image", 6}, {"Other_drive", 12}}));
    EXPECT_FALSE(OptionsSetting.CommonOptions.WriteRipLog);
    EXPECT_FALSE(OptionsSetting.MusicBrainz.Cover);
    EXPECT_EQ(OptionsSetting.CommonOptions.Jobs, 2);
    EXPECT_EQ(OptionsSetting.CommonOptions.Existing, 2);
    EXPECT_EQ(std::tie(OptionsSetting.CommonOptions.AutoRip, OptionsSetting.CommonOptions.EjectWhenDone,
                       OptionsSetting.CDOptions.Speed), std::make_tuple(1, 1, 12));
    main->close();
}

TEST_F(OptionSetDriveTest, NoDriveAtAllListsNothingAndKeepsTheChoice)
{
    OptionsSetting.CDOptions.Index = 3;
    auto main = OpenMain();
    OptionsSetting.CDOptions.Index = 3;
    auto form = Open(main->OptionSetHost());
    ShowPage(form.get(), "TabSheet3");
    EXPECT_EQ(Get<QComboBox>(form.get(), "cbCDList")->count(), 0);
    Ok(form.get());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(OptionsSetting.CDOptions.Index, 3);
    main->close();
}

TEST_F(OptionSetDriveTest, ToolButtonAndShortcutOpenTheWindowBesideTheMainWindow)
{
    auto main = OpenMain();
    QAction* action = main->Action("ActionOptionSet");
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(action->isEnabled());
    EXPECT_EQ(action->shortcut(), QKeySequence("Ctrl+O"));
    QToolButton* button = nullptr;
    for (QToolButton* b : main->findChildren<QToolButton*>())
        if (b->text() == QStringLiteral("设置"))
            button = b;
    ASSERT_NE(button, nullptr);
    QString name;
    QPoint offset;
    QRect frame, screen;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        name = modal->objectName();
        offset = modal->pos() - main->pos();
        frame = modal->frameGeometry();
        screen = modal->screen()->availableGeometry();
        modal->findChild<QPushButton*>("btCancel")->click();
    });
    button->click();
    EXPECT_EQ(name, "OptionSetForm");
    // 50 pixels right of and below the main window's corner, unless that reaches past the
    // screen: then as near as the screen allows.
    if (screen.contains(frame.translated(QPoint(50, 50) - offset))) EXPECT_EQ(offset, QPoint(50, 50));
    else EXPECT_TRUE(screen.contains(frame));
    main->close();
}
