// The extract command without a handle of the CD library, offscreen: the rip job window
// over the CD input component, closed by its job after the last track or by its title
// bar's close button.
#include "AppTestHome.h"
#include "windows/MainForm.h"
#include "windows/CDRipForm.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestDisc.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

class CDRipFormTest : public AppTestHome {
protected:
    void SetUp() override
    {
        AppTestHome::SetUp();
        SetCDInputOnly(true);
    }
    void TearDown() override
    {
        SetCDInputOnly(false);
        AppTestHome::TearDown();
    }
    void Open(const QStringList& sectors)
    {
        QStringList args;
        for (const QString& s : sectors) args << "--track" << "audio:" + s;
        SetDiscImages({MakeTestDisc(Home.path(), args)});
        Form = std::make_unique<TMainForm>();
        auto prompter = std::make_unique<TCannedPrompter>();
        Prompter = prompter.get();
        Form->SetPrompter(std::move(prompter));
        Form->show();
        OptionsSetting.CommonOptions.OutputFolder = Path("out") + '/';
        OptionsSetting.CommonOptions.WriteRipLog = false;   // the listings are of the tracks' files
        OptionsSetting.CommonOptions.Jobs = 1;              // the cases follow one track at a time
        QDir().mkpath(Path("out"));
        for (int i = 0; i < Form->ListView1()->topLevelItemCount(); ++i)
            Form->ListView1()->topLevelItem(i)->setCheckState(0, Qt::Checked);
    }
    // Runs the command; `onWindow` sees the rip window once when it is shown.
    bool Extract(const std::function<void(TfrmCDRip*)>& onWindow = {})
    {
        bool opened = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* rip = qobject_cast<TfrmCDRip*>(QApplication::activeModalWidget());
            if (!rip || opened) return;
            opened = true;
            if (onWindow) onWindow(rip);
        });
        poll.start(1);
        Form->ActionExtractExecute();
        return opened;
    }

    std::unique_ptr<TMainForm> Form;
    TCannedPrompter* Prompter = nullptr;
};

} // namespace

TEST_F(CDRipFormTest, ThreeWavEntriesCloseTheWindowAfterTheThird)
{
    Open({"30", "20", "10"});
    OptionsSetting.CommonOptions.OutputFormat = 1;
    ASSERT_EQ(Form->ListView1()->topLevelItemCount(), 3);
    QString format;
    EXPECT_TRUE(Extract([&](TfrmCDRip* rip) { format = rip->findChild<QLabel*>("lOutputFormat")->text(); }));
    EXPECT_EQ(format, "WAV");
    EXPECT_TRUE(Prompter->Log.isEmpty()) << Prompter->Log.value(0).Text.toStdString();
    EXPECT_EQ(QDir(Path("out")).entryList(QDir::Files).size(), 4);   // and the cue sheet
}

// The title bar's close button stops the job: the window goes, the stopped track's WAV stays.
TEST_F(CDRipFormTest, TheWindowsCloseButtonStopsTheJob)
{
    Open({"4000", "20"});
    OptionsSetting.CommonOptions.OutputFormat = 0;
    EXPECT_TRUE(Extract([](TfrmCDRip* rip) { rip->close(); }));
    EXPECT_TRUE(QDir(Path("out")).entryList({"*.mp3"}, QDir::Files).isEmpty());
    EXPECT_LE(QDir(Path("out")).entryList(QDir::Files).size(), 1);
}

// Two ticked tracks to OGG, then a second job stopped by its button while it encodes: the
// first job's files are there, the stopped one leaves no partial OGG file. With
// VARNELCD_SCREENSHOTS=DIR the main window and the rip window are saved there as PNG files.
TEST_F(CDRipFormTest, TwoTracksToOggThenASecondJobStopped)
{
    Open({"300", "300", "3000"});
    OptionsSetting.CommonOptions.OutputFormat = 2;
    Form->ListView1()->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    const QString shots = qEnvironmentVariable("VARNELCD_SCREENSHOTS");
    bool shot = false;
    EXPECT_TRUE(Extract([&](TfrmCDRip* rip) {
        QObject::connect(&rip->Job(), &TJobBase::ViewChanged, rip, [&, rip] {
            if (shots.isEmpty() || shot || rip->Job().View().Gauge < 30) return;
            shot = true;
            Form->grab().save(shots + "/cdrip-main.png");
            rip->grab().save(shots + "/cdrip-window.png");
        });
    }));
    EXPECT_EQ(QDir(Path("out")).entryList(QDir::Files, QDir::Name), (QStringList{"Unknown Artist - Unknown Album.cue", "音轨 01.ogg", "音轨 02.ogg"}));

    for (int i = 0; i < 3; ++i)
        Form->ListView1()->topLevelItem(i)->setCheckState(0, i == 2 ? Qt::Checked : Qt::Unchecked);
    bool stopped = false;
    EXPECT_TRUE(Extract([&](TfrmCDRip* rip) {
        QObject::connect(&rip->Job(), &TJobBase::ViewChanged, rip, [&, rip] {
            const TCDRipJob::TView& v = rip->Job().View();
            if (stopped || v.ProgressHint != "正在编码..." || v.Gauge < 1) return;
            stopped = true;
            rip->findChild<QPushButton*>("bStop")->click();
        });
    }));
    EXPECT_TRUE(stopped);
    // The stopped track leaves nothing: neither its OGG nor the WAV it was encoded from.
    EXPECT_EQ(QDir(Path("out")).entryList(QDir::Files, QDir::Name), (QStringList{"Unknown Artist - Unknown Album.cue", "音轨 01.ogg", "音轨 02.ogg"}));
}

// With two workers the window lists the reader and both workers under the gauge, and each
// row names its track while it works on it.
TEST_F(CDRipFormTest, TwoWorkersShowARowEach)
{
    Open({"300", "300", "300"});
    OptionsSetting.CommonOptions.OutputFormat = 0;
    OptionsSetting.CommonOptions.Jobs = 2;
    QStringList names;
    QSet<QString> tracksSeen;
    EXPECT_TRUE(Extract([&](TfrmCDRip* rip) {
        auto* rows = rip->findChild<QTreeWidget*>("lvRows");
        ASSERT_TRUE(rows && rows->isVisible());
        QObject::connect(&rip->Job(), &TJobBase::ViewChanged, rip, [&, rows] {
            names.clear();
            for (int i = 0; i < rows->topLevelItemCount(); ++i) {
                names << rows->topLevelItem(i)->text(0);
                if (i > 0 && !rows->topLevelItem(i)->text(1).isEmpty()) tracksSeen.insert(rows->topLevelItem(i)->text(1));
            }
        });
    }));
    EXPECT_EQ(names, (QStringList{QStringLiteral("读取"), "w1", "w2"}));   // the reader row in words
    EXPECT_EQ(tracksSeen.size(), 3);
    EXPECT_EQ(QDir(Path("out")).entryList({"*.mp3"}, QDir::Files).size(), 3);
}
