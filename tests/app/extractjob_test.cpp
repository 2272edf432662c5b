// The extract command over generated disc images, offscreen: its checks, the track list it
// hands to the progress window, and the window itself. With VARNELCD_SCREENSHOTS=DIR (and a
// real display) the main window and the progress window are saved there as PNG files.
#include "AppTestHome.h"
#include "windows/MainForm.h"
#include "windows/RipForm.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestDisc.h"
#include "cd/DiscReader.h"
#include "platform/akrip32.h"
#include "metadata/id3.h"
#include "settings/Lang.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

class ExtractTest : public AppTestHome {
protected:
    void SetUp() override
    {
        AppTestHome::SetUp();
        OldPath = qgetenv("PATH");
        qputenv("PATH", QByteArray(VARNELCD_BINARY_DIR) + ':' + OldPath);
    }
    void TearDown() override
    {
        qputenv("PATH", OldPath);
        AppTestHome::TearDown();
    }
    // A form on a disc of `tracks` pattern tracks of `sectors` sectors each.
    void Open(int tracks, int sectors)
    {
        QStringList args;
        for (int i = 0; i < tracks; ++i) args << "--track" << QString("audio:%1").arg(sectors);
        SetDiscImages({MakeTestDisc(Home.path(), args)});
        Form = std::make_unique<TMainForm>();
        auto prompter = std::make_unique<TCannedPrompter>();
        Prompter = prompter.get();
        Form->SetPrompter(std::move(prompter));
        Form->show();
        OptionsSetting.CommonOptions.OutputFolder = Path("out") + '/';
        OptionsSetting.CommonOptions.WriteRipLog = false;   // the listings are of the tracks' files
        OptionsSetting.CommonOptions.Jobs = 1;              // the captions of one step at a time
        QDir().mkpath(Path("out"));
    }
    QTreeWidgetItem* Row(int i) const { return Form->ListView1()->topLevelItem(i); }
    void TickOnly(const QList<int>& rows)
    {
        for (int i = 0; i < Form->ListView1()->topLevelItemCount(); ++i)
            Row(i)->setCheckState(0, rows.contains(i) ? Qt::Checked : Qt::Unchecked);
    }
    // Runs the command; returns the captions the progress window showed (none: no window).
    QStringList Extract()
    {
        QStringList captions;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* rip = qobject_cast<TRipForm*>(QApplication::activeModalWidget());
            if (!rip || rip->property("watched").toBool()) return;
            rip->setProperty("watched", true);
            captions << rip->windowTitle();
            QObject::connect(rip, &QWidget::windowTitleChanged, rip, [&captions](const QString& t) { captions << t; });
            QObject::connect(&rip->Job(), &TConversionJob::ViewChanged, rip, [this, rip] { Shoot(rip); });
        });
        poll.start(1);
        Form->ActionExtractExecute();
        return captions;
    }
    // The screenshots of a run as a new user would see it.
    void Shoot(TRipForm* rip)
    {
        const QString dir = qEnvironmentVariable("VARNELCD_SCREENSHOTS");
        if (dir.isEmpty() || Shot || rip->Job().StepView().Gauge < 50) return;
        Shot = true;
        Form->grab().save(dir + "/main.png");
        rip->grab().save(dir + "/progress.png");
    }

    QByteArray OldPath;
    std::unique_ptr<TMainForm> Form;
    TCannedPrompter* Prompter = nullptr;
    bool Shot = false;
};

} // namespace

