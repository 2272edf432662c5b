// CD playback from the main window, heard through SDL's disk driver (it writes what the
// card was given to a file, at real-time pace, and starts the file afresh each time the
// device opens). Silent frames are left out of comparisons: the driver writes silence
// while paused, and a busy machine may cause an underrun, which inserts silence.
#include "AppTestHome.h"
#include "windows/MainForm.h"
#include "app/core/CDPlayer.h"
#include "app/core/DiscWatcher.h"
#include "fixtures/AuTestComponents.h"
#include "fixtures/TestDisc.h"
#include <QAction>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>

namespace {

class QuietPrompter : public TPrompter {
public:
    void ShowError(const QString&) override {}
    void ShowInformation(const QString&) override {}
    Answer AskYesNo(const QString&, Answer def) override { return def; }
};

QByteArray Audible(const QByteArray& card)
{
    QByteArray out;
    for (qsizetype i = 0; i + 4 <= card.size(); i += 4) {
        const char* f = card.constData() + i;
        if (std::any_of(f, f + 4, [](char c) { return c != 0; }))
            out.append(f, 4);
    }
    return out;
}

// The audio of pattern track `track` (1-based in the image), `sectors` long.
QByteArray TrackAudio(int track, uint32_t sectors)
{
    QByteArray bytes;
    for (uint32_t s = 0; s < sectors; ++s)
        bytes += ExpectedAudioSector(track, s);
    return bytes;
}

class PlayerTest : public AppTestHome {
protected:
    void SetUp() override
    {
        AppTestHome::SetUp();
        Card = Path("card.raw");
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", Card.toLocal8Bit());
    }
    void TearDown() override
    {
        qputenv("SDL_AUDIODRIVER", "dummy");
        AppTestHome::TearDown();
    }
    std::unique_ptr<TMainForm> Open(const QStringList& tracks)
    {
        QStringList args;
        for (const QString& t : tracks)
            args << "--track" << t;
        SetDiscImages({MakeTestDisc(Home.path(), args, "disc")});
        auto form = std::make_unique<TMainForm>();
        form->SetPrompter(std::make_unique<QuietPrompter>());
        form->show();
        // The test changes discs itself: the watcher stays out of the way.
        form->DiscWatcher()->Stop();
        return form;
    }
    static void Play(TMainForm& form, int row)
    {
        form.ListView1()->setCurrentItem(form.ListView1()->topLevelItem(row));
        ASSERT_TRUE(form.Action("aPlay")->isEnabled());
        form.Action("aPlay")->trigger();
    }
    static bool WaitUntilStopped(TMainForm& form)
    {
        return PumpUntil([&] { return !form.Playing(); }, 20000);
    }
    QString Card;
};

} // namespace

TEST_F(PlayerTest, TheCardGetsEveryByteOfTheRowsTrack)
{
    struct Case {
        const char* what;
        QStringList tracks;
        int row;
        uint32_t sectors;
    } const cases[] = {
        {"middle row", {"audio:20", "audio:30", "audio:25"}, 1, 30},
        {"last row, to the lead-out", {"audio:20", "audio:30", "audio:25"}, 2, 25},
        {"row before a data track", {"audio:35", "data:30"}, 0, 35},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto form = Open(c.tracks);
        ASSERT_EQ(form->ListView1()->topLevelItemCount(), c.tracks.size());
        const QString saved = form->SavedStatus();
        Play(*form, c.row);
        EXPECT_TRUE(form->Playing());
        EXPECT_EQ(form->StatusText(), QStringLiteral("播放 ") + form->ListView1()->topLevelItem(c.row)->text(1));
        EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d / 00:00$").match(form->TimeText()).hasMatch())
            << form->TimeText().toStdString();
        EXPECT_TRUE(form->Action("aPause")->isEnabled());
        EXPECT_TRUE(form->Action("aStop")->isEnabled());
        ASSERT_TRUE(WaitUntilStopped(*form));
        // The end of the track runs the stop: the saved status comes back, Label1 empties.
        EXPECT_EQ(form->StatusText(), saved);
        EXPECT_EQ(form->TimeText(), "");
        EXPECT_FALSE(form->Paused());
        EXPECT_FALSE(form->Action("aStop")->isEnabled());
        const QByteArray got = Audible(ReadAll(Card));
        const QByteArray expect = Audible(TrackAudio(c.row + 1, c.sectors));
        EXPECT_EQ(got.size(), expect.size());
        EXPECT_TRUE(got == expect);
        form->close();
    }
}

TEST_F(PlayerTest, ADataTrackNeverPlays)
{
    auto form = Open({"audio:20", "data:30"});
    Play(*form, 1);
    EXPECT_FALSE(form->Playing());
    EXPECT_EQ(form->StatusText(), QStringLiteral("媒体设备初始化失败！ 音轨 2 是数据音轨"));
    EXPECT_FALSE(form->Action("aStop")->isEnabled());
    form->close();
}

