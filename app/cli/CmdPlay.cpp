// varnelcd-cli play FILE.wav [--device N] [--latency MS] [--volume V]
// varnelcd-cli play --list-devices
#include "app/cli/CliCommand.h"
#include "audio/DXAudioOut.h"
#include "audio/WaveIn.h"
#include <QEventLoop>
#include <QFileInfo>

namespace {

int ListDevices(const TDXAudioOut& out)
{
    if (out.DeviceCount() == 0) {
        PrintLine(stderr, "varnelcd-cli play: no sound output device");
        return 1;
    }
    for (int i = 0; i < out.DeviceCount(); ++i)
        PrintLine(stdout, QString::number(i) + '\t' + out.DeviceDescription(i));
    return 0;
}

// Plays a WAV file on the sound card (TWaveIn into TDXAudioOut) and returns when it has
// been heard to its end. Any failure: its message on stderr, exit status 1.
int Play(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Play a WAV file on the sound card, or list the sound outputs.");
    parser.addPositionalArgument("file", "The WAV file to play.", "FILE.wav");
    parser.addOption(QCommandLineOption("device", "Play on output N (see --list-devices; 0 = the desktop's default).", "N"));
    parser.addOption(QCommandLineOption("latency", "Buffer length in milliseconds (0: 24576 frames, polled every 100 ms).", "MS"));
    parser.addOption(QCommandLineOption("volume", "Volume in hundredths of a decibel, -10000 (silent) to 0 (full).", "V"));
    parser.addOption(QCommandLineOption("list-devices", "List the sound outputs: number, tab, description."));
    if (const int rc = ParseCommandLine(parser, args, "play"); rc >= 0)
        return rc;
    int device = 0;
    int latency = int(TDXAudioOut::DefaultLatency);
    int volume = 0;
    if (!IntOption(parser, "device", device) || !IntOption(parser, "latency", latency)
        || !IntOption(parser, "volume", volume))
        return 2;
    if (latency < 0) {
        PrintLine(stderr, "varnelcd-cli play: --latency takes a number of milliseconds, 0 or more");
        return 2;
    }

    TDXAudioOut out;
    if (parser.isSet("list-devices"))
        return ListDevices(out);
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        PrintLine(stderr, "varnelcd-cli play: name one WAV file to play (see --help)");
        return 2;
    }
    const QString& file = files.first();
    if (!QFileInfo(file).isFile()) {
        PrintLine(stderr, "varnelcd-cli play: " + file + ": no such file");
        return 1;
    }
    TWaveIn in;
    in.SetFileName(file);
    if (!in.Valid()) {
        PrintLine(stderr, "varnelcd-cli play: " + file + ": not a WAV file that can be played");
        return 1;
    }
    out.SetDeviceNumber(device);
    out.SetLatency(uint32_t(latency));
    out.SetVolume(volume);
    out.SetInput(&in);

    QEventLoop loop;
    QString error;
    out.SetOnThreadException([&](QObject*) { error = out.ExceptionMessage(); });
    out.SetOnDone([&](QObject*) { loop.quit(); });
    out.Run();
    loop.exec();
    if (!error.isEmpty()) {
        PrintLine(stderr, "varnelcd-cli play: " + error);
        return 1;
    }
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("play", "play a WAV file on the sound card, or list the sound outputs", Play);