TEST_F(ExtractTest, ChecksBeforeAnyWindowOpens)
{
    const QString selectTrack = LangString("RES_Select_Track", QStringLiteral("请至少选择一首音轨，\r\n可点击左侧复选框进行选择。"));
    const QString select0 = LangString("RES_Select_0", QStringLiteral("你选择提取0秒，请在“选项”对话框中更改。"));
    struct TCase {
        const char* What;
        std::function<void()> Arrange;
        QString Shown;             // the information shown, empty: none
        bool FolderMade;
    } cases[] = {
        {"no ticked row", [this] { TickOnly({}); }, selectTrack, true},
        {"rip time 0", [] {
             OptionsSetting.CommonOptions.EnableRipTime = true;
             OptionsSetting.CommonOptions.RipTime = 0;
         }, select0, true},
        {"missing folder, answered No", [this] {
             OptionsSetting.CommonOptions.OutputFolder = Path("new") + '/';
             Prompter->Answers.push_back(TPrompter::Answer::No);
         }, QString(), false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        Open(2, 20);
        c.Arrange();
        const bool enabled = Form->Action("ActionExtract")->isEnabled();
        EXPECT_EQ(enabled, QString(c.What) != "no ticked row");
        EXPECT_TRUE(Extract().isEmpty()) << "no window opens";
        EXPECT_EQ(Prompter->Texts("information").value(0), c.Shown);
        EXPECT_EQ(QDir(OptionsSetting.CommonOptions.OutputFolder).exists(), c.FolderMade);
        EXPECT_TRUE(QDir(Path("out")).entryList(QDir::Files).isEmpty());
        Form.reset();
    }
}

TEST_F(ExtractTest, WithoutADriveTheCommandSaysSo)
{
    Form = std::make_unique<TMainForm>();
    auto prompter = std::make_unique<TCannedPrompter>();
    Prompter = prompter.get();
    Form->SetPrompter(std::move(prompter));
    OptionsSetting.CommonOptions.OutputFolder = Home.path() + '/';
    auto* row = new QTreeWidgetItem(Form->ListView1());
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(Extract().isEmpty());
    EXPECT_EQ(Prompter->Texts("information"), QStringList{LangString("RES_Get_CDHandle", QStringLiteral("请首先获取CD句柄!"))});
}

TEST_F(ExtractTest, RipsTheTickedTracksUnderTheirCleanedTitles)
{
    Open(12, 30);
    OptionsSetting.CommonOptions.OutputFolder = Path("made") + '/';
    Prompter->Answers.push_back(TPrompter::Answer::Yes);   // make the missing folder
    OptionsSetting.CommonOptions.OutputFormat = 0;
    OptionsSetting.ID3Use = true;
    OptionsSetting.CDInfo.Artist = "Artist";
    TickOnly({6, 11});
    Row(6)->setText(1, "Se/ven: \"Why?\"");
    Row(11)->setText(1, "Twelve");
    const QStringList captions = Extract();
    EXPECT_EQ(Prompter->Texts("error"), QStringList());
    ASSERT_FALSE(captions.isEmpty()) << "the progress window opened";
    // The window is found by polling, so the very first caption may pass unseen; the first
    // entry's title shows in whichever of its captions is seen. The title stays as typed in
    // the captions and the tag; only the file name is cleaned.
    EXPECT_TRUE(captions.join(" | ").contains("(01/02): Se/ven: \"Why?\"")) << captions.join(" | ").toStdString();
    EXPECT_TRUE(captions.contains("编码中(02/02): Twelve")) << captions.join(" | ").toStdString();
    Tid3tag tag;
    ASSERT_EQ(tag.ReadTag(Path("made/Seven \"Why\".mp3")), Tid3tag::StatusOk);
    EXPECT_EQ(tag.Title(), "Se/ven: \"Why?\"");
    EXPECT_EQ(tag.Track(), 7);
    EXPECT_EQ(tag.Artist(), "Artist");
    ASSERT_EQ(tag.ReadTag(Path("made/Twelve.mp3")), Tid3tag::StatusOk);
    EXPECT_EQ(tag.Track(), 12);
    EXPECT_EQ(QDir(Path("made")).entryList(QDir::Files).size(), 3) << "the WAV files are gone (the cue sheet stays)";
}

TEST(RipFormTest, ShowsTheJobAndStopsIt)
{
    TCannedPrompter prompter;
    QTemporaryDir dir;
    OptionsSetting = TOptionsSetting{};
    OptionsSetting.CommonOptions.OutputFolder = dir.path() + '/';
    // A disc whose first track takes a while to read: the window shows the read, Stop ends it.
    SetDiscImages({MakeTestDisc(dir.path(), {"--track", "audio:6000", "--track", "audio:20"})});
    THandleRequest req{};
    const HCDROM handle = GetCDHandle(req);
    ASSERT_NE(handle, 0u);
    const std::unique_ptr<TDiscSource> disc = AkripDiscSource(handle);
    TRipForm form(nullptr, *disc, {"01One", "02Two"}, &prompter);
    EXPECT_EQ(form.windowTitle(), "抓取中(01/02): One");
    EXPECT_EQ(form.findChild<QGroupBox*>("GroupBox1")->title(), "抓取中");
    EXPECT_TRUE(form.findChild<QLabel*>("Label1")->text().isEmpty());
    EXPECT_FALSE(form.findChild<QProgressBar*>("FlatGauge1")->isTextVisible());
    EXPECT_EQ(form.findChild<QLabel*>("Label3")->text(), LangString("RES_Initing", "正在初始化..."));
    EXPECT_EQ(form.findChild<QPushButton*>("btStop")->text(), QStringLiteral("停止(&S)"));
    form.show();   // the language file may caption the fixed texts, not the job's
    EXPECT_EQ(form.windowTitle(), "抓取中(01/02): One") << "the job's caption stays";
    QTimer::singleShot(0, &form, [&form] { form.findChild<QPushButton*>("btStop")->click(); });
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_TRUE(form.Job().WasStopped());
    CloseCDHandle(handle);
    SetDiscImages({});
}
