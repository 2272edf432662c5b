// varnelcd-cli encode --to mp3|wma|wav|opus|aac|alac [--yes] [--progress] IN OUT
#include "app/cli/CliCommand.h"
#include "platform/Prompter.h"
#include "encode/EncodeStep.h"
#include "encode/Encoder.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/OutputFormats.h"
#include "encode/WMAEncodeProcess.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

// Messages on stderr; the overwrite question is answered by --yes, else asked on the
// terminal, else answered "no".
class TConsolePrompter : public TPrompter {
public:
    explicit TConsolePrompter(bool yes) : FYes(yes) {}
    void ShowError(const QString& text) override { PrintLine(stderr, text); }
    void ShowInformation(const QString& text) override { PrintLine(stderr, text); }
    Answer AskYesNo(const QString& text, Answer defaultAnswer) override
    {
        Answer answer = defaultAnswer;
        if (FYes) {
            answer = Answer::Yes;
        } else if (::isatty(STDIN_FILENO)) {
            std::fputs((text + QStringLiteral(" [y/N] ")).toUtf8().constData(), stderr);
            std::fflush(stderr);
            char line[16] = {};
            if (std::fgets(line, sizeof line, stdin))
                answer = (line[0] == 'y' || line[0] == 'Y') ? Answer::Yes : Answer::No;
        }
        Declined = answer != Answer::Yes;
        return answer;
    }
    bool Declined = false;

private:
    bool FYes;
};

// Receives the encoder's notifications and ends the wait at the end notification.
class TEncodeWaiter : public QObject {
public:
    explicit TEncodeWaiter(bool progress) : FProgress(progress) {}
    QEventLoop Loop;
    bool SawProgress = false;
    int ErrorCode = -1;
    QString ErrorLine;
    int EndCode = 0;      // an in-process encoder's end notification; 0: any other record ends

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != ProgressInfoEventType) return QObject::event(e);
        const TProcessInfo& info = *static_cast<TProcessInfoEvent*>(e)->Info;
        if (info.Percent >= 1 && info.Percent <= 100) {
            SawProgress = true;
            if (FProgress) PrintLine(stderr, QString::number(info.Percent) + QStringLiteral("%"));
        } else if (ErrorCode < 0 && (EndCode == 0 || info.Percent == EndCode)) {
            ErrorCode = info.ErrorCode;
            ErrorLine = info.ElapsedText;
            Loop.quit();
        }
        return true;
    }

private:
    bool FProgress;
};

// Opus, AAC or Apple Lossless through the format's encoder component (in-process; any
// input FFmpeg decodes). The output is written as its part file and renamed when whole.
int EncodeInProcess(int format, const QString& in, const QString& out, TConsolePrompter& prompter,
                    TEncodeWaiter& waiter)
{
    if (QFileInfo::exists(out)
        && prompter.AskYesNo(out + QStringLiteral(" exists. Overwrite it?"), TPrompter::Answer::No)
               != TPrompter::Answer::Yes) {
        PrintLine(stderr, out + QStringLiteral(" exists and was kept (--yes overwrites it)"));
        return 1;
    }
    waiter.EndCode = EncoderEndCode(format);
    TEncodeStep step(&waiter, &prompter);
    std::unique_ptr<TEncoder> encoder = MakeEncoder(format, step);
    TEncodeRequest request;
    request.Wav = in;
    request.Output = out;
    request.Kind = 2;
    try {
        encoder->Start(request);
    } catch (const std::exception& e) {
        PrintLine(stderr, out + QStringLiteral(": ") + QString::fromUtf8(e.what()));
        return 1;
    }
    if (waiter.ErrorCode < 0) waiter.Loop.exec();
    TProcessInfo end;
    end.ErrorCode = waiter.ErrorCode;
    end.ElapsedText = waiter.ErrorLine;
    const TEncodeOutcome outcome = encoder->Outcome(end, waiter.SawProgress);
    if (outcome.Failure.isEmpty()) return 0;
    PrintLine(stderr, outcome.Message);
    return 1;
}

// Encodes WAV to MP3 or WMA, or decodes MP3 to WAV, through the program's encoder
// processes and with the encoder settings of "options.ini". Exit status 0 when the encoder
// ran, reported progress and left a non-empty output.
int Encode(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Encode WAV to MP3 or WMA, or decode MP3 to WAV, with the outside encoders; "
                                     "encode WAV or any file FFmpeg decodes to Opus, AAC or Apple Lossless.");
    parser.addOption(QCommandLineOption("to", "Target format: mp3, wma, wav (wav decodes an MP3 file), opus, aac or alac.", "FORMAT"));
    parser.addOption(QCommandLineOption("yes", "Overwrite an existing output without asking."));
    parser.addOption(QCommandLineOption("progress", "Print each progress report on stderr."));
    parser.addPositionalArgument("IN", "The file to encode or decode.");
    parser.addPositionalArgument("OUT", "The file to write.");
    if (const int rc = ParseCommandLine(parser, args, "encode"); rc >= 0)
        return rc;
    const QString to = parser.value("to").toLower();
    const QStringList files = parser.positionalArguments();
    const int format = OutputFormatOfWord(to);
    const bool inProcess = format == FormatOpus || format == FormatAac || format == FormatAlac;
    if ((to != "mp3" && to != "wma" && to != "wav" && !inProcess) || files.size() != 2) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli encode: give --to mp3|wma|wav|opus|aac|alac, an input and an output file"));
        return 2;
    }
    if (!QFileInfo(files[0]).isFile()) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli encode: cannot read ") + files[0]);
        return 1;
    }

    TConsolePrompter prompter(parser.isSet("yes"));
    TEncodeWaiter waiter(parser.isSet("progress"));
    if (inProcess)
        return EncodeInProcess(format, QFileInfo(files[0]).absoluteFilePath(), QFileInfo(files[1]).absoluteFilePath(),
                               prompter, waiter);
    std::unique_ptr<TEncodeProcess> process;
    if (to == "wma") process = std::make_unique<TWMAEncodeProcess>();
    else process = std::make_unique<TMp3EncodeProcess>();
    process->Active = true;
    process->InputFile = QFileInfo(files[0]).absoluteFilePath();
    process->OutputFile = QFileInfo(files[1]).absoluteFilePath();
    process->OwnerWindow = &waiter;
    process->Encode = to != "wav";
    process->Kind = 2;
    process->Prompter = &prompter;
    try {
        process->Start();
    } catch (const EEncodeProcessError& e) {
        PrintLine(stderr, QString::fromStdString(e.what()));
        return 1;
    }
    if (waiter.ErrorCode < 0) waiter.Loop.exec();
    process->Stop(0);

    switch (waiter.ErrorCode) {
    case 2:
        // Progress alone is no file: an encoder that died half way leaves nothing usable.
        if (waiter.SawProgress && QFileInfo(process->OutputFile).size() > 0) return 0;
        PrintLine(stderr, QStringLiteral("varnelcd-cli encode: the encoder ended without output"));
        return 1;
    case 8:
        PrintLine(stderr, waiter.ErrorLine);
        return 1;
    case 1:
        PrintLine(stderr, process->OutputFile + QStringLiteral(": the file is in use"));
        return 1;
    default:
        if (prompter.Declined)
            PrintLine(stderr, process->OutputFile + QStringLiteral(" exists and was kept (--yes overwrites it)"));
        return 1;   // else the encoder is missing, which the prompter has told
    }
}

} // namespace

VARNELCD_CLI_COMMAND("encode", "encode WAV to MP3, WMA, Opus, AAC or ALAC, or decode MP3 to WAV", Encode);
