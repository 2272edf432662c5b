// varnelcd-cli wav2wav IN OUT [--channels N] [--rate TEXT] [--bits B] [--adpcm]
#include "app/cli/CliCommand.h"
#include "platform/Prompter.h"
#include "jobs/ResampleWav.h"
#include <QEventLoop>

namespace {

// The two file choices answer with IN and OUT; error boxes go to stderr.
class TWav2wavPrompter : public TPrompter
{
public:
    TWav2wavPrompter(const QString& In, const QString& Out) : FIn(In), FOut(Out) {}
    void ShowError(const QString& text) override { PrintLine(stderr, "varnelcd-cli: " + text); }
    void ShowInformation(const QString& text) override { PrintLine(stderr, text); }
    Answer AskYesNo(const QString&, Answer defaultAnswer) override { return defaultAnswer; }
    QString AskOpenFileName(const QString&, const QString&, const QString&) override { return FIn; }
    QString AskSaveFileName(const QString&, const QString&, const QString&) override { return FOut; }

private:
    QString FIn, FOut;
};

// Converts a WAV file as the WAV format converter window does, through the same
// controller: IN as the input button takes it, OUT as the output button takes it, the
// options as the window's output settings (not given: the input's value).
int Wav2wav(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Convert a WAV file to another channel count, sample rate, sample size or coding.\n"
        "Prints the input's properties (input, name, channels, rate, bits, coding) and every\n"
        "status text (status, text), separated by tabs.");
    parser.addPositionalArgument("IN", "The WAV file to read.");
    parser.addPositionalArgument("OUT", "The WAV file to write (its name must end in .wav).");
    parser.addOption(QCommandLineOption("channels", "Channels of OUT: 1 or 2.", "N"));
    parser.addOption(QCommandLineOption("rate", "Sample rate of OUT in Hz (1000 to 192000).", "TEXT"));
    parser.addOption(QCommandLineOption("bits", "Bits per sample of OUT: 8, 16, 24 or 32.", "B"));
    parser.addOption(QCommandLineOption("adpcm", "Write IMA/DVI ADPCM (needs 16 bits, mono or stereo)."));
    if (const int rc = ParseCommandLine(parser, args, "wav2wav"); rc >= 0)
        return rc;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2 || files[0].isEmpty() || files[1].isEmpty()) {
        PrintLine(stderr, "varnelcd-cli wav2wav: give IN and OUT (see --help)");
        return 1;
    }
    // The window's spin edits hold 1 or 2 channels and 8 to 32 bits in steps of 8.
    int channels = 0, bits = 0;
    if (!IntOption(parser, "channels", channels) || !IntOption(parser, "bits", bits))
        return 1;
    if (parser.isSet("channels") && (channels < 1 || channels > 2)) {
        PrintLine(stderr, "varnelcd-cli: --channels takes 1 or 2");
        return 1;
    }
    if (parser.isSet("bits") && (bits < 8 || bits > 32 || bits % 8 != 0)) {
        PrintLine(stderr, "varnelcd-cli: --bits takes 8, 16, 24 or 32");
        return 1;
    }

    TWav2wavPrompter prompter(files[0], files[1]);
    TResampleWav conv(&prompter);
    QObject::connect(&conv, &TResampleWav::StatusTextChanged, [](const QString& text) {
        PrintLine(stdout, "status\t" + text);
    });
    conv.Button1Click();
    if (!conv.InputName().isEmpty())
        PrintLine(stdout, QStringList{"input", conv.InputName(), conv.InputChannels(), conv.InputSampleRate(),
                                      conv.InputBitsPerSample(), conv.InputCoding()}.join('\t'));
    conv.Button2Click();

    // What is not given keeps the input's value.
    TResampleSettings settings;
    TWaveIn* in = conv.WaveIn1();
    if (in->Valid()) {
        settings.Channels = in->Channels();
        settings.BitsPerSample = in->BitsPerSample();
        settings.SampleRate = QString::number(in->SampleRate());
    }
    if (parser.isSet("channels"))
        settings.Channels = channels;
    if (parser.isSet("bits"))
        settings.BitsPerSample = bits;
    if (parser.isSet("rate"))
        settings.SampleRate = parser.value("rate");
    settings.Coding = parser.isSet("adpcm") ? 1 : 0;

    QEventLoop loop;
    QObject::connect(&conv, &TResampleWav::Finished, &loop, &QEventLoop::quit);
    conv.Button3Click(settings);
    if (conv.Converting())
        loop.exec();
    return conv.StatusText() == TResampleWav::SuccessText() ? 0 : 1;
}

} // namespace

VARNELCD_CLI_COMMAND("wav2wav", "convert a WAV file to another channel count, rate, sample size or coding", Wav2wav);
