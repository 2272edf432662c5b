// varnelcd-cli record FILE --seconds S [--rate R] [--bits 8|16] [--channels 1|2] [--at 0..400]
//                   [--new] [--mp3] [--yes|--no]
#include "app/cli/CliCommand.h"
#include "players/RecordController.h"
#include "settings/Options.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

namespace {

// The recorder's questions answered from the command line: the file dialogs choose FILE,
// Yes/No questions take --yes or --no (neither: No, the safe answer); every box is printed
// on stderr and the last one is kept for the failure message.
class TCliRecordPrompter : public TPrompter {
public:
    TCliRecordPrompter(const QString& file, Answer answer) : FFile(file), FAnswer(answer) {}
    void ShowError(const QString& text) override { Show(text); }
    void ShowInformation(const QString& text) override { Show(text); }
    void ShowWarning(const QString& text) override { Show(text); }
    Answer AskYesNo(const QString& text, Answer) override { return Ask(text); }
    Answer AskYesNoCancel(const QString& text, Answer) override { return Ask(text); }
    QString AskOpenFileName(const QString&, const QString&, const QString&) override { return FFile; }
    QStringList AskOpenFileNames(const QString&, const QString&, const QString&) override { return {FFile}; }
    QString AskSaveFileName(const QString&, const QString&, const QString&) override { return FFile; }

    QString LastText;

private:
    void Show(const QString& text)
    {
        LastText = text;
        PrintLine(stderr, text);
    }
    Answer Ask(const QString& text)
    {
        LastText = text;
        PrintLine(stderr, text + (FAnswer == Answer::Yes ? QStringLiteral(" yes") : QStringLiteral(" no")));
        return FAnswer;
    }
    QString FFile;
    Answer FAnswer;
};

int Fail(const TCliRecordPrompter& prompter, const QString& fallback)
{
    if (prompter.LastText.isEmpty())
        PrintLine(stderr, fallback);
    return 1;
}

// Records S seconds from the default input into FILE as the recorder window would: a new
// recording (FILE missing, or --new) saved under FILE, or more sound recorded into FILE at
// the track bar's position --at (0..400, default 400: the end) and saved; with --mp3 the
// MP3 is made beside it. Exit 0 when saved (and encoded), else 1 with the message.
int Record(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Record from the default sound input into a WAV file.");
    parser.addPositionalArgument("FILE", "The WAV file to create or to record into.");
    parser.addOption(QCommandLineOption("seconds", "Record S seconds (required).", "S"));
    parser.addOption(QCommandLineOption("rate", "Sample rate of a new file (default 44100).", "R"));
    parser.addOption(QCommandLineOption("bits", "8 or 16 bits of a new file (default 16).", "B"));
    parser.addOption(QCommandLineOption("channels", "1 or 2 channels of a new file (default 2).", "C"));
    parser.addOption(QCommandLineOption("at", "Track bar position to record at, 0..400 (default 400, the end).", "P"));
    parser.addOption(QCommandLineOption("new", "Start a new recording even when FILE exists."));
    parser.addOption(QCommandLineOption("mp3", "Also encode the saved file to MP3 beside it."));
    parser.addOption(QCommandLineOption("yes", "Answer Yes to questions (overwrite)."));
    parser.addOption(QCommandLineOption("no", "Answer No to questions (the default)."));
    if (const int rc = ParseCommandLine(parser, args, "record"); rc >= 0)
        return rc;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1 || !parser.isSet("seconds")) {
        PrintLine(stderr, "varnelcd-cli record: give one FILE and --seconds S");
        return 2;
    }
    bool ok = false;
    const double seconds = parser.value("seconds").toDouble(&ok);
    TRecordController::TNewFormat format;
    int at = TRecordController::TrackBarMax;
    if (!ok || !(seconds > 0) || seconds > 24 * 3600) {
        PrintLine(stderr, "varnelcd-cli record: --seconds takes a positive number");
        return 2;
    }
    if (!IntOption(parser, "rate", format.SampleRate) || !IntOption(parser, "bits", format.Bits)
        || !IntOption(parser, "channels", format.Channels) || !IntOption(parser, "at", at))
        return 2;
    if (format.SampleRate < 1000 || format.SampleRate > 192000 || (format.Bits != 8 && format.Bits != 16)
        || (format.Channels != 1 && format.Channels != 2) || at < 0 || at > TRecordController::TrackBarMax) {
        PrintLine(stderr, "varnelcd-cli record: --rate 1000..192000, --bits 8|16, --channels 1|2, --at 0..400");
        return 2;
    }
    if (parser.isSet("yes") && parser.isSet("no")) {
        PrintLine(stderr, "varnelcd-cli record: --yes or --no, not both");
        return 2;
    }
    const QString file = QFileInfo(files.first()).absoluteFilePath();
    TCliRecordPrompter prompter(file, parser.isSet("yes") ? TPrompter::Answer::Yes : TPrompter::Answer::No);
    TRecordController recorder(&prompter);
    recorder.StoreSettings = false;
    recorder.SaveMp3 = parser.isSet("mp3");
    recorder.AskNewFormat = [&](TRecordController::TNewFormat& f) {
        f = format;
        return true;
    };

    if (parser.isSet("new") || !QFileInfo(file).isFile()) {
        if (!recorder.New())
            return Fail(prompter, "varnelcd-cli record: cannot start a new recording");
    } else {
        recorder.Open();
        if (recorder.CurrentFile != file)
            return Fail(prompter, "varnelcd-cli record: cannot open " + file);
        recorder.SetTrackBar(at);
    }
    recorder.Click(TRecordController::btRecord);
    if (!recorder.ButtonEnabled(TRecordController::btStop))
        return Fail(prompter, "varnelcd-cli record: cannot record");
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    recorder.Click(TRecordController::btStop);
    const bool saved = recorder.Save() && recorder.CurrentFile == file;
    const bool encoded = recorder.LastExportOk();
    recorder.SaveMp3 = false;
    recorder.Close();
    if (!saved)
        return Fail(prompter, "varnelcd-cli record: not saved");
    if (!encoded)
        return Fail(prompter, "varnelcd-cli record: the MP3 was not made");
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("record", "record from the sound input into a WAV file (and MP3)", Record);
