// The OGG player window over its controller: opened from the main window, the controls
// bound to the handlers, the scroll bar that follows progress without seeking, and a close
// that waits for the sound to stop. The sound goes to SDL's disk driver.
#include "AppTestHome.h"
#include "windows/MainForm.h"
#include "audio/AuGenerator.h"
#include "audio/VorbisOut.h"
#include "fixtures/AuTestComponents.h"
#include "fixtures/CannedPrompter.h"
#include "players/OggPlayer.h"
#include "windows/OggPlayerForm.h"
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class OggPlayerForm : public AppTestHome {
protected:
    void SetUp() override
    {
        AppTestHome::SetUp();
        // Fusion paints scroll bars with the help of Qt's own thread pool, whose locks
        // ThreadSanitizer cannot see; the plain style paints on the main thread alone.
        QApplication::setStyle(QStringLiteral("windows"));
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(Path("card.raw")));
    }
    void TearDown() override
    {
        qputenv("SDL_AUDIODRIVER", "dummy");
        AppTestHome::TearDown();
    }

    // A tone of Ms milliseconds, written by our own encoder, with an artist and a title.
    QString MakeOgg(const QString& Name, int Ms)
    {
        TAuGenerator gen;
        gen.SetFormat(16, 2, 22050);
        gen.SetWaveform(TAuGenerator::TWaveform::Sine);
        gen.SetTone(440, 0.5);
        gen.SetGeneratedSize(int64_t(22050) * Ms / 1000 * 4);
        TVorbisOut out;
        out.SetInput(&gen);
        out.SetFileName(Path(Name));
        out.Comments().SetArtist(QStringLiteral("Ünder Tow"));
        out.Comments().SetTitle(QStringLiteral("夜曲"));
        out.Run();
        EXPECT_TRUE(PumpUntil([&] { return !out.Busy(); }));
        EXPECT_EQ(out.ExceptionMessage(), "");
        return Path(Name);
    }

    template <typename T>
    static T* Child(QWidget* Form, const char* Name)
    {
        T* w = Form->findChild<T*>(QLatin1String(Name));
        EXPECT_NE(w, nullptr) << Name;
        return w;
    }
};

} // namespace

TEST_F(OggPlayerForm, OpensFromTheMenuPlaysAndClosesAfterTheSoundStopped)
{
    const QString ogg = MakeOgg("Tide.ogg", 2000);
    TMainForm main;
    main.SetPrompter(std::make_unique<TCannedPrompter>());
    main.show();
    QAction* command = main.Action("miOGGPlayer");
    ASSERT_NE(command, nullptr);
    ASSERT_TRUE(command->isEnabled());

    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TfrmOggPlayer*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        // Whatever fails below, the window goes, so that the command returns.
        const std::shared_ptr<void> closing(nullptr, [form](void*) { form->close(); });
        EXPECT_EQ(form->objectName(), "frmOggPlayer");
        auto canned = std::make_unique<TCannedPrompter>();
        canned->FileAnswers.push_back({ogg});
        TCannedPrompter* log = canned.get();
        form->SetPrompter(std::move(canned));
        auto* open = Child<QPushButton>(form, "BitBtn1");
        auto* scroll = Child<QScrollBar>(form, "ScrollBar1");
        EXPECT_FALSE(scroll->isEnabled());
        EXPECT_EQ(Child<QLabel>(form, "lFileName")->text(), "OGG");
        EXPECT_EQ(Child<QSlider>(form, "TrackBar1")->value(), 5);
        EXPECT_FALSE(Child<QPushButton>(form, "BitBtn2")->accessibleName().isEmpty());

        QTest::mouseClick(open, Qt::LeftButton);
        EXPECT_EQ(log->Texts("open").size(), 1);
        EXPECT_FALSE(open->isEnabled());
        EXPECT_TRUE(scroll->isEnabled());
        EXPECT_EQ(Child<QLabel>(form, "lFileName")->text(), "Tide");
        EXPECT_EQ(Child<QLabel>(form, "lSampleRate")->text(), "22050 bps");
        EXPECT_EQ(Child<QLabel>(form, "lTotalTime")->text(), "0:02");
        EXPECT_EQ(Child<QPlainTextEdit>(form, "Memo1")->toPlainText(),
                  QStringLiteral("Artist: Ünder Tow\nTitle: 夜曲"));
        ASSERT_TRUE(PumpUntil([&] { return form->Player().Output().Progress() > 0; }));

        // The title bar's close: refused until the Close button's work has stopped the sound.
        bool stoppedFirst = false;
        QObject::connect(&form->Player(), &TOggPlayer::CloseReady, [&] {
            stoppedFirst = form->Player().Output().Status() == tosIdle && form->isVisible();
        });
        form->close();
        EXPECT_TRUE(stoppedFirst);
        EXPECT_TRUE(log->Log.size() == 1);
        checked = true;
    });
    command->trigger();     // returns when the window has closed
    EXPECT_TRUE(checked);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(OggPlayerForm, ProgressMovesTheScrollBarOnlyTheUserSeeks)
{
    const QString ogg = MakeOgg("wave.ogg", 2000);
    TfrmOggPlayer form;
    auto canned = std::make_unique<TCannedPrompter>();
    TCannedPrompter* log = canned.get();
    form.SetPrompter(std::move(canned));
    form.show();
    TOggPlayer& player = form.Player();
    auto* scroll = Child<QScrollBar>(&form, "ScrollBar1");
    auto* balance = Child<QSlider>(&form, "TrackBar1");

    ASSERT_TRUE(player.Play(ogg));
    ASSERT_TRUE(PumpUntil([&] { return player.Output().Progress() > 0; }));
    QTest::mouseClick(Child<QPushButton>(&form, "BitBtn2"), Qt::LeftButton);
    ASSERT_EQ(player.Output().Status(), tosPaused);
    const int64_t playTime = player.PlayTimeMs();

    emit player.ProgressChanged(70);
    EXPECT_EQ(scroll->value(), 70);
    EXPECT_EQ(player.PlayTimeMs(), playTime);
    scroll->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(player.PlayTimeMs(), 2000);
    EXPECT_EQ(Child<QLabel>(&form, "lCurrentTime")->text(), "0:02");
    EXPECT_EQ(player.Output().Status(), tosPaused);

    balance->setValue(0);
    EXPECT_FLOAT_EQ(player.Balance().Balance(), 0.0f);
    QTest::keyClick(balance, Qt::Key_End);
    EXPECT_FLOAT_EQ(player.Balance().Balance(), 1.0f);

    bool finished = false;
    QObject::connect(&player, &TOggPlayer::Finished, [&] { finished = true; });
    QTest::mouseClick(Child<QPushButton>(&form, "bStop"), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return finished; }));
    EXPECT_TRUE(Child<QPushButton>(&form, "BitBtn1")->isEnabled());
    EXPECT_FALSE(scroll->isEnabled());

    // Escape closes through the Close button too.
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_TRUE(player.Closing());
    EXPECT_TRUE(PumpUntil([&] { return !form.isVisible(); }));
    EXPECT_TRUE(log->Log.isEmpty());
}
