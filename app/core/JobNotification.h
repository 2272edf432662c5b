#pragma once
// A desktop notification when a long rip or conversion ends (the freedesktop Notifications
// service over the session D-Bus), so that a user who went to do something else learns that
// the job is over and how it went. Where no session bus or no notification service runs,
// nothing happens and nothing is said.
#include <QDBusConnection>
#include <QString>

class TJobBase;

struct TJobNotice {
    QString Summary;   // "Rip finished" / "Conversion finished" (with failures: "... with errors")
    QString Body;      // the album, the count of files, failures, the job's own verdict line
};

// The notice for a job that has ended: `what` names the job ("Rip", "Conversion"), `album`
// the disc (empty for conversions).
TJobNotice JobNoticeOf(const TJobBase& job, const QString& what, const QString& album);

// Hands the notice to the notification service without waiting for its answer. False when
// there is no bus to send it on.
bool SendDesktopNotification(const TJobNotice& notice,
                             const QDBusConnection& bus = QDBusConnection::sessionBus());

// Watches `job` from now: when it ends more than `minimumMs` later (negative: the
// program-wide minimum), its notice is sent.
void NotifyWhenDone(TJobBase& job, const QString& what, const QString& album, int minimumMs = -1);
// The program-wide minimum of the jobs' windows: 10 s; a test sets 0 to see short jobs' notices.
void SetNotificationMinimumMs(int ms);
