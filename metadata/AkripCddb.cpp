#include "metadata/AkripCddb.h"
#include "metadata/CddbProtocol.h"
#include "platform/HttpClient.h"
#include "platform/TextCodec.h"

#include <QUrl>
#include <algorithm>
#include <cstring>
#include <mutex>

// --- CDDB -------------------------------------------------------------------------------
// The functions speak the cddb.cgi protocol over HTTP through the program's HTTP client, on
// the calling thread. The options are global; the failure text and the abort token belong
// to the calling thread.

namespace {

struct TCddbOptions {
    QString Server = QStringLiteral("gnudb.gnudb.org");
    QString Script = QStringLiteral("/~cddb/cddb.cgi");
    QString Agent = QStringLiteral("program 1.0");
    QString User = QStringLiteral("anonymous@localhost");
    bool UseProxy = false;
    QString Proxy;
    int ProxyPort = 80;
    int IdleTimeoutMs = 10000;
    int TimeoutMs = 30000;
};

std::mutex cddbMutex;
TCddbOptions cddbOptions;
thread_local QString cddbErrorText;
thread_local THttpAbort* cddbAbort = nullptr;

int CddbFail(int code, const QString& why)
{
    cddbErrorText = why;
    SetAspiLibError(code);
    return 0;
}

// Sends one command; on success `reply` holds the decoded reply text.
bool CddbCommand(const QString& command, QString& reply)
{
    TCddbOptions o;
    {
        std::lock_guard lock(cddbMutex);
        o = cddbOptions;
    }
    QString client, version;
    SplitCddbClient(o.Agent, client, version);
    const QUrl url = CddbCommandUrl(o.Server, o.Script, command, CddbHelloFromEmail(o.User, client, version));
    THttpOptions http;
    http.IdleTimeoutMs = o.IdleTimeoutMs;
    http.TotalTimeoutMs = o.TimeoutMs;
    http.UseProxy = o.UseProxy;
    http.ProxyAddress = o.Proxy;
    http.ProxyPort = QString::number(o.ProxyPort);
    http.UserAgent = (client + QLatin1Char('/') + version).toUtf8();
    const THttpResult r = HttpGet(url, http, cddbAbort);
    if (!r.Ok) {
        CddbFail(cddbAbort && cddbAbort->Aborted() ? ALERR_CDDB_STOPPED : ALERR_CDDB_NETWORK, r.Error);
        return false;
    }
    reply = DecodeCddbReply(r.Body);
    return true;
}

} // namespace

void CDDBSetOption(int option, const char* text, int number)
{
    const QString t = text ? QString::fromUtf8(text) : QString();
    std::lock_guard lock(cddbMutex);
    TCddbOptions& o = cddbOptions;
    switch (option) {
    case CDDB_OPT_SERVER: o.Server = t.trimmed(); break;
    case CDDB_OPT_PROXY: o.Proxy = t.trimmed(); break;
    case CDDB_OPT_USEPROXY: o.UseProxy = number != 0; break;
    case CDDB_OPT_AGENT: o.Agent = t; break;
    case CDDB_OPT_USER: o.User = t; break;
    case CDDB_OPT_PROXYPORT: o.ProxyPort = number >= 1 && number <= 65535 ? number : 80; break;
    case CDDB_OPT_CGI: o.Script = t.trimmed(); break;
    case CDDB_OPT_IDLETIMEOUT: if (number > 0) o.IdleTimeoutMs = number; break;
    case CDDB_OPT_TIMEOUT: if (number > 0) o.TimeoutMs = number; break;
    default: break;
    }
}

