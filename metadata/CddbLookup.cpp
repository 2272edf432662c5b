#include "metadata/CddbLookup.h"
#include "settings/CDInfo.h"
#include "settings/Lang.h"

#include <QCoreApplication>
#include <vector>

void SetCddbLibraryOptions(const TQueryCDDB& settings, int idleTimeoutMs, int timeoutMs)
{
    // The order the library expects: server, script, greeting, then the proxy.
    CDDBSetOption(CDDB_OPT_SERVER, settings.Server.toUtf8().constData(), 0);
    CDDBSetOption(CDDB_OPT_CGI, settings.Script.toUtf8().constData(), 0);
    CDDBSetOption(CDDB_OPT_USER, CDDB_EMAIL, 0);
    CDDBSetOption(CDDB_OPT_AGENT, CDDB_AGENT, 0);
    CDDBSetOption(CDDB_OPT_USECDPLAYERINI, "", 0);
    CDDBSetOption(CDDB_OPT_USEPROXY, "", settings.UseProxy ? 1 : 0);
    if (settings.UseProxy) {
        CDDBSetOption(CDDB_OPT_PROXYPORT, "", HttpProxyPort(settings.Port));
        CDDBSetOption(CDDB_OPT_PROXY, settings.ProxyAddress.toUtf8().constData(), 0);
    }
    CDDBSetOption(CDDB_OPT_IDLETIMEOUT, "", idleTimeoutMs);
    CDDBSetOption(CDDB_OPT_TIMEOUT, "", timeoutMs);
}

TCddbLookupResult RunCddbLookup(HCDROM handle, THttpAbort* abort)
{
    TCddbLookupResult result;
    CDDBSetAbort(abort);
    std::vector<TCddbMatch> matches(CDDB_MAX_MATCHES);   // zero-filled
    TCddbMatchList list;
    list.Count = CDDB_MAX_MATCHES;
    list.Matches = matches.data();
    if (CDDBQuery(handle, list) != 1) {
        result.Error = GetAspiLibError();
        result.Reason = CDDBLastErrorText();
    } else if (list.Count == 0) {
        result.Error = GetAspiLibError();
        result.Reason = CDDBLastErrorText();
    } else {
        std::vector<char> text(CDDB_INFO_SIZE);
        for (int i = 0; i < list.Count; ++i) {
            if (CDDBGetDiskInfo(&matches[size_t(i)], text.data(), int(text.size())) == 1) {
                result.Code = CddbResult::Finished;
                result.Error = 0;
                result.Reason.clear();
                result.Entry = ParseCddbEntry(QString::fromUtf8(text.data()));
                break;
            }
            result.Error = GetAspiLibError();
            result.Reason = CDDBLastErrorText();
            if (result.Error == ALERR_CDDB_STOPPED)
                break;
        }
    }
    CDDBSetAbort(nullptr);
    return result;
}

void ApplyCddbEntry(const TCddbEntry& entry, TCDInfo& info, QStringList& rowTitles, bool splitTrackArtist)
{
    info.Artist = entry.Artist;
    info.Album = entry.Album;
    info.Year = entry.Year;
    info.Genre = GenreIndexOf(entry.Genre);
    for (auto it = entry.Titles.cbegin(); it != entry.Titles.cend(); ++it) {
        if (it.key() >= rowTitles.size())
            break;
        QString artist, title = it.value();
        if (splitTrackArtist)
            SplitCddbTitle(it.value(), false, artist, title);
        rowTitles[it.key()] = title;
    }
}

QStringList CddbNoMatchHints()
{
    return {LangString("RES_CDDB_NoMatch", QStringLiteral("没有找到匹配的信息，可能是：")),
            LangString("RES_CDDB_Hint1", QStringLiteral("1.CDDB服务器中没有该光盘的信息")),
            LangString("RES_CDDB_Hint2", QStringLiteral("2.CDDB设置有误")),
            LangString("RES_CDDB_Hint3", QStringLiteral("3.请检查网络连接"))};
}

TQueryCDDBThread::TQueryCDDBThread(uint8_t firstTrack, uint8_t lastTrack, HCDROM handle, QObject* notifyWindow,
                                   const TQueryCDDB& settings, QObject* parent)
    : QThread(parent)
    , FirstTrack(firstTrack)
    , LastTrack(lastTrack)
    , CDHandle(handle)
    , FSettings(settings)
    , FNotify(notifyWindow)
{
}

TQueryCDDBThread::~TQueryCDDBThread()
{
    Abandon();
    wait();
}

void TQueryCDDBThread::Abandon()
{
    std::lock_guard lock(FLock);
    FNotify = nullptr;
    FAbort.Abort();
}

void TQueryCDDBThread::run()
{
    SetCddbLibraryOptions(FSettings, FIdleMs, FTotalMs);
    TCddbLookupResult result = RunCddbLookup(CDHandle, &FAbort);
    std::lock_guard lock(FLock);
    if (FNotify)
        QCoreApplication::postEvent(FNotify, new TCddbResultEvent(std::move(result)));
}
