#include "app/core/JobNotification.h"

#include "jobs/JobBase.h"
#include "settings/Lang.h"
#include <QSet>

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QVariantMap>
#include <atomic>
#include <memory>

TJobNotice JobNoticeOf(const TJobBase& job, const QString& what, const QString& album)
{
    int made = 0, failed = 0;
    QSet<QString> outputs;   // the tracks of a whole-disc file share one
    for (const TEntryResult& r : job.Results()) {
        if (r.Produced) {
            if (!outputs.contains(r.Output)) {
                outputs.insert(r.Output);
                ++made;
            }
        } else {
            ++failed;
        }
    }
    TJobNotice notice;
    notice.Summary = (failed ? LangString("RES_Notice_FinishedWithErrors", QStringLiteral("%1完成，但有错误"))
                             : LangString("RES_Notice_Finished", QStringLiteral("%1完成"))).arg(what);
    QStringList lines;
    if (!album.trimmed().isEmpty())
        lines << album.trimmed();
    lines << LangString("RES_Notice_FilesMade", QStringLiteral("生成了 %1 个文件")).arg(made)
                 + (failed ? LangString("RES_Notice_FilesFailed", QStringLiteral("，%1 个失败")).arg(failed) : QString());
    const QString verdict = job.VerdictSummary();
    if (!verdict.isEmpty())
        lines << verdict;
    notice.Body = lines.join(QLatin1Char('\n'));
    return notice;
}

bool SendDesktopNotification(const TJobNotice& notice, const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("/org/freedesktop/Notifications"),
                                                       QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the
    // server's default). The plain text goes as it is: '&' and '<' escaped for servers that
    // read markup.
    auto plain = [](QString text) { return text.toHtmlEscaped(); };
    call << QStringLiteral("VarnelCD") << 0u << QStringLiteral("media-optical-audio") << notice.Summary
         << plain(notice.Body) << QStringList() << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("varnelcd")}}
         << -1;
    // No reply is awaited: a missing or hung service never holds up the window.
    call.setAutoStartService(true);
    return bus.send(call);
}

namespace {
std::atomic<int> notificationMinimumMs{10000};
} // namespace

void SetNotificationMinimumMs(int ms)
{
    notificationMinimumMs = ms;
}

void NotifyWhenDone(TJobBase& job, const QString& what, const QString& album, int minimumMs)
{
    if (minimumMs < 0)
        minimumMs = notificationMinimumMs;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(&job, &TJobBase::CloseRequested, &job, [&job, what, album, minimumMs, clock] {
        if (clock->elapsed() >= minimumMs)
            SendDesktopNotification(JobNoticeOf(job, what, album));
    }, Qt::SingleShotConnection);
}
