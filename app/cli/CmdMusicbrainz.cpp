// varnelcd-cli musicbrainz [--disc-image P]... [--drive N] [--server U] [--coverart U] [--id-only]
//                          [--release N|MBID] [--yes] [--no-save] [--no-cover]
#include "app/cli/CliCommand.h"
#include "app/cli/CliDisc.h"
#include "cd/CDInput.h"
#include "metadata/CddbInfo.h"
#include "metadata/MusicBrainz.h"
#include "settings/CDInfo.h"
#include "settings/Options.h"

#include <memory>

namespace {

// Exit status when several releases fit and none was named: nothing is stored.
constexpr int kChoiceNeeded = 3;

// The release named by --release: a 1-based position in the list or a release id; -1 if none.
int NamedRelease(const QList<TMbRelease>& releases, const QString& name)
{
    bool number = false;
    const int n = name.toInt(&number);
    if (number)
        return n >= 1 && n <= releases.size() ? n - 1 : -1;
    for (int i = 0; i < releases.size(); ++i)
        if (releases[i].Id.compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// Looks the disc in the drive up in MusicBrainz, prints the release it takes, stores its
// titles in the disc information cache and its front cover beside it.
int MusicBrainz(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Look the disc in the drive up in MusicBrainz, store its titles and cover.");
    parser.addOption(QCommandLineOption("drive", "Use drive N (0-based position in the drive list).", "N"));
    parser.addOption(QCommandLineOption("server", "MusicBrainz server URL (default: the settings).", "U"));
    parser.addOption(QCommandLineOption("coverart", "Cover Art Archive URL (default: the settings).", "U"));
    parser.addOption(QCommandLineOption("id-only", "Print the disc id and TOC only."));
    parser.addOption(QCommandLineOption("release", "Take release N (1-based, as listed) or the release with this id.", "N|MBID"));
    parser.addOption(QCommandLineOption("yes", "Take the first release when several fit."));
    parser.addOption(QCommandLineOption("no-save", "Do not store the titles or the cover."));
    parser.addOption(QCommandLineOption("no-cover", "Do not fetch the front cover."));
    if (const int rc = ParseCommandLine(parser, args, "musicbrainz"); rc >= 0)
        return rc;
    int drive = OptionsSetting.CDOptions.Index;
    if (!IntOption(parser, "drive", drive))
        return 2;
    const TMusicBrainzOptions& settings = OptionsSetting.MusicBrainz;
    const QString server = parser.isSet("server") ? parser.value("server") : settings.Server;
    const QString coverArt = parser.isSet("coverart") ? parser.value("coverart") : settings.CoverArt;

    TCliDisc disc;
    if (!disc.Open(drive))
        return 1;
    TDiscSession& session = disc.Session();
    TCDIn* cdIn = disc.CDIn();
    QVector<TTrackRow> rows = disc.Rows();
    std::unique_ptr<TCddbTocSource> source;
    if (cdIn)
        source = std::make_unique<TCddbCDInToc>(*cdIn);
    else
        source = std::make_unique<TCddbHandleToc>(session.CDHandle());
    TCddbToc toc;
    if (!source->ReadCddbToc(toc)) {
        PrintLine(stderr, TDiscSession::NotReadText());
        return 1;
    }
    const TMbDiscId id = MbDiscIdOf(toc, rows.first().Number);
    if (!id.Valid) {
        PrintLine(stderr, id.Error);
        return 1;
    }
    PrintLine(stdout, "discid\t" + id.Id);
    PrintLine(stdout, "toc\t" + id.Toc);
    if (parser.isSet("id-only"))
        return 0;

    const THttpOptions http = MbHttpOptions(OptionsSetting.QueryCDDB);
    const TMbLookup found = MbLookupDisc(server, id, toc, http);
    if (found.Result != TMbLookup::Outcome::Found) {
        PrintLine(stderr, found.Error);
        return 1;
    }
    int chosen = 0;
    if (parser.isSet("release")) {
        chosen = NamedRelease(found.Releases, parser.value("release"));
        if (chosen < 0) {
            PrintLine(stderr, "varnelcd-cli: no release " + parser.value("release") + " among those found");
            return 2;
        }
    } else if (found.Releases.size() > 1 && !parser.isSet("yes")) {
        for (int i = 0; i < found.Releases.size(); ++i) {
            const TMbRelease& r = found.Releases[i];
            PrintLine(stdout, QStringList{"release", QString::number(i + 1), r.Id, r.Title, r.Artist, r.Date, r.Country}.join('\t'));
        }
        PrintLine(stderr, "varnelcd-cli: several releases fit; choose one with --release N (or --yes for the first)");
        return kChoiceNeeded;
    }
    const TMbRelease& release = found.Releases[chosen];
    QStringList titles;
    for (const TTrackRow& r : rows)
        titles << r.Title;
    TCDInfo& cd = OptionsSetting.CDInfo;
    ApplyMbRelease(release, cd, titles);
    for (int i = 0; i < rows.size(); ++i)
        rows[i].Title = titles.value(i);
    PrintLine(stdout, "release\t" + release.Id);
    PrintLine(stdout, "artist\t" + cd.Artist);
    PrintLine(stdout, "album\t" + cd.Album);
    PrintLine(stdout, "year\t" + cd.Year);
    for (const TTrackRow& r : rows)
        PrintLine(stdout, QString::number(r.Number) + '\t' + r.Title + '\t' + r.Length + '\t' + r.Size);
    if (parser.isSet("no-save"))
        return 0;
    if (!session.SaveListedTitles(rows)) {
        PrintLine(stderr, "varnelcd-cli: the disc information could not be written to " + CDInfoFileName());
        return 1;
    }
    if (parser.isSet("no-cover") || !settings.Cover)
        return 0;
    // A missing cover is no failure: the titles are stored either way.
    const TCoverFetch cover = FetchMbCover(coverArt, release.Id, http);
    if (cover.Result == TCoverFetch::Outcome::Failed) {
        PrintLine(stderr, "varnelcd-cli: no cover: " + cover.Error);
    } else if (cover.Result == TCoverFetch::Outcome::Found) {
        const QString path = StoreMbCover(release.Id, cover.Image);
        if (path.isEmpty())
            PrintLine(stderr, "varnelcd-cli: the cover could not be written to " + CoverFolder());
        else
            PrintLine(stdout, "cover\t" + path);
    }
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("musicbrainz", "look the disc up in MusicBrainz and store its titles and cover", MusicBrainz);