int CDDBQuery(HCDROM handle, TCddbMatchList& list)
{
    const int room = std::clamp<int>(list.Count, 0, CDDB_MAX_MATCHES);
    list.Count = 0;
    cddbErrorText.clear();
    if (room > 0 && !list.Matches)
        return CddbFail(ALERR_INVPARAM, QStringLiteral("No room for matches."));
    // The drive is free again before the network is asked.
    std::vector<int> starts;
    int leadOut = 0;
    if (!DiscStarts(handle, starts, leadOut))
        return CddbFail(GetAspiLibError(), GetAspiLibError() == ALERR_INVHANDLE ? QStringLiteral("Invalid drive handle.")
                                                                               : QStringLiteral("No disc in the drive."));
    TCddbToc toc;
    toc.Starts = QVector<int>(starts.begin(), starts.end());
    toc.LeadOut = leadOut;
    const TCddbDiscId id = CddbDiscIdOf(toc);
    if (!id.Valid)
        return CddbFail(ALERR_NODISC, QStringLiteral("The table of contents gives no disc id."));
    QString text;
    if (!CddbCommand(QStringLiteral("cddb query ") + id.IdText + QLatin1Char(' ') + id.QueryString, text))
        return 0;
    const TCddbQueryReply reply = ParseCddbQueryReply(text);
    if (!reply.Ok())
        return CddbFail(ALERR_CDDB_SERVER, CddbReplyReason(text));
    if (room > 0)
        std::memset(list.Matches, 0, sizeof(TCddbMatch) * size_t(room));
    int n = 0;
    for (const TCddbQueryMatch& m : reply.Matches) {
        if (n >= room)
            break;
        // A category or id that does not fit would name another entry: skip it.
        const QByteArray cat = m.Category.toUtf8(), did = m.DiscId.toUtf8();
        if (cat.size() >= qsizetype(sizeof(TCddbMatch::Category)) || did.size() >= qsizetype(sizeof(TCddbMatch::DiscId)))
            continue;
        CopyCText(list.Matches[n].Category, sizeof(TCddbMatch::Category), cat);
        CopyCText(list.Matches[n].DiscId, sizeof(TCddbMatch::DiscId), did);
        CopyCText(list.Matches[n].Title, sizeof(TCddbMatch::Title), m.Title.toUtf8());
        ++n;
    }
    list.Count = n;
    if (n == 0) {
        cddbErrorText = QStringLiteral("The server knows no entry for disc ") + id.IdText + QLatin1Char('.');
        SetAspiLibError(ALERR_CDDB_NOMATCH);
        return 1;
    }
    SetAspiLibError(ALERR_NOERROR);
    return 1;
}

int CDDBGetDiskInfo(const TCddbMatch* match, char* text, int size)
{
    cddbErrorText.clear();
    if (text && size > 0)
        text[0] = 0;
    if (!match || !text || size <= 0)
        return CddbFail(ALERR_INVPARAM, QStringLiteral("No match or no text buffer."));
    const QString category = QString::fromUtf8(match->Category, qstrnlen(match->Category, sizeof(match->Category)));
    const QString discId = QString::fromUtf8(match->DiscId, qstrnlen(match->DiscId, sizeof(match->DiscId)));
    if (category.isEmpty() || discId.isEmpty() || category.contains(QLatin1Char(' ')) || discId.contains(QLatin1Char(' ')))
        return CddbFail(ALERR_INVPARAM, QStringLiteral("Not a match of a query."));
    QString reply;
    if (!CddbCommand(QStringLiteral("cddb read ") + category + QLatin1Char(' ') + discId, reply))
        return 0;
    QString entry, reason;
    if (!CddbReadReplyEntry(reply, entry, reason))
        return CddbFail(ALERR_CDDB_SERVER, reason);
    const QByteArray bytes = entry.toUtf8();
    if (bytes.size() + 1 > size)
        return CddbFail(ALERR_BUFTOOSMALL, QStringLiteral("The entry is larger than %1 bytes.").arg(size - 1));
    std::memcpy(text, bytes.constData(), size_t(bytes.size()));
    text[bytes.size()] = 0;
    SetAspiLibError(ALERR_NOERROR);
    return 1;
}

QString CDDBLastErrorText()
{
    return cddbErrorText;
}

void CDDBSetAbort(THttpAbort* abort)
{
    cddbAbort = abort;
}
