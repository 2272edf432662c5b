// varnelcd-cli convert --to mp3|wav|ogg|wma|flac|opus|aac|alac [--out DIR] [--pattern P] [--jobs N] [--yes | --no]
//                      [--existing ask|skip|rename|overwrite] FILE...
#include "app/cli/CliCommand.h"
#include "app/cli/JobConsole.h"
#include "encode/OutputFormats.h"
#include "jobs/ConversionJob.h"
#include "settings/Global.h"
#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Converts files (with --jobs, several at once) as the main window's conversion commands do: WAV to MP3,
// OGG or WMA, MP3 to WAV, each output named after its file, in the output folder; FLAC
// files (and any other file FFmpeg decodes) as WAV input, and any of them to FLAC, Opus, AAC or
// Apple Lossless.
int Convert(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Convert sound files (WAV, FLAC, MP3, OGG, or anything FFmpeg decodes: WMA, AAC, "
                                     "Opus, ALAC, WavPack, APE, ...) to MP3, OGG, WMA, FLAC, Opus, AAC or ALAC, or to WAV.");
    parser.addOption(QCommandLineOption("to", "Target format: " + OutputFormatWordList() + " (wav from MP3 or any "
                                              "non-WAV file).", "FORMAT"));
    parser.addOption(QCommandLineOption("out", "Output folder (default: the one in the settings).", "DIR"));
    parser.addOption(QCommandLineOption("pattern", "File-name pattern below the output folder, as \"%A/%D/%N %T\" "
                                                   "(default: the settings'; empty: each file's own name).", "P"));
    AddAnswerOptions(parser);
    AddExistingOption(parser);
    AddJobsOption(parser);
    parser.addOption(QCommandLineOption("replaygain", "ReplayGain values into the tags: on or off (default: the settings').", "on|off"));
    parser.addPositionalArgument("FILE", "The files to convert.", "FILE...");
    if (const int rc = ParseCommandLine(parser, args, "convert"); rc >= 0)
        return rc;
    TPrompter::Answer answer;
    // The run's own settings: the stored ones changed by the options given.
    auto run = std::make_shared<TOptionsSetting>(OptionsSetting);
    TCommonOptions& common = run->CommonOptions;
    if (!AnswerOption(parser, "convert", answer) || !JobsOption(parser, "convert", common)
        || !ExistingOption(parser, "convert", common))
        return 2;
    const int mode = TConversionJob::FileModeMaking(OutputFormatOfWord(parser.value("to")));
    if (parser.isSet("pattern")) common.FileNamePattern = parser.value("pattern");
    if (!ReplayGainOption(parser, "convert", common)) return 2;
    const QStringList files = parser.positionalArguments();
    if (mode == 0 || files.isEmpty()) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli convert: give --to ") + OutputFormatWords().join(QLatin1Char('|'))
                              + QStringLiteral(" and at least one file"));
        return 2;
    }
    if (parser.isSet("out")) {
        const QString out = QDir(parser.value("out")).absolutePath();
        if (!QDir().mkpath(out)) {
            PrintLine(stderr, QStringLiteral("Cannot create ") + out);
            return 1;
        }
        common.OutputFolder = WithBackslash(out);
    } else if (!QDir(common.OutputFolder).exists()) {
        PrintLine(stderr, common.OutputFolder + QStringLiteral(": the output folder does not exist (--out DIR names another)"));
        return 1;
    }
    QStringList entries;
    for (const QString& f : files) entries.append(QFileInfo(f).absoluteFilePath());
    TJobConsolePrompter prompter(answer);
    TConversionJob job(mode, entries, &prompter, nullptr, nullptr, run);
    return RunJobOnConsole(job, "convert");
}

} // namespace

VARNELCD_CLI_COMMAND("convert", "convert sound files to MP3, OGG, WMA, FLAC, Opus, AAC, ALAC or WAV", Convert);
