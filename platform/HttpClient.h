#pragma once
// The program's one HTTP client (GET only), used by both CDDB routes. It runs Qt Network on
// the calling thread inside a local event loop that takes no user input, so it blocks its
// caller like the Windows internet functions did, and it can be aborted from any thread.
//
// A request fails, with a reason, on: no connection, an HTTP status other than 200 (or 206
// for a range request), no byte for IdleTimeoutMs or more than TotalTimeoutMs in all, a body
// cut short (shorter than its Content-Length) or larger than MaxBytes.
#include <QByteArray>
#include <QNetworkProxy>
#include <QString>
#include <QUrl>
#include <mutex>

class QNetworkReply;

struct THttpOptions {
    int IdleTimeoutMs = 10000;
    int TotalTimeoutMs = 30000;
    qint64 MaxBytes = 1 << 20;
    // UseProxy: an HTTP proxy at ProxyAddress:ProxyPort; otherwise the system's proxy.
    bool UseProxy = false;
    QString ProxyAddress;
    QString ProxyPort;
    QByteArray UserAgent;
    // Redirects followed (never from https to http); more fail the request.
    int MaxRedirects = 3;
    // Sent as the Range header ("bytes=0-188159") when set; a 206 Partial Content reply is
    // then a success as well as a 200 with the whole body.
    QByteArray Range;
};

struct THttpResult {
    bool Ok = false;
    int Status = 0;           // HTTP status; 0 when none was received
    QByteArray Body;
    QString Error;            // why it failed (empty on success)
};

// Lets another thread end a running request at once. One token serves one request at a
// time; once aborted it stays aborted, and a request started with it fails straight away.
class THttpAbort {
public:
    void Abort();
    bool Aborted() const;

private:
    friend THttpResult HttpGet(const QUrl&, const THttpOptions&, THttpAbort*);
    mutable std::mutex FLock;
    bool FAborted = false;
    QNetworkReply* FReply = nullptr;     // the running request; touched under FLock only
};

THttpResult HttpGet(const QUrl& url, const THttpOptions& options, THttpAbort* abort = nullptr);

// A proxy port text as a port: 80 when it is not a number in 1..65535.
quint16 HttpProxyPort(const QString& text);
// The proxy a request to `url` goes through with these options.
QNetworkProxy HttpProxyFor(const QUrl& url, const THttpOptions& options);