TEST_F(PlayerTest, PauseAndResumeLoseNothingAndPlayWhilePausedResumes)
{
    auto form = Open({"audio:60", "audio:20"});
    Play(*form, 0);
    form->Action("aPause")->trigger();
    EXPECT_TRUE(form->Paused());
    EXPECT_EQ(form->Player()->State(), TCDPlayer::TState::Paused);
    EXPECT_FALSE(form->Action("aPause")->isEnabled());
    EXPECT_TRUE(form->Action("aStop")->isEnabled());
    PumpFor(300);
    EXPECT_TRUE(form->Playing());
    // Another row selected: play resumes the paused track instead of starting that row.
    Play(*form, 1);
    EXPECT_FALSE(form->Paused());
    EXPECT_EQ(form->Player()->Track(), 1);
    EXPECT_EQ(form->StatusText(), QStringLiteral("播放 音轨 01"));
    ASSERT_TRUE(WaitUntilStopped(*form));
    const QByteArray got = Audible(ReadAll(Card));
    const QByteArray expect = Audible(TrackAudio(1, 60));
    EXPECT_EQ(got.size(), expect.size());
    EXPECT_TRUE(got == expect);
    form->close();
}

TEST_F(PlayerTest, PlayWhilePlayingSwitchesAndTheOldEndStopsNothing)
{
    auto form = Open({"audio:40", "audio:25"});
    Play(*form, 0);
    PumpFor(100);
    Play(*form, 1);
    EXPECT_TRUE(form->Playing());
    EXPECT_EQ(form->Player()->Track(), 2);
    ASSERT_TRUE(WaitUntilStopped(*form));
    EXPECT_EQ(form->StatusText(), form->SavedStatus());
    // The device opened afresh for the second track, which was heard whole.
    const QByteArray got = Audible(ReadAll(Card));
    const QByteArray expect = Audible(TrackAudio(2, 25));
    EXPECT_EQ(got.size(), expect.size());
    EXPECT_TRUE(got == expect);
    form->close();
}

TEST_F(PlayerTest, StopEjectAndClosingEndPlayback)
{
    auto form = Open({"audio:300"});
    Play(*form, 0);
    form->Action("aStop")->trigger();
    EXPECT_FALSE(form->Playing());
    EXPECT_EQ(form->Player()->State(), TCDPlayer::TState::Idle);
    EXPECT_EQ(form->StatusText(), form->SavedStatus());

    Play(*form, 0);
    form->Action("EjectMenu")->trigger();
    EXPECT_FALSE(form->Playing());
    EXPECT_EQ(form->Player()->State(), TCDPlayer::TState::Idle);
    EXPECT_FALSE(DriveMediaState(0).DiscPresent);
    form->Action("CloseCdRomMenu")->trigger();
    EXPECT_TRUE(DriveMediaState(0).DiscPresent);

    Play(*form, 0);
    ASSERT_TRUE(form->Playing());
    form->close();
    EXPECT_EQ(form->Player()->State(), TCDPlayer::TState::Idle);
}

TEST_F(PlayerTest, FailuresEndPlaybackWithTheReason)
{
    {
        SCOPED_TRACE("no sound device");
        qputenv("SDL_AUDIODRIVER", "nosuch");
        auto form = Open({"audio:40"});
        Play(*form, 0);
        ASSERT_TRUE(WaitUntilStopped(*form));
        EXPECT_EQ(form->StatusText(), QStringLiteral("媒体设备初始化失败！ Invalid device number"));
        EXPECT_FALSE(form->Action("aStop")->isEnabled());
        form->close();
        qputenv("SDL_AUDIODRIVER", "disk");
    }
    {
        SCOPED_TRACE("image removed while playing");
        auto form = Open({"audio:750"});
        Play(*form, 0);
        ASSERT_TRUE(form->Playing());
        ASSERT_TRUE(QFile::remove(Path("disc.cue")));
        ASSERT_TRUE(WaitUntilStopped(*form));
        EXPECT_EQ(form->StatusText(), QStringLiteral("媒体设备初始化失败！ no disc in the drive"));
        EXPECT_EQ(form->TimeText(), "");
        form->close();
    }
}

TEST_F(PlayerTest, CommandLinePlaysATrackAndTellsWhyItCannot)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:20", "--track", "audio:25", "--track", "data:30"}, "cli");
    auto run = [&](const QStringList& args, QByteArray* err) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VARNELCD_DISC_IMAGES", cue);
        env.insert("SDL_AUDIODRIVER", "disk");
        env.insert("SDL_DISKAUDIOFILE", Card);
        p.setProcessEnvironment(env);
        p.start(VARNELCD_CLI, QStringList{"cdplay"} + args);
        EXPECT_TRUE(p.waitForFinished(30000));
        *err = p.readAllStandardError();
        return p.exitCode();
    };
    QByteArray err;
    EXPECT_EQ(run({"--track", "2"}, &err), 0) << err.toStdString();
    const QByteArray got = Audible(ReadAll(Card));
    const QByteArray expect = Audible(TrackAudio(2, 25));
    EXPECT_EQ(got.size(), expect.size());
    EXPECT_TRUE(got == expect);

    EXPECT_EQ(run({"--track", "3"}, &err), 1);
    EXPECT_TRUE(QString::fromUtf8(err).contains(QStringLiteral("音轨 3 是数据音轨"))) << err.toStdString();
    EXPECT_EQ(run({"--track", "9"}, &err), 1);
    EXPECT_TRUE(QString::fromUtf8(err).contains(QStringLiteral("光盘上没有音轨 9"))) << err.toStdString();
    EXPECT_EQ(run({}, &err), 2);
}
