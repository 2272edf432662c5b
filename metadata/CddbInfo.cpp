#include "metadata/CddbInfo.h"
#include "audio/AuException.h"
#include "cd/CDInput.h"

namespace {

constexpr int kLongText = 255;
constexpr int kYearLength = 4;
constexpr int kGenreLength = 30;
constexpr int kDiscLengthLength = 30;

} // namespace

bool TCddbHandleToc::ReadCddbToc(TCddbToc& toc)
{
    TTocRecord record{};
    if (!ModifyCDParms(FHandle, CDP_MSF, 0) || ReadTOC(FHandle, record) != 1)
        return false;
    // LBA mode: big-endian sector numbers; the entry after the last track is the lead-out.
    const int count = int(record.LastTrack) - int(record.FirstTrack) + 1;
    if (count < 1 || count > 99)
        return false;
    const auto lba = [&](int i) {
        const uint8_t* a = record.Entries[i].Address;
        return int(uint32_t(a[0]) << 24 | uint32_t(a[1]) << 16 | uint32_t(a[2]) << 8 | a[3]);
    };
    toc.Starts.clear();
    toc.DataTracks.clear();
    for (int i = 0; i < count; ++i) {
        toc.Starts << lba(i);
        toc.DataTracks << ((record.Entries[i].AdrControl & 0x04) != 0);
    }
    toc.LeadOut = lba(count);
    return true;
}

bool TCddbCDInToc::ReadCddbToc(TCddbToc& toc)
{
    std::vector<TCRTocEntry> entries;
    if (!FIn.MediaPresent() || !FIn.ReadToc(entries) || entries.size() < 2)
        return false;
    toc.Starts.clear();
    toc.DataTracks.clear();
    for (size_t i = 0; i + 1 < entries.size(); ++i) {
        toc.Starts << int(entries[i].StartSector);
        toc.DataTracks << ((entries[i].Flags & CR_DATA_TRACK_FLAG) != 0);
    }
    toc.LeadOut = int(entries.back().StartSector);
    return true;
}

TCDDBAlbum CddbAlbumOf(const TCddbEntry& entry)
{
    TCDDBAlbum a;
    a.Artist = entry.Artist.left(kLongText);
    a.AlbumTitle = entry.Album.left(kLongText);
    a.Year = entry.Year.left(kYearLength);
    a.Genre = entry.Genre.left(kGenreLength);
    a.DiscExtra = entry.DiscExtra.left(kLongText);
    a.Generated = entry.Generated.left(kLongText);
    a.DiscLength = entry.DiscLength.left(kDiscLengthLength);
    a.TrackCount = entry.TitleCount();
    for (int k = 0; k < a.TrackCount; ++k) {
        const QString value = entry.Titles.value(k);
        QString artist, title;
        if (!SplitCddbTitle(value, false, artist, title)) {
            artist = a.Artist;
            title = value;
        }
        a.TrackArtists << artist.left(kLongText);
        a.TrackTitles << title.left(kLongText);
        a.TrackExtras << entry.Extras.value(k).left(kLongText);
    }
    return a;
}

QString StoredCddbTitle(const TCDDBAlbum& album, int k)
{
    const QString title = album.TrackTitles.value(k);
    const QString artist = album.TrackArtists.value(k);
    if (title.isEmpty() || artist.isEmpty() || artist == album.Artist)
        return title;
    return artist + QStringLiteral(" / ") + title;
}

int TCDDBQuery::Query(const QUrl& queryUrl, const std::function<QUrl(const TCddbQueryMatch&)>& readUrl,
                      const THttpOptions& http)
{
    Entry = false;
    Reason.clear();
    Matches.clear();
    Lines.clear();
    const THttpResult q = HttpGet(queryUrl, http);
    if (!q.Ok) {
        Reason = q.Error;
        return -1;
    }
    const QString text = DecodeCddbReply(q.Body);
    Lines = text.split(QLatin1Char('\n'));
    const TCddbQueryReply reply = ParseCddbQueryReply(text);
    Matches = reply.Matches;
    if (reply.Matches.isEmpty()) {
        Reason = reply.Code == 202 ? QStringLiteral("The server knows no entry for this disc.")
                                   : CddbReplyReason(text);
        return reply.Code;
    }
    const THttpResult r = HttpGet(readUrl(reply.Matches.first()), http);
    if (!r.Ok) {
        Reason = r.Error;
        return reply.Code;
    }
    const QString readText = DecodeCddbReply(r.Body);
    Lines = readText.split(QLatin1Char('\n'));
    QString entry;
    if (!CddbReadReplyEntry(readText, entry, Reason))
        return reply.Code;
    Album = CddbAlbumOf(ParseCddbEntry(entry));
    Entry = true;
    return reply.Code;
}

TCDDBInfo::TCDDBInfo() = default;

TCddbDiscId TCDDBInfo::DiscId()
{
    if (!FCDIn)
        throw EAuException("CDIn is not assigned");
    TCddbToc toc;
    const TCddbDiscId id = FCDIn->ReadCddbToc(toc) ? CddbDiscIdOf(toc) : TCddbDiscId();
    FCddbDiscId = id.IdText;
    FQueryString = id.QueryString;
    return id;
}

QString TCDDBInfo::CddbDiscId()
{
    return DiscId().IdText;
}

QString TCDDBInfo::QueryString()
{
    return DiscId().QueryString;
}

int TCDDBInfo::Query()
{
    const TCddbDiscId id = DiscId();
    if (!id.Valid) {
        FQuery.Entry = false;
        FQuery.Reason = QStringLiteral("No audio disc, or its table of contents cannot be read.");
        return FQueryStatus = -2;
    }
    const TCddbHello hello = CddbHelloFromEmail(Email, ApplicationName, ApplicationVersion);
    THttpOptions http = Http;
    if (http.UserAgent.isEmpty())
        http.UserAgent = (ApplicationName + QLatin1Char('/') + ApplicationVersion).toUtf8();
    const QUrl queryUrl =
        CddbCommandUrl(Server, Script, QStringLiteral("cddb query ") + id.IdText + QLatin1Char(' ') + id.QueryString, hello);
    const auto readUrl = [&](const TCddbQueryMatch& m) {
        return CddbCommandUrl(Server, Script, QStringLiteral("cddb read ") + m.Category + QLatin1Char(' ') + m.DiscId, hello);
    };
    return FQueryStatus = FQuery.Query(queryUrl, readUrl, http);
}
