// varnelcd-cli accuraterip [--disc-image P]... [--drive N] [--accuraterip-url U] [--timeout S]
//                          [--id-only]
#include "app/cli/CliCommand.h"
#include "app/cli/CliDisc.h"
#include "cd/AccurateRip.h"
#include "cd/CDInput.h"
#include "platform/HttpClient.h"
#include "settings/Options.h"

#include <algorithm>

namespace {

constexpr int kNotInDatabase = 3;      // exit status: the database has nothing for the disc
constexpr int kDefaultIdleSeconds = 10;

QString VerdictText(TTrackVerdict::TKind kind)
{
    TTrackVerdict v;
    v.Kind = kind;
    return v.Text();
}

// Prints the AccurateRip id of the disc in the drive (from the table of contents the CD
// input component reads) and the address of its database entry, then asks the database and
// prints every pressing's checksum of every track.
int AccurateRip(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Print the AccurateRip id of the disc in the drive and the database's checksums.");
    parser.addOption(QCommandLineOption("drive", "Use drive N (0-based position in the drive list).", "N"));
    parser.addOption(QCommandLineOption("accuraterip-url", "Address of the database (default: the settings).", "U"));
    parser.addOption(QCommandLineOption("timeout", "Seconds the request may take in all (default 30).", "S"));
    parser.addOption(QCommandLineOption("id-only", "Print the disc id and the address only."));
    if (const int rc = ParseCommandLine(parser, args, "accuraterip"); rc >= 0)
        return rc;
    int drive = 0, timeout = 0;
    if (!DriveAndTimeoutOptions(parser, drive, timeout))
        return 2;
    const QString base = parser.isSet("accuraterip-url") ? parser.value("accuraterip-url") : OptionsSetting.AccurateRip.Url;

    TCliDisc cliDisc;
    if (!cliDisc.Open(drive, TCliDisc::CDInputOnly))
        return 1;
    std::vector<TCRTocEntry> toc;
    if (!cliDisc.CDIn()->ReadToc(toc)) {
        PrintLine(stderr, TDiscSession::NotReadText());
        return 1;
    }
    const TAccurateRipDisc disc = AccurateRipDiscOf(toc);
    if (!disc.Valid) {
        PrintLine(stderr, "varnelcd-cli: the disc's table of contents gives no AccurateRip id");
        return 1;
    }
    PrintLine(stdout, "arid\t" + disc.Id.Text());
    PrintLine(stdout, "url\t" + AccurateRipUrl(base, disc.Id).toString());
    if (parser.isSet("id-only"))
        return 0;

    THttpOptions http = AccurateRipHttpOptions(OptionsSetting);
    http.IdleTimeoutMs = std::min(timeout, kDefaultIdleSeconds) * 1000;
    http.TotalTimeoutMs = timeout * 1000;
    const TAccurateRipLookup lookup = LookupAccurateRip(base, disc.Id, http);
    switch (lookup.Status) {
    case TAccurateRipLookup::Found:
        break;
    case TAccurateRipLookup::NotInDatabase:
        PrintLine(stdout, VerdictText(TTrackVerdict::NotInDatabase));
        return kNotInDatabase;
    default:
        PrintLine(stderr, "varnelcd-cli: no database answer: " + lookup.Error);
        return 1;
    }
    for (size_t t = 0; t < lookup.Reply.Tracks.size(); ++t)
        for (const TDbarEntry& e : lookup.Reply.Tracks[t])
            PrintLine(stdout, QStringLiteral("track\t%1\t%2\t%3")
                                  .arg(t + 1)
                                  .arg(e.Confidence)
                                  .arg(e.Crc, 8, 16, QLatin1Char('0')));
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("accuraterip", "print the disc's AccurateRip id and the database's checksums", AccurateRip);
