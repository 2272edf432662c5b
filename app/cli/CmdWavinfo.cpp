// varnelcd-cli wavinfo FILE
#include "app/cli/CliCommand.h"
#include "app/cli/WaveCommands.h"
#include "audio/WaveIn.h"

namespace {

// Prints what the WAV reader makes of a file: the coding, and the format and length of
// the PCM it delivers.
int Wavinfo(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Show the coding, format and length of a WAV file as the program reads it.");
    parser.addPositionalArgument("FILE", "The WAV file.");
    if (const int rc = ParseCommandLine(parser, args, "wavinfo"); rc >= 0)
        return rc;
    if (parser.positionalArguments().size() != 1) {
        PrintLine(stderr, "varnelcd-cli wavinfo: give one FILE (see --help)");
        return 2;
    }
    TWaveIn in;
    if (!WaveCli::OpenInput(in, parser.positionalArguments().first()))
        return 1;
    const int64_t frames = in.TotalSamples();
    const int rate = in.SampleRate();
    PrintLine(stdout, "Coding: " + WavTypeName(in.WavType()));
    PrintLine(stdout, "Channels: " + QString::number(in.Channels()));
    PrintLine(stdout, "Sample rate: " + QString::number(rate));
    PrintLine(stdout, "Bits per sample: " + QString::number(in.BitsPerSample()));
    PrintLine(stdout, "Frames: " + QString::number(std::max<int64_t>(frames, 0)));
    PrintLine(stdout, "Seconds: " + QString::number(rate > 0 ? double(std::max<int64_t>(frames, 0)) / rate : 0.0, 'f', 3));
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("wavinfo", "show the coding, format and length of a WAV file", Wavinfo);
