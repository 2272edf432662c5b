// varnelcd-cli wav2wav IN OUT [--channels N] [--rate HZ] [--bits B] [--adpcm]
#include "app/cli/CliCommand.h"
#include "app/cli/WaveCommands.h"
#include "audio/AudioConverter.h"
#include "audio/FastResampler.h"
#include "audio/WaveIn.h"
#include "audio/WaveOut.h"

namespace {

// Re-formats a WAV file as the WAV format converter window does: reader, resampler,
// sample converter and writer. What is not given keeps the input's value.
int Wav2wav(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Convert a WAV file to another channel count, sample rate, sample size or coding.");
    parser.addPositionalArgument("IN", "The WAV file to read.");
    parser.addPositionalArgument("OUT", "The WAV file to write.");
    parser.addOption(QCommandLineOption("channels", "Channels of OUT: 1 or 2 (mono or stereo input only).", "N"));
    parser.addOption(QCommandLineOption("rate", "Sample rate of OUT in Hz (5 to 1000000).", "HZ"));
    parser.addOption(QCommandLineOption("bits", "Bits per sample of OUT: 8, 16, 24 or 32.", "B"));
    parser.addOption(QCommandLineOption("adpcm", "Write IMA/DVI ADPCM (needs 16 bits and 1 or 2 channels)."));
    if (const int rc = ParseCommandLine(parser, args, "wav2wav"); rc >= 0)
        return rc;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2) {
        PrintLine(stderr, "varnelcd-cli wav2wav: give IN and OUT (see --help)");
        return 1;
    }
    TWaveIn in;
    if (!WaveCli::OpenInput(in, files[0]) || WaveCli::SameFile(files[0], files[1]))
        return 1;
    int channels = in.Channels();
    int rate = in.SampleRate();
    int bits = in.BitsPerSample();
    if (!IntOption(parser, "channels", channels) || !IntOption(parser, "rate", rate) || !IntOption(parser, "bits", bits))
        return 1;
    if (channels != in.Channels() && (channels < 1 || channels > 2 || in.Channels() > 2)) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli: cannot convert %1 channels to %2 (mono and stereo only)").arg(in.Channels()).arg(channels));
        return 1;
    }
    if (rate < 5 || rate > 1000000) {
        PrintLine(stderr, "varnelcd-cli: --rate takes a sample rate from 5 to 1000000 Hz");
        return 1;
    }
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        PrintLine(stderr, "varnelcd-cli: --bits takes 8, 16, 24 or 32");
        return 1;
    }
    TFastResampler resampler;
    TAudioConverter converter;
    TWaveOut out;
    resampler.SetInput(&in);
    converter.SetInput(&resampler);
    out.SetInput(&converter);
    converter.SetMode(msmMonoToBoth);
    // Converter settings stay 0 (no change) where they equal the input's; the rate is
    // always set.
    converter.SetOutBitsPerSample(bits != in.BitsPerSample() ? bits : 0);
    converter.SetOutChannels(channels != in.Channels() ? channels : 0);
    resampler.SetOutSampleRate(uint32_t(rate));
    out.SetWavType(parser.isSet("adpcm") ? wtDVIADPCM : wtPCM);
    out.SetBlockSize(512);
    out.SetCreateNonMsHeaders(false);
    out.SetFileMode(foRewrite);
    out.SetFileName(files[1]);
    return WaveCli::RunWithProgress(out);
}

} // namespace

VARNELCD_CLI_COMMAND("wav2wav", "convert a WAV file to another channel count, rate, sample size or coding", Wav2wav);
