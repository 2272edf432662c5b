// varnelcd-cli ctdb [--disc-image P]... [--drive N] [--url U] [--timeout S] [--id-only] [CUE|FOLDER]
// varnelcd-cli repair [--url U] [--timeout S] CUE|FOLDER
#include "app/cli/CliCommand.h"
#include "app/cli/CliDisc.h"
#include "cd/CDInput.h"
#include "cd/Ctdb.h"
#include "encode/CtdbRipFiles.h"
#include "metadata/CtdbLookup.h"
#include "platform/HttpClient.h"
#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {

// Exit statuses beside 0 (verified), 1 (failure) and 2 (usage).
constexpr int kNotInDatabase = 3;
constexpr int kDiffers = 4;         // a match with errors its parity repairs
constexpr int kNotVerified = 5;

void Fail(const char* command, const QString& text)
{
    PrintLine(stderr, QStringLiteral("varnelcd-cli %1: %2").arg(QLatin1String(command), text));
}

void AddCommonOptions(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption("url", "Address of the database (default: the settings).", "U"));
    parser.addOption(QCommandLineOption("timeout", "Seconds a request may take in all (default 30).", "S"));
    parser.addPositionalArgument("CUE|FOLDER", "A rip's cue sheet, or the folder holding it.");
}

// The rip's cue sheet: the path itself, or the one cue sheet in a folder.
bool CueOf(const char* command, const QString& path, QString& cue)
{
    const QFileInfo info(path);
    if (!info.isDir()) {
        cue = info.absoluteFilePath();
        return true;
    }
    const QStringList sheets = QDir(path).entryList({"*.cue", "*.CUE"}, QDir::Files);
    if (sheets.size() != 1) {
        Fail(command, QStringLiteral("%1 holds %2 cue sheets; name the one to use").arg(path).arg(sheets.size()));
        return false;
    }
    cue = QDir(path).absoluteFilePath(sheets.first());
    return true;
}

