// varnelcd-cli tracks [--disc-image PATH]... [--drive N]
#include "app/cli/CliCommand.h"
#include "settings/Lang.h"
#include "app/cli/CliDisc.h"
#include "settings/Options.h"

namespace {

// Number, title, length and size; a fifth column only for what sets a track apart.
QString TrackLine(const TTrackRow& r)
{
    QString line = QString::number(r.Number) + '\t' + r.Title + '\t' + r.Length + '\t' + r.Size;
    if (r.Data)
        line += QStringLiteral("\tdata");
    else if (r.PreEmphasis)
        line += QStringLiteral("\tpre-emphasis");
    return line;
}

// Lists the tracks of the disc in the drive as the main window would: number, title,
// length and size, separated by tabs, then "data" for a data track or "pre-emphasis" for a pre-emphasised one. Without a drive of the first CD library it goes
// through the CD input component, as the window does; without a drive there either, the
// reasons of the no-device hint go to stderr. Without an audio disc, the status text the
// window would show goes to stderr.
int Tracks(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("List the tracks of the disc in the drive: number, title, length, size.");
    parser.addOption(QCommandLineOption("drive", "Use drive N (0-based position in the drive list).", "N"));
    if (const int rc = ParseCommandLine(parser, args, "tracks"); rc >= 0)
        return rc;
    int drive = OptionsSetting.CDOptions.Index;
    if (!IntOption(parser, "drive", drive))
        return 2;
    TCliDisc disc;
    if (!disc.Open(drive))
        return 1;
    for (const TTrackRow& r : disc.Rows())
        PrintLine(stdout, TrackLine(r));
    if (const int64_t silent = disc.Session().SilentHiddenSectors(); silent > 0)
        PrintLine(stderr, LangString("RES_Cli_SilentHidden", QStringLiteral("音轨 1 之前：%1 个扇区的数字静音（没有隐藏音轨）")).arg(silent));
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("tracks", "list the tracks of the disc in the drive", Tracks);
