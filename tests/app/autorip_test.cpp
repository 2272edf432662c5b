// Rip on insert and eject when done, through the main window offscreen: a disc image made
// visible while the window runs (the disc watcher's path) is ripped when its titles are
// known; the drive opens after a rip that made every track and stays shut otherwise; each
// rip's end reaches a notification service on a private session bus.
#include "AppTestHome.h"
#include "app/core/DiscWatcher.h"
#include "app/core/JobNotification.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/FakeCddbServer.h"
#include "fixtures/FakeNotifications.h"
#include "fixtures/TestDisc.h"
#include "platform/ReadFaults.h"
#include "windows/MainForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

constexpr int ShortTrack = 150;

QStringList Wavs(const QString& folder)
{
    QStringList names;
    for (QDirIterator it(folder, {"*.wav"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        names << QFileInfo(it.next()).fileName();
    names.sort();
    return names;
}

} // namespace

class AutoRipTest : public AppTestHome {};

TEST_F(AutoRipTest, AnArrivingDiscIsRippedWhenItsTitlesAreKnownAndEjectedWhenEveryTrackWasMade)
{
    TPrivateBus bus;
    if (bus.Address().isEmpty())
        GTEST_SKIP() << "no private session bus (dbus-daemon missing?)";
    // The window's notices go to the session bus of this process: the private one.
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().toUtf8());
    SetNotificationMinimumMs(0);

    const QStringList titled{"--disc-title", "Album", "--disc-performer", "Band", "--title", "1:Opening",
                             "--title", QStringLiteral("2:第二首")};
    TFakeCddbServer cddb;
    const TFakeReply exact = TFakeReply::Cddb({"200 rock 0d00aa02 Band / Looked Up"});
    const TFakeReply inexact = TFakeReply::Cddb({"211 close", "rock 0d00aa02 Band / Looked Up", "misc 0d00aa02 Other", "."});
    const TFakeReply entry = TFakeReply::Cddb({"210 rock 0d00aa02 entry follows", "# xmcd", "DTITLE=Band / Looked Up",
                                               "TTITLE0=Uno", "TTITLE1=Dos", "."});
    struct Case {
        const char* name;
        QStringList cdText;
        int autoRip, eject;
        bool readFault;           // the second track cannot be read
        QStringList files;
        bool ejected;
        const char* notice;       // the summary of the job's notice (empty: no job)
        QList<TFakeReply> lookup; // the CDDB server's replies (none: no lookup allowed)
    } cases[] = {
        {"ripped and ejected", titled, 1, 1, false, {"Opening.wav", QStringLiteral("第二首.wav")}, true, "抓轨完成", {}},
        {"ripped, eject off", titled, 1, 0, false, {"Opening.wav", QStringLiteral("第二首.wav")}, false, "抓轨完成", {}},
        {"a failed track keeps it shut", titled, 1, 1, true, {"Opening.wav"}, false, "抓轨完成，但有错误", {}},
        {"no titles, no rip", {}, 1, 1, false, {}, false, "", {}},
        {"auto rip off", titled, 0, 1, false, {}, false, "", {}},
        {"one lookup match", {}, 1, 0, false, {"Dos.wav", "Uno.wav"}, false, "抓轨完成", {exact, entry}},
        {"several lookup matches", {}, 1, 0, false, {}, false, "", {inexact, entry}},
    };
    int notices = 0, number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case's disc is another one (its own length): the disc cache does not mix them up.
        const int sectors = ShortTrack + 10 * number++;
        const QString folder = Path(c.name);
        ASSERT_TRUE(QDir().mkpath(folder + "/out"));
        const QStringList args{"--track", "audio:" + QString::number(sectors), "--track", "audio:150"};
        const QString cue = MakeTestDisc(folder, args + c.cdText);
        ASSERT_TRUE(QFile::rename(cue, folder + "/aside.cue"));
        SetDiscImages({cue});
        ASSERT_TRUE(SetReadFaults(c.readFault ? QString("%1-%2").arg(sectors + 10).arg(sectors + 20) : QString()));

        TMainForm form;
        auto prompter = std::make_unique<TCannedPrompter>();
        TCannedPrompter* log = prompter.get();
        form.SetPrompter(std::move(prompter));
        form.show();
        // The window has read the settings file: the case's settings go over it.
        TCommonOptions& common = OptionsSetting.CommonOptions;
        common.OutputFolder = folder + "/out/";
        common.OutputFormat = 1;   // WAV
        common.WriteRipLog = false;
        common.AutoRip = c.autoRip;
        common.EjectWhenDone = c.eject;
        OptionsSetting.Ctdb.Use = false;
        OptionsSetting.AccurateRip.Url = "http://127.0.0.1:9/accuraterip";
        OptionsSetting.CDOptions.CDDb = !c.lookup.isEmpty();
        OptionsSetting.QueryCDDB.Server = "http://" + cddb.HostPort();
        for (const TFakeReply& reply : c.lookup)
            cddb.Push(reply);
        ASSERT_EQ(form.ListView1()->topLevelItemCount(), 0);

        // The disc arrives; the rip runs in the window's next turn of events, modally.
        ASSERT_TRUE(QFile::rename(folder + "/aside.cue", cue));
        form.DiscWatcher()->Poll();
        EXPECT_EQ(form.ListView1()->topLevelItemCount(), 2);
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(Wavs(folder + "/out"), c.files);
        EXPECT_EQ(ImageTrayOpen(cue), c.ejected);
        // An ejected disc leaves the list.
        EXPECT_EQ(form.ListView1()->topLevelItemCount(), c.ejected ? 0 : 2);
        if (*c.notice) {
            ASSERT_TRUE(bus.WaitForCalls(++notices));
            EXPECT_EQ(bus.Service.Received.mid(notices * 3 - 2, 1), QStringList{c.notice});
        }
        // Only the failed read is told.
        EXPECT_EQ(log->Log.size(), c.readFault ? 1 : 0);
        CloseDriveTray(0);
        form.close();
    }
    SetReadFaults({});
    EXPECT_EQ(cddb.Requests().size(), 4) << "each lookup asked and read";
    EXPECT_EQ(bus.Service.Received.size(), notices * 3);
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}
