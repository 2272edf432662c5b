#include "platform/HttpClient.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <memory>

void THttpAbort::Abort()
{
    std::lock_guard lock(FLock);
    FAborted = true;
    // The reply lives on the requesting thread: ask that thread's loop to abort it.
    if (FReply)
        QMetaObject::invokeMethod(FReply, &QNetworkReply::abort, Qt::QueuedConnection);
}

bool THttpAbort::Aborted() const
{
    std::lock_guard lock(FLock);
    return FAborted;
}

quint16 HttpProxyPort(const QString& text)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? quint16(port) : quint16(80);
}

QNetworkProxy HttpProxyFor(const QUrl& url, const THttpOptions& options)
{
    if (options.UseProxy)
        return QNetworkProxy(QNetworkProxy::HttpProxy, options.ProxyAddress.trimmed(),
                             HttpProxyPort(options.ProxyPort));
    const QList<QNetworkProxy> system = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    return system.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : system.first();
}

namespace {

QString KiB(qint64 bytes)
{
    return QString::number(bytes / 1024) + QStringLiteral(" KiB");
}

} // namespace

THttpResult HttpGet(const QUrl& url, const THttpOptions& options, THttpAbort* abort)
{
    THttpResult result;
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        result.Error = QStringLiteral("Not a valid HTTP address: ") + url.toString();
        return result;
    }
    if (abort && abort->Aborted()) {
        result.Error = QStringLiteral("Stopped.");
        return result;
    }

    QNetworkAccessManager manager;
    manager.setProxy(HttpProxyFor(url, options));
    QNetworkRequest request(url);
    if (!options.UserAgent.isEmpty())
        request.setHeader(QNetworkRequest::UserAgentHeader, options.UserAgent);
    if (!options.Range.isEmpty())
        request.setRawHeader("Range", options.Range);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(options.MaxRedirects);

    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    if (abort) {
        std::lock_guard lock(abort->FLock);
        abort->FReply = reply.get();
        if (abort->FAborted)
            QMetaObject::invokeMethod(reply.get(), &QNetworkReply::abort, Qt::QueuedConnection);
    }

    QEventLoop loop;
    QTimer idle;
    QTimer total;
    idle.setSingleShot(true);
    total.setSingleShot(true);
    QString failure;
    bool done = false;
    const auto fail = [&](const QString& why) {
        if (failure.isEmpty())
            failure = why;
        reply->abort();
    };
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        idle.start(options.IdleTimeoutMs);
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > options.MaxBytes)
            fail(QStringLiteral("The reply is larger than ") + KiB(options.MaxBytes) + QLatin1Char('.'));
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        idle.start(options.IdleTimeoutMs);
        result.Body += reply->readAll();
        if (result.Body.size() > options.MaxBytes)
            fail(QStringLiteral("The reply is larger than ") + KiB(options.MaxBytes) + QLatin1Char('.'));
    });
    QObject::connect(&idle, &QTimer::timeout, &loop, [&] {
        fail(QStringLiteral("The server sent nothing for %1 s.").arg(options.IdleTimeoutMs / 1000.0));
    });
    QObject::connect(&total, &QTimer::timeout, &loop, [&] {
        fail(QStringLiteral("The server did not finish within %1 s.").arg(options.TotalTimeoutMs / 1000.0));
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    idle.start(options.IdleTimeoutMs);
    total.start(options.TotalTimeoutMs);
    if (!reply->isFinished() && !done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    bool aborted = false;
    if (abort) {
        std::lock_guard lock(abort->FLock);
        abort->FReply = nullptr;
        aborted = abort->FAborted;
    }
    if (failure.isEmpty() && result.Body.size() <= options.MaxBytes && reply->isOpen())
        result.Body += reply->readAll();
    result.Status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool success = result.Status == 200 || (result.Status == 206 && !options.Range.isEmpty());
    if (aborted) {
        result.Error = QStringLiteral("Stopped.");
    } else if (!failure.isEmpty()) {
        result.Error = failure;
    } else if (result.Status != 0 && !success) {
        result.Error = QStringLiteral("The server answered HTTP %1 %2.")
                           .arg(result.Status)
                           .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    } else if (reply->error() != QNetworkReply::NoError) {
        result.Error = result.Body.isEmpty() && result.Status == 0
                           ? QStringLiteral("No connection to %1: %2").arg(url.host(), reply->errorString())
                           : QStringLiteral("The reply was cut short: %1").arg(reply->errorString());
    } else if (!success) {
        result.Error = QStringLiteral("The server sent no HTTP reply.");
    } else {
        // Content-Length counts the bytes as sent; a compressed body arrives decompressed.
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && reply->rawHeader("Content-Encoding").isEmpty() &&
            length.toLongLong() != result.Body.size())
            result.Error = QStringLiteral("The reply was cut short (%1 of %2 bytes).")
                               .arg(result.Body.size())
                               .arg(length.toLongLong());
    }
    // Disconnect before the reply goes: aborting it in its destructor emits signals.
    QObject::disconnect(reply.get(), nullptr, &loop, nullptr);
    if (!reply->isFinished())
        reply->abort();
    result.Ok = result.Error.isEmpty();
    if (!result.Ok)
        result.Body.clear();
    return result;
}