// Reads the whole audio of the disc in the drive into the accumulator.
bool ReadDisc(int drive, TCtdbAccumulator& rip)
{
    TCliDisc disc;
    if (!disc.Open(drive, TCliDisc::CDInputOnly))
        return false;
    TCDIn* in = disc.CDIn();
    std::vector<TCRTocEntry> toc;
    if (!in || !in->ReadToc(toc) || toc.size() < 2) {
        PrintLine(stderr, TDiscSession::NotReadText());
        return false;
    }
    TDiscLayout layout;
    int firstAudio = 0, lastAudio = 0;
    for (size_t t = 0; t + 1 < toc.size(); ++t) {
        const bool data = (toc[t].Flags & CR_DATA_TRACK_FLAG) != 0;
        layout.Starts.push_back(toc[t].StartSector);
        layout.Data.push_back(data);
        if (!data) {
            firstAudio = firstAudio ? firstAudio : int(t) + 1;
            lastAudio = int(t) + 1;
        }
    }
    layout.LeadOut = toc.back().StartSector;
    rip.Reset(CtdbTocOf(layout));
    if (!rip.Toc().Valid || firstAudio == 0) {
        Fail("ctdb", QStringLiteral("the disc has no audio track"));
        return false;
    }
    in->SetStartTrack(firstAudio);
    in->SetEndTrack(lastAudio);
    std::vector<uint8_t> buffer(CD_TRANSFER_BUFFER);
    try {
        in->Init();
        bool ended = false;
        while (!ended) {
            const int n = in->FillBuffer(buffer.data(), int(buffer.size()), ended);
            if (n <= 0)
                break;
            rip.Add(buffer.data(), size_t(n));
        }
        in->Flush();
    } catch (const std::exception& e) {
        Fail("ctdb", QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

bool HttpOptions(const QCommandLineParser& parser, THttpOptions& http, QString& base)
{
    int timeout = 30;
    if (!IntOption(parser, "timeout", timeout))
        return false;
    if (timeout < 1) {
        PrintLine(stderr, "varnelcd-cli: --timeout takes a number of seconds above 0");
        return false;
    }
    http = CtdbHttpOptions(OptionsSetting);
    http.IdleTimeoutMs = std::min(timeout, 15) * 1000;
    http.TotalTimeoutMs = timeout * 1000;
    base = parser.isSet("url") ? parser.value("url") : OptionsSetting.Ctdb.Url;
    return true;
}

void PrintVerdict(const TCtdbVerdict& v)
{
    for (const QString& line : v.Lines())
        PrintLine(stdout, line);
    if (v.Status != TCtdbVerdict::Found)
        return;
    for (size_t t = 0; t < v.TrackConfidence.size(); ++t)
        PrintLine(stdout, QStringLiteral("track\t%1\tconfidence %2").arg(t + 1).arg(v.TrackConfidence[t]));
}

int StatusOf(const TCtdbVerdict& v)
{
    switch (v.Status) {
    case TCtdbVerdict::Failed:
    case TCtdbVerdict::Off:
        return 1;
    case TCtdbVerdict::NotInDatabase:
        return kNotInDatabase;
    case TCtdbVerdict::Found:
        break;
    }
    if (v.Matches.empty())
        return kNotVerified;
    return v.BestRepair() ? kDiffers : 0;
}

// The corrected samples as ranges of consecutive positions: "1000-1699".
QStringList SampleRanges(const TCtdbRepair& repair)
{
    QStringList out;
    int64_t first = -1, last = -1;
    for (const int64_t w : repair.Words) {
        const int64_t s = w / 2;
        if (first >= 0 && s <= last + 1) {
            last = std::max(last, s);
            continue;
        }
        if (first >= 0)
            out << QStringLiteral("%1-%2").arg(first).arg(last);
        first = last = s;
    }
    if (first >= 0)
        out << QStringLiteral("%1-%2").arg(first).arg(last);
    return out;
}

// Prints the TOC id and the lookup address of the disc in the drive or of a rip kept as
// files, then the database's verdict on it.
int Ctdb(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Check a disc or a rip against the CUETools database.");
    parser.addOption(QCommandLineOption("drive", "Use drive N (0-based position in the drive list).", "N"));
    parser.addOption(QCommandLineOption("id-only", "Print the TOC id and the address only."));
    AddCommonOptions(parser);
    if (const int rc = ParseCommandLine(parser, args, "ctdb"); rc >= 0)
        return rc;
    int drive = OptionsSetting.CDOptions.Index;
    THttpOptions http;
    QString base;
    if (!IntOption(parser, "drive", drive) || !HttpOptions(parser, http, base))
        return 2;
    const QStringList rest = parser.positionalArguments();
    if (rest.size() > 1) {
        Fail("ctdb", QStringLiteral("name one rip (its cue sheet or its folder)"));
        return 2;
    }

    TCtdbAccumulator rip;
    TRipFiles files;
    if (rest.isEmpty()) {
        if (!ReadDisc(drive, rip))
            return 1;
    } else {
        QString cue, error;
        if (!CueOf("ctdb", rest.first(), cue))
            return 1;
        if (!OpenRipFiles(cue, files, error)) {
            Fail("ctdb", error);
            return 1;
        }
        rip.Reset(CtdbTocOf(files.Disc));
    }
    PrintLine(stdout, "tocid\t" + rip.Toc().Id);
    PrintLine(stdout, "url\t" + CtdbLookupUrl(base, rip.Toc()).toString());
    if (parser.isSet("id-only"))
        return 0;
    if (!rest.isEmpty()) {
        QString error;
        if (!ReadRipFiles(files, rip, error)) {
            Fail("ctdb", error);
            return 1;
        }
    }
    if (!rip.Complete()) {
        Fail("ctdb", QStringLiteral("the audio could not be read whole (%1 of %2 samples)")
                         .arg(rip.Samples())
                         .arg(rip.Toc().AudioSamples));
        return 1;
    }
    const TCtdbVerdict v = VerifyWithCtdb(rip, base, http);
    PrintVerdict(v);
    return StatusOf(v);
}

// Verifies a rip kept as files and, when an entry's parity repairs it, rewrites the files
// that hold damaged samples, then reads them again to check the database's CRC.
int Repair(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Repair a rip (WAV or FLAC files and their cue sheet) from the CUETools database's parity.");
    AddCommonOptions(parser);
    if (const int rc = ParseCommandLine(parser, args, "repair"); rc >= 0)
        return rc;
    THttpOptions http;
    QString base, cue, error;
    if (!HttpOptions(parser, http, base))
        return 2;
    const QStringList rest = parser.positionalArguments();
    if (rest.size() != 1) {
        Fail("repair", QStringLiteral("name one rip (its cue sheet or its folder)"));
        return 2;
    }
    TRipFiles files;
    if (!CueOf("repair", rest.first(), cue))
        return 1;
    if (!OpenRipFiles(cue, files, error)) {
        Fail("repair", error);
        return 1;
    }
    TCtdbAccumulator rip(CtdbTocOf(files.Disc));
    if (!ReadRipFiles(files, rip, error)) {
        Fail("repair", error);
        return 1;
    }
    const TCtdbVerdict v = VerifyWithCtdb(rip, base, http);
    PrintVerdict(v);
    const TCtdbRepair* repair = v.BestRepair();
    if (!repair)
        return StatusOf(v);
    const int rewritten = RepairRipFiles(files, *repair, error);
    if (rewritten < 0) {
        Fail("repair", error);
        return 1;
    }
    TCtdbAccumulator again(rip.Toc());
    const TCtdbEntryResult* used = nullptr;
    for (const TCtdbEntryResult& m : v.Matches)
        if (&m.Repair == repair)
            used = &m;
    if (!ReadRipFiles(files, again, error) || !used || again.DiscCrc(used->Offset) != used->Entry.Crc) {
        Fail("repair", error.isEmpty() ? QStringLiteral("the repaired rip does not match the database") : error);
        return 1;
    }
    PrintLine(stdout, QStringLiteral("repaired\t%1 samples in %2 files, offset %3")
                          .arg(repair->Corrected())
                          .arg(rewritten)
                          .arg(repair->Offset));
    for (const QString& range : SampleRanges(*repair))
        PrintLine(stdout, "corrected\t" + range);
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("ctdb", "check a disc or a rip against the CUETools database", Ctdb);
VARNELCD_CLI_COMMAND("repair", "repair a rip's WAV or FLAC files from the CUETools database", Repair);
