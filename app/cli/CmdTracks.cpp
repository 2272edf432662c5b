// varnelcd-cli tracks [--disc-image PATH]... [--drive N]
#include "app/cli/CliCommand.h"
#include "app/core/DiscSession.h"
#include "app/core/NoDeviceHint.h"
#include "cd/CDInput.h"
#include "settings/Options.h"

#include <memory>

namespace {

// Lists the tracks of the disc in the drive as the main window would: number, title,
// length and size, separated by tabs. Without a drive of the first CD library it goes
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
    std::unique_ptr<TCDIn> cdIn;      // made only when needed: it writes its settings file
    TDiscSession session;             // refers to cdIn: goes first
    if (session.SelectDrive(drive) == 0 && !session.UseCDIn(*(cdIn = std::make_unique<TCDIn>()), drive)) {
        for (const QString& line : NoDeviceHint::AllLines())
            PrintLine(stderr, line);
        return 1;
    }
    if (!session.AudioDiscPresent()) {
        PrintLine(stderr, session.NoDiscText());
        return 1;
    }
    QVector<TTrackRow> rows;
    if (!session.ReadDiscList(rows)) {
        PrintLine(stderr, session.StatusText());
        return 1;
    }
    for (const TTrackRow& r : rows)
        PrintLine(stdout, QString::number(r.Number) + '\t' + r.Title + '\t' + r.Length + '\t' + r.Size);
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("tracks", "list the tracks of the disc in the drive", Tracks);
