// varnelcd-cli oggplay FILE [--balance 0..10] [--seek PERCENT] [--device N]
#include "app/cli/CliCommand.h"
#include "players/OggPlayer.h"
#include <QEventLoop>
#include <memory>

namespace {

// The player's messages on stderr; it asks nothing on the command line.
class TStderrPrompter : public TPrompter {
public:
    void ShowError(const QString& text) override { Show(text); }
    void ShowInformation(const QString& text) override { Show(text); }
    Answer AskYesNo(const QString&, Answer defaultAnswer) override { return defaultAnswer; }
    bool Shown = false;

private:
    void Show(const QString& text)
    {
        PrintLine(stderr, text);
        Shown = true;
    }
};

// Reads an integer option within [low, high], when set; false (after a message) when it is
// not one.
bool RangeOption(const QCommandLineParser& parser, const QString& name, int low, int high, int& value)
{
    if (!parser.isSet(name))
        return true;
    if (!IntOption(parser, name, value))
        return false;
    if (value < low || value > high) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli oggplay: --%1 takes %2 to %3").arg(name).arg(low).arg(high));
        return false;
    }
    return true;
}

// Plays an Ogg Vorbis file through the OGG player's controller: prints the player's labels
// and comment lines, then returns when the file has been heard to its end.
int OggPlay(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Play an Ogg Vorbis file as the OGG player does.");
    parser.addPositionalArgument("file", "The Ogg Vorbis file to play (named .ogg).", "FILE");
    parser.addOption(QCommandLineOption("balance", "Stereo balance, 0 (left only) to 10 (right only); 5, the centre, by default.", "0..10"));
    parser.addOption(QCommandLineOption("seek", "Once playing, move to PERCENT of the length.", "PERCENT"));
    parser.addOption(QCommandLineOption("device", "Play on output N (see play --list-devices; 0 = the desktop's default).", "N"));
    if (const int rc = ParseCommandLine(parser, args, "oggplay"); rc >= 0)
        return rc;
    int balance = 5;
    int seek = -1;
    int device = 0;
    if (!RangeOption(parser, "balance", 0, 10, balance) || !RangeOption(parser, "seek", 0, 100, seek)
        || !IntOption(parser, "device", device))
        return 2;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        PrintLine(stderr, "varnelcd-cli oggplay: name one Ogg file to play (see --help)");
        return 2;
    }

    TStderrPrompter prompter;
    TOggPlayer player(&prompter);
    player.Output().SetDeviceNumber(device);
    player.SetBalancePosition(balance);
    QEventLoop loop;
    QObject::connect(&player, &TOggPlayer::Finished, &loop, &QEventLoop::quit);
    if (seek >= 0) {
        // The scroll bar's move, once the output reports that it plays.
        auto moved = std::make_shared<bool>(false);
        QObject::connect(&player, &TOggPlayer::ProgressChanged, &player, [&player, moved, seek](int) {
            if (!*moved) {
                *moved = true;
                player.Scroll(seek);
            }
        });
    }
    if (!player.Play(files.first()))
        return 1;
    PrintLine(stdout, player.FileNameText());
    PrintLine(stdout, player.SampleRateText());
    PrintLine(stdout, player.TotalTimeText());
    for (const QString& line : player.Comments())
        PrintLine(stdout, line);
    std::fflush(stdout);
    loop.exec();
    return player.LastError().isEmpty() && !prompter.Shown ? 0 : 1;
}

} // namespace

VARNELCD_CLI_COMMAND("oggplay", "play an Ogg Vorbis file as the OGG player does", OggPlay);
