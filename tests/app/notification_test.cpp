// The desktop notification at the end of a long job: sent to a notification service on a
// private session bus, and nothing (no hang, no message) where there is no bus.
#include "app/core/JobNotification.h"

#include "fixtures/FakeNotifications.h"

#include <QDBusConnection>
#include <gtest/gtest.h>

TEST(JobNotification, ReachesTheServiceOnThePrivateBusAndNothingWithoutOne)
{
    {
        TPrivateBus bus;
        if (bus.Address().isEmpty())
            GTEST_SKIP() << "no private session bus (dbus-daemon missing?)";
        QDBusConnection client = QDBusConnection::connectToBus(bus.Address(), "client");
        ASSERT_TRUE(SendDesktopNotification({"Rip finished with errors", "Artist - <Album> & more\n9 file(s) made, 1 failed"}, client));
        EXPECT_TRUE(bus.WaitForCalls(1));
        EXPECT_EQ(bus.Service.Received, (QStringList{"VarnelCD", "Rip finished with errors",
                                                     "Artist - &lt;Album&gt; &amp; more\n9 file(s) made, 1 failed"}));
        QDBusConnection::disconnectFromBus("client");
    }
    EXPECT_FALSE(SendDesktopNotification({"x", "y"}, QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "none")));
}
