// The disc watcher: arrivals, removals and replacements seen by its own thread and
// reported on the main thread, in order.
#include "AppTestHome.h"
#include "app/core/DiscWatcher.h"
#include "fixtures/TestDisc.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace {

class DiscWatcherTest : public AppTestHome {
protected:
    // Pumps events until `count` notices have come (or 10 s have passed).
    bool WaitForNotices(int count)
    {
        QElapsedTimer t;
        t.start();
        while (Notices.size() < count && t.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        return Notices.size() >= count;
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
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:300"}, "disc");
    const QString other = MakeTestDisc(Home.path(), {"--track", "audio:600"}, "other");
    const QString aside = Path("aside.cue");
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
    // removal, then an arrival.
    ASSERT_TRUE(QFile::rename(aside, cue));
    ASSERT_TRUE(WaitForNotices(3));
    Notices.clear();
    ASSERT_TRUE(WriteAll(Path("next.cue"), ReadAll(other).replace("other.bin", "disc.bin")));
    ASSERT_TRUE(QFile::remove(Path("disc.bin")));
    ASSERT_TRUE(QFile::rename(Path("other.bin"), Path("disc.bin")));
    ASSERT_TRUE(QFile::remove(cue));
    ASSERT_TRUE(QFile::rename(Path("next.cue"), cue));
    ASSERT_TRUE(WaitForNotices(2));
    watcher.Stop();
    EXPECT_EQ(Notices, (QStringList{"removed", "arrived"}));
}

TEST_F(DiscWatcherTest, PollReportsAtOnceAndStopIsPrompt)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:300"}, "disc");
    SetDiscImages({cue});
    TDiscWatcher watcher(nullptr, 60000);   // the thread would look only once a minute
    Watch(watcher);
    watcher.Start();
    EXPECT_TRUE(QFile::remove(cue));
    watcher.Poll();
    EXPECT_EQ(Notices, QStringList{"removed"});
    QElapsedTimer t;
    t.start();
    watcher.Stop();
    EXPECT_LT(t.elapsed(), 5000);
    watcher.Stop();   // twice is harmless
}
