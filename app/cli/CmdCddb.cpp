// varnelcd-cli cddb [--disc-image P]... [--drive N] [--server S] [--script P] [--timeout S]
//                   [--http] [--id-only] [--no-save]
#include "app/cli/CliCommand.h"
#include "app/cli/CliDisc.h"
#include "metadata/CddbInfo.h"
#include "metadata/CddbLookup.h"
#include "settings/CDInfo.h"
#include "settings/Options.h"

namespace {

constexpr int kDefaultIdleSeconds = 10;

void PrintNoEntry(const QString& reason)
{
    for (const QString& line : CddbNoMatchHints())
        PrintLine(stderr, line);
    PrintLine(stderr, reason);
}

// Looks the disc in the drive up in CDDB as the main window's command would, prints what
// it found and stores it in the disc information cache as closing the main window would.
int Cddb(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Look the disc in the drive up in a CDDB server and store its titles.");
    parser.addOption(QCommandLineOption("drive", "Use drive N (0-based position in the drive list).", "N"));
    parser.addOption(QCommandLineOption("server", "CDDB server: host, host:port or URL (default: the settings).", "S"));
    parser.addOption(QCommandLineOption("script", "Path of the query script (default: the settings).", "P"));
    parser.addOption(QCommandLineOption("timeout", "Seconds a request may take in all (default 30).", "S"));
    parser.addOption(QCommandLineOption("http", "Use the HTTP CDDB component even when the drive library has a handle."));
    parser.addOption(QCommandLineOption("id-only", "Print the disc id and query string only."));
    parser.addOption(QCommandLineOption("no-save", "Do not store the titles in the disc information cache."));
    if (const int rc = ParseCommandLine(parser, args, "cddb"); rc >= 0)
        return rc;
    int drive = 0, timeout = 0;
    if (!DriveAndTimeoutOptions(parser, drive, timeout))
        return 2;
    TQueryCDDB settings = OptionsSetting.QueryCDDB;
    if (parser.isSet("server"))
        settings.Server = parser.value("server");
    if (parser.isSet("script"))
        settings.Script = parser.value("script");

    TCliDisc disc;
    if (!disc.Open(drive, TCliDisc::FirstLibraryOnly))
        return 1;
    TDiscSession& session = disc.Session();
    QVector<TTrackRow> rows = disc.Rows();
    TCddbHandleToc toc(session.CDHandle());
    TCDDBInfo info;
    info.SetCDIn(&toc);
    const QString id = info.CddbDiscId();
    PrintLine(stdout, "discid\t" + id);
    PrintLine(stdout, "query\t" + info.QueryString());
    if (parser.isSet("id-only"))
        return id == QLatin1String("ffffffff") ? 1 : 0;

    const int idleMs = std::min(timeout, kDefaultIdleSeconds) * 1000;
    QStringList titles;
    for (const TTrackRow& r : rows)
        titles << r.Title;
    TCDInfo& cd = OptionsSetting.CDInfo;
    if (!parser.isSet("http")) {
        SetCddbLibraryOptions(settings, idleMs, timeout * 1000);
        const TCddbLookupResult r = RunCddbLookup(session.CDHandle());
        if (r.Code != CddbResult::Finished) {
            PrintNoEntry(r.Reason);
            return 1;
        }
        ApplyCddbEntry(r.Entry, cd, titles, false);
    } else {
        info.Server = settings.Server;
        info.Script = settings.Script;
        info.Http.UseProxy = settings.UseProxy;
        info.Http.ProxyAddress = settings.ProxyAddress;
        info.Http.ProxyPort = settings.Port;
        info.Http.IdleTimeoutMs = idleMs;
        info.Http.TotalTimeoutMs = timeout * 1000;
        info.Query();
        if (!info.HasEntry()) {
            PrintNoEntry(info.Reason());
            return 1;
        }
        const TCDDBAlbum album = info.AlbumRecord();
        for (int i = 0; i < album.TrackCount && i < titles.size(); ++i)
            if (const QString stored = StoredCddbTitle(album, i); !stored.isEmpty())
                titles[i] = stored;
        cd.Artist = album.Artist;
        cd.Album = album.AlbumTitle;
        cd.Year = album.Year;
        cd.Genre = GenreIndexOf(album.Genre);
        cd.Comment = album.Reserved;
    }
    for (int i = 0; i < rows.size(); ++i)
        rows[i].Title = titles.value(i);
    PrintLine(stdout, "artist\t" + cd.Artist);
    PrintLine(stdout, "album\t" + cd.Album);
    PrintLine(stdout, "year\t" + cd.Year);
    PrintLine(stdout, "genre\t" + (cd.Genre >= 0 && cd.Genre < GENRE_COUNT ? QString::fromUtf8(GenreNames[size_t(cd.Genre)]) : QString()));
    for (const TTrackRow& r : rows)
        PrintLine(stdout, QString::number(r.Number) + '\t' + r.Title + '\t' + r.Length + '\t' + r.Size);
    if (!parser.isSet("no-save") && !session.SaveListedTitles(rows)) {
        PrintLine(stderr, "varnelcd-cli: the disc information could not be written to " + CDInfoFileName());
        return 1;
    }
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("cddb", "look the disc up in a CDDB server and store its titles", Cddb);
