// varnelcd-cli offset find [--drive N] [--disc-image P] [--accuraterip-url U] [--timeout S] [--no-save]
#include "app/cli/CliCommand.h"
#include "app/cli/CliDisc.h"
#include "cd/DiscReader.h"
#include "cd/OffsetFind.h"
#include "cd/RipAudit.h"
#include "platform/HttpClient.h"
#include "settings/Options.h"

#include <algorithm>

namespace {

constexpr int kNotInDatabase = 3;

// Reads the disc in the drive once (no paranoia), asks AccurateRip, and prints the read
// offset correction under which the most tracks match the database; stores it for the drive.
int Offset(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Find the drive's read offset from a disc AccurateRip knows (offset find).");
    parser.addPositionalArgument("find", "The only action.");
    parser.addOption(QCommandLineOption("drive", "Use drive N (0-based position in the drive list).", "N"));
    parser.addOption(QCommandLineOption("accuraterip-url", "Address of the database (default: the settings).", "U"));
    parser.addOption(QCommandLineOption("timeout", "Seconds the request may take in all (default 30).", "S"));
    parser.addOption(QCommandLineOption("no-save", "Print the offset only; do not store it for the drive."));
    if (const int rc = ParseCommandLine(parser, args, "offset"); rc >= 0)
        return rc;
    if (parser.positionalArguments() != QStringList{"find"}) {
        PrintLine(stderr, "varnelcd-cli offset: the action is find (see --help)");
        return 2;
    }
    int drive = 0, timeout = 0;
    if (!DriveAndTimeoutOptions(parser, drive, timeout))
        return 2;
    const QString base = parser.isSet("accuraterip-url") ? parser.value("accuraterip-url") : OptionsSetting.AccurateRip.Url;
    TCliDisc cliDisc;
    if (!cliDisc.Open(drive))
        return 1;
    const std::unique_ptr<TDiscSource> source = cliDisc.Session().RipSource();
    std::unique_ptr<TDiscReader> reader = source ? source->NewReader() : nullptr;
    TDiscLayout disc;
    if (!reader || reader->ReadLayout(disc) != 0) {
        PrintLine(stderr, "varnelcd-cli offset: the disc's table of contents cannot be read");
        return 1;
    }
    const TAccurateRipDisc ids = disc.Id();
    if (!ids.Valid || disc.HasData()) {
        PrintLine(stderr, "varnelcd-cli offset: AccurateRip knows only discs of audio tracks");
        return kNotInDatabase;
    }
    THttpOptions http = AccurateRipHttpOptions(OptionsSetting);
    http.TotalTimeoutMs = timeout * 1000;
    const TAccurateRipLookup lookup = LookupAccurateRip(base, ids.Id, http);
    if (lookup.Status == TAccurateRipLookup::NotInDatabase || (lookup.Status == TAccurateRipLookup::Found && lookup.Reply.Pressings == 0)) {
        PrintLine(stdout, "not in database");
        return kNotInDatabase;
    }
    if (lookup.Status != TAccurateRipLookup::Found || !lookup.Reply.Ok) {
        PrintLine(stderr, "varnelcd-cli offset: no database answer: " + (lookup.Error.isEmpty() ? lookup.Reply.Error : lookup.Error));
        return 1;
    }

    // One read of the whole disc, as it comes.
    TOffsetFinder finder(disc, lookup.Reply);
    reader->ForceParanoia(false);
    QString error;
    if (!reader->Open(0, disc.LeadOut, error)) {
        PrintLine(stderr, "varnelcd-cli offset: " + error);
        return 1;
    }
    std::vector<uint8_t> buffer(size_t(reader->ChunkSectors()) * CDSectorBytes);
    for (;;) {
        const int got = reader->Read(buffer.data(), int(buffer.size()), error);
        if (got < 0) {
            PrintLine(stderr, "varnelcd-cli offset: " + error);
            return 1;
        }
        if (got == 0) break;
        finder.Add(buffer.data(), size_t(got));
    }
    TRipLogTrack unused;
    reader->Close(unused);

    const TOffsetFound found = finder.Find();
    if (!found.Found) {
        PrintLine(stdout, "no offset in -2940..+2940 matches the database");
        return kNotInDatabase;
    }
    PrintLine(stdout, "offset\t" + SignedNumber(found.Offset));
    PrintLine(stdout, QStringLiteral("v1\t%1 of %2 tracks, confidence %3").arg(found.Tracks).arg(found.AudioTracks).arg(found.Confidence));
    PrintLine(stdout, found.V2 ? QStringLiteral("v2\ttrack %1, confidence %2").arg(found.V2Track).arg(found.V2Confidence)
                               : QStringLiteral("v2\tnot confirmed"));
    if (parser.isSet("no-save"))
        return 0;
    const QString key = cliDisc.CDIn() ? ReadOffsetKeyOf(*cliDisc.CDIn()) : ReadOffsetKeyOf(cliDisc.Handle());
    OptionsSetting.ReadOffsets[key] = found.Offset;
    if (!SaveOptions()) {
        PrintLine(stderr, "varnelcd-cli offset: the settings cannot be saved");
        return 1;
    }
    PrintLine(stdout, "stored\t" + key);
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("offset", "find the drive's read offset from a disc AccurateRip knows", Offset);
