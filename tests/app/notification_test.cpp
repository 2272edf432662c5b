// The desktop notification at the end of a long job: sent to a notification service on a
// private session bus, and nothing (no hang, no message) where there is no bus.
#include "app/core/JobNotification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>
#include <gtest/gtest.h>

namespace {

// Stands in for the desktop's notification service.
class TFakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList Received;   // app name, summary and body of each call
public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        Received << app << summary << body;
        return 1;
    }
};

} // namespace

TEST(JobNotification, ReachesTheServiceOnThePrivateBusAndNothingWithoutOne)
{
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    {
        QDBusConnection service = QDBusConnection::connectToBus(address, "service");
        TFakeNotifications fake;
        ASSERT_TRUE(service.registerObject("/org/freedesktop/Notifications", &fake, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService("org.freedesktop.Notifications")) << service.lastError().message().toStdString();
        QDBusConnection client = QDBusConnection::connectToBus(address, "client");
        ASSERT_TRUE(SendDesktopNotification({"Rip finished with errors", "Artist - <Album> & more\n9 file(s) made, 1 failed"}, client));
        QElapsedTimer wait;
        wait.start();
        while (fake.Received.isEmpty() && wait.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_EQ(fake.Received, (QStringList{"VarnelCD", "Rip finished with errors",
                                              "Artist - &lt;Album&gt; &amp; more\n9 file(s) made, 1 failed"}));
        QDBusConnection::disconnectFromBus("client");
        QDBusConnection::disconnectFromBus("service");
    }
    daemon.kill();
    daemon.waitForFinished();
    EXPECT_FALSE(SendDesktopNotification({"x", "y"}, QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "none")));
}

#include "notification_test.moc"
