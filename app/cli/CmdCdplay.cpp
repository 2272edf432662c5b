// varnelcd-cli cdplay --track N [--drive N]
#include "app/cli/CliCommand.h"
#include "app/core/CDPlayer.h"
#include "platform/akrip32.h"
#include "settings/Options.h"
#include <QEventLoop>

namespace {

// Plays a track of the disc in the drive on the sound card, as the main window's play
// command does, and returns when it has been heard to its end. Failures: the reason on
// stderr, exit status 1.
int CdPlay(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Play a track of the disc in the drive on the sound card.");
    parser.addOption(QCommandLineOption("track", "Play track number N.", "N"));
    parser.addOption(QCommandLineOption("drive", "Use drive N (0-based position in the drive list).", "N"));
    if (const int rc = ParseCommandLine(parser, args, "cdplay"); rc >= 0)
        return rc;
    int drive = OptionsSetting.CDOptions.Index;
    int track = 0;
    if (!IntOption(parser, "drive", drive) || !IntOption(parser, "track", track))
        return 2;
    if (!parser.isSet("track") || track < 1) {
        PrintLine(stderr, "varnelcd-cli cdplay: name the track to play with --track N (1 or more)");
        return 2;
    }
    // As the window: a number outside the drive list means the first drive.
    TDriveList list{};
    list.Capacity = MAX_CD_DRIVES;
    if (drive < 0 || drive >= GetCDList(list))
        drive = 0;

    TCDPlayer player;
    QEventLoop loop;
    QString error;
    QObject::connect(&player, &TCDPlayer::Ended, &loop, &QEventLoop::quit);
    QObject::connect(&player, &TCDPlayer::Failed, &loop, [&](const QString& why) {
        error = why;
        loop.quit();
    });
    error = player.Play(drive, track);
    if (error.isEmpty())
        loop.exec();
    if (!error.isEmpty()) {
        PrintLine(stderr, "varnelcd-cli cdplay: " + error);
        return 1;
    }
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("cdplay", "play a track of the disc in the drive on the sound card", CdPlay);
