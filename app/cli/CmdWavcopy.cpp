// varnelcd-cli wavcopy IN OUT [--adpcm] [--block N] [--append] [--ext]
#include "app/cli/CliCommand.h"
#include "app/cli/WaveCommands.h"
#include "audio/WaveIn.h"
#include "audio/WaveOut.h"

namespace {

// Copies a WAV file through the reader and the writer: any readable coding in, PCM (or
// IMA ADPCM) out, to a new file or appended to an existing one.
int Wavcopy(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Copy a WAV file through the program's reader and writer.");
    parser.addPositionalArgument("IN", "The WAV file to read.");
    parser.addPositionalArgument("OUT", "The WAV file to write.");
    parser.addOption(QCommandLineOption("adpcm", "Write IMA/DVI ADPCM (16-bit mono or stereo input)."));
    parser.addOption(QCommandLineOption("block", "ADPCM block size in bytes (a multiple of 4; default 512).", "N"));
    parser.addOption(QCommandLineOption("append", "Append to OUT when it exists (same format only)."));
    parser.addOption(QCommandLineOption("ext", "Extensible header for more than 2 channels or more than 16 bits."));
    if (const int rc = ParseCommandLine(parser, args, "wavcopy"); rc >= 0)
        return rc;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2) {
        PrintLine(stderr, "varnelcd-cli wavcopy: give IN and OUT (see --help)");
        return 2;
    }
    int block = 512;
    if (!IntOption(parser, "block", block))
        return 2;
    if (block <= 0 || block > 65532 || block % 4 != 0) {
        PrintLine(stderr, "varnelcd-cli: --block takes a multiple of 4 from 4 to 65532");
        return 2;
    }
    TWaveIn in;
    if (!WaveCli::OpenInput(in, files[0]) || WaveCli::SameFile(files[0], files[1]))
        return 1;
    TWaveOut out;
    out.SetInput(&in);
    out.SetFileName(files[1]);
    out.SetWavType(parser.isSet("adpcm") ? wtDVIADPCM : wtPCM);
    out.SetBlockSize(uint16_t(block));
    out.SetCreateNonMsHeaders(!parser.isSet("ext"));
    out.SetFileMode(parser.isSet("append") ? foAppend : foRewrite);
    return WaveCli::RunWithProgress(out);
}

} // namespace

VARNELCD_CLI_COMMAND("wavcopy", "copy a WAV file through the program's reader and writer", Wavcopy);
