// The recorder window and the new-file dialog offscreen: controls and texts, the media
// buttons following the recorder's state, the close that a cancelled save question stops,
// and the main window's Record command.
#include "AppTestHome.h"
#include "windows/MainForm.h"
#include "fixtures/CannedPrompter.h"
#include "windows/NewRecordFileForm.h"
#include "windows/RecordForm.h"
#include "settings/IniFile.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

using R = TRecordController;

class RecordFormTest : public AppTestHome {};

template <typename T>
T* Child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

} // namespace

TEST_F(RecordFormTest, ControlsAndButtonStates)
{
    TCannedPrompter prompter;
    TfrmRecord form(nullptr, &prompter);
    form.show();
    EXPECT_EQ(form.windowTitle(), "Record");
    // Every key of the windows' sections in the shipped language file names one of their controls.
    const TIniFile ini(QStringLiteral(VARNELCD_SOURCE_DIR "/resources/lang/CLan_Chinese.ini"));
    TfrmNewRecordFile newFile;
    for (QWidget* w : {static_cast<QWidget*>(&form), static_cast<QWidget*>(&newFile)})
        for (const QString& key : ini.ReadSection(w->objectName()))
            EXPECT_TRUE(key == w->objectName() || w->findChild<QObject*>(key)) << key.toStdString();
    for (const QString& key : ini.ReadSection("Menu_frmRecord"))
        EXPECT_NE(form.MenuAction(key), nullptr) << key.toStdString();
    QSlider* bar = Child<QSlider>(&form, "TrackBar1");
    EXPECT_EQ(bar->maximum(), 400);
    EXPECT_EQ(bar->tickInterval(), 40);
    EXPECT_EQ(Child<QLabel>(&form, "panRecordTime")->text(), "00:00:00.0");
    EXPECT_EQ(Child<QLabel>(&form, "lbState")->text(), "-----------");
    EXPECT_EQ(Child<QPushButton>(&form, "btStart")->text(), QStringLiteral("开始"));
    const QList<QToolButton*> buttons = form.findChild<QWidget*>("MediaPlayer1")->findChildren<QToolButton*>();
    QStringList order, visible;
    for (QToolButton* b : buttons) {
        order << b->objectName();
        EXPECT_FALSE(b->isEnabled()) << "no button enabled at first";
        if (!b->isHidden())
            visible << b->objectName();
    }
    EXPECT_EQ(visible, QStringList({"btPlay", "btStop", "btNext", "btPrev", "btStep", "btBack", "btRecord"}));
    EXPECT_EQ(order.size(), 9);
    EXPECT_EQ(form.MenuAction("miNew")->text(), "&New...");
    EXPECT_TRUE(form.MenuAction("miSaveMp3")->isCheckable());

    // New: only Record (and Save, Save As with it); recording: only Stop.
    form.Controller().AskNewFormat = [](R::TNewFormat& f) { f = {8000, 8, 1}; return true; };
    form.MenuAction("miNew")->trigger();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("录音(未命名)"));
    const auto enabled = [&] {
        QStringList on;
        for (QToolButton* b : buttons)
            if (b->isEnabled())
                on << b->objectName();
        return on;
    };
    EXPECT_EQ(enabled(), QStringList{"btRecord"});
    EXPECT_TRUE(form.MenuAction("miSave")->isEnabled());
    EXPECT_FALSE(form.MenuAction("miUndo")->isEnabled());
    QTest::mouseClick(form.Button(R::btRecord), Qt::LeftButton);
    EXPECT_EQ(enabled(), QStringList{"btStop"});
    EXPECT_FALSE(form.MenuAction("miSaveAs")->isEnabled());
    EXPECT_EQ(Child<QLabel>(&form, "lbState")->text(), QStringLiteral("正在进行录音..."));
    form.Controller().Wait = [](int) {};
    QTest::mouseClick(form.Button(R::btStop), Qt::LeftButton);
    EXPECT_EQ(enabled(), QStringList({"btPlay", "btNext", "btPrev", "btRecord"}));
    EXPECT_EQ(bar->value(), 400);

    // Closing with a modified recording: Cancel keeps the window open, No closes it.
    prompter.Answers = {TPrompter::Answer::Cancel};
    form.close();
    EXPECT_TRUE(form.isVisible());
    prompter.Answers = {TPrompter::Answer::No};
    form.close();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(RecordFormTest, NewFileDialogDefaultsAndChoice)
{
    TfrmNewRecordFile form;
    EXPECT_EQ(form.Format().SampleRate, 44100);
    EXPECT_EQ(form.Format().Bits, 16);
    EXPECT_EQ(form.Format().Channels, 2);
    QComboBox* rates = Child<QComboBox>(&form, "cbBitSamples");
    EXPECT_EQ(rates->count(), 9);
    rates->setCurrentIndex(0);
    Child<QRadioButton>(&form, "rbBitNumber8")->setChecked(true);
    Child<QRadioButton>(&form, "rbChannelNumberMono")->setChecked(true);
    EXPECT_EQ(form.Format().SampleRate, 8000);
    EXPECT_EQ(form.Format().Bits, 8);
    EXPECT_EQ(form.Format().Channels, 1);
}

TEST_F(RecordFormTest, MainWindowRecordCommandOpensTheRecorder)
{
    TMainForm main;
    auto prompter = std::make_unique<TCannedPrompter>();
    main.SetPrompter(std::move(prompter));
    QAction* record = main.Action("ActionRecord");
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->isEnabled());
    EXPECT_EQ(record->shortcut(), QKeySequence("Ctrl+R"));
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TfrmRecord*>(QApplication::activeModalWidget());
        opened = form != nullptr;
        if (form)
            form->close();
    });
    record->trigger();
    EXPECT_TRUE(opened);
}
