// The disc watcher: arrivals, removals and replacements seen by its own thread and
// reported on the main thread, in order. Every change a test makes is one step the watcher
// can see whole, so the notices do not depend on when it happens to look.
#include "AppTestHome.h"
#include "app/core/DiscWatcher.h"
#include "fixtures/AuTestComponents.h"
#include "fixtures/TestDisc.h"
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <limits>

namespace {

// A watcher that hangs fails the test that has it, with its name.
const bool Watched = WatchEveryTest(60000);

class DiscWatcherTest : public AppTestHome {
protected:
    // Pumps events until `count` notices have come (the bound is only a watchdog).
    bool WaitForNotices(int count)
    {
        return PumpUntil([&] { return Notices.size() >= count; });
    }
    void Watch(TDiscWatcher& w)
    {
        QObject::connect(&w, &TDiscWatcher::VolumeArrived, [this] {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            Notices << "arrived";
        });
        QObject::connect(&w, &TDiscWatcher::VolumeRemoved, [this] { Notices << "removed"; });
    }
    QStringList Notices;
};

} // namespace

TEST_F(DiscWatcherTest, ReportsArrivalRemovalAndReplacement)
{
    // The drive's image lives in a folder of its own; the next disc waits in another.
    ASSERT_TRUE(QDir(Home.path()).mkpath("drive"));
    ASSERT_TRUE(QDir(Home.path()).mkpath("next"));
    const QString cue = MakeTestDisc(Path("drive"), {"--track", "audio:300"}, "disc");
    ASSERT_FALSE(MakeTestDisc(Path("next"), {"--track", "audio:600"}, "disc").isEmpty());
    const QString aside = Path("drive/aside.cue");
    ASSERT_TRUE(QFile::rename(cue, aside));
    SetDiscImages({cue});

    TDiscWatcher watcher(nullptr, 30);
    Watch(watcher);
    watcher.Start();
    ASSERT_TRUE(QFile::rename(aside, cue));
    ASSERT_TRUE(WaitForNotices(1));
    EXPECT_EQ(Notices, QStringList{"arrived"});

    ASSERT_TRUE(QFile::rename(cue, aside));
    ASSERT_TRUE(WaitForNotices(2));
    EXPECT_EQ(Notices.last(), "removed");

    // The disc comes back, then another disc takes its place under the same name: a
    // removal, then an arrival, whether the watcher looks between the two renames or not.
    ASSERT_TRUE(QFile::rename(aside, cue));
    ASSERT_TRUE(WaitForNotices(3));
    Notices.clear();
    ASSERT_TRUE(QDir(Home.path()).rename("drive", "gone"));
    ASSERT_TRUE(QDir(Home.path()).rename("next", "drive"));
    ASSERT_TRUE(WaitForNotices(2));
    watcher.Stop();
    EXPECT_EQ(Notices, (QStringList{"removed", "arrived"}));
}

TEST_F(DiscWatcherTest, PollReportsAtOnceAndStopIsPrompt)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:300"}, "disc");
    SetDiscImages({cue});
    // The thread would look only after weeks: a Stop that waited for it would hang (and
    // the watchdog end the test) instead of depending on a measured time.
    TDiscWatcher watcher(nullptr, std::numeric_limits<int>::max());
    Watch(watcher);
    watcher.Start();
    EXPECT_TRUE(QFile::remove(cue));
    watcher.Poll();
    EXPECT_EQ(Notices, QStringList{"removed"});
    watcher.Stop();
    watcher.Stop();   // twice is harmless
}
