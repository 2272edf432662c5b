// varnelcd-cli convert --to mp3|wav|ogg|wma|flac|opus|aac|alac [--out DIR] [--pattern P] [--jobs N] [--yes | --no]
//                      [--existing ask|skip|rename|overwrite] [--recursive [--beside]] FILE|DIR...
#include "app/cli/CliCommand.h"
#include "settings/Lang.h"
#include "app/cli/JobConsole.h"
#include "encode/OutputFormats.h"
#include "jobs/ConversionJob.h"
#include "jobs/ConversionTree.h"
#include "settings/Global.h"
#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The files below the folders given, one job per folder they go into (its output folder
// repeats their sub-folder); a stop ends the run. Whatever could not be converted is listed
// again at the end with its cause.
int ConvertTree(int mode, const QStringList& inputs, const std::shared_ptr<TOptionsSetting>& run, bool beside,
                TPrompter::Answer answer)
{
    const TConversionTree tree = ScanConversionTree(inputs, mode, beside ? QString() : run->CommonOptions.OutputFolder);
    QStringList failed = tree.Problems;
    if (tree.Groups.isEmpty() && failed.isEmpty())
        failed << LangString("RES_Cli_NoSoundBelow", QStringLiteral("以下位置没有可转换的声音文件：")) + inputs.join(QStringLiteral(", "));
    // One prompter for the whole tree: a "to all" answer holds in every folder.
    TJobConsolePrompter prompter(answer);
    for (const TConversionGroup& group : tree.Groups) {
        auto groupRun = std::make_shared<TOptionsSetting>(*run);
        groupRun->CommonOptions.OutputFolder = group.OutputFolder;
        QDir().mkpath(group.OutputFolder);   // when it cannot be made, the job says so for each file
        TConversionJob job(mode, group.Files, &prompter, nullptr, nullptr, groupRun);
        const int rc = RunJobOnConsole(job, "convert");
        for (int i = 0; i < job.Results().size(); ++i)
            if (!job.Results()[i].Produced)
                failed << job.Entries().value(i) + QStringLiteral(": ")
                              + (job.Results()[i].Failure.isEmpty() ? LangString("RES_Cli_NotProduced", QStringLiteral("未生成")) : job.Results()[i].Failure);
        if (rc >= 128)
            return rc;
    }
    if (failed.isEmpty())
        return 0;
    PrintLine(stderr, QStringLiteral("varnelcd-cli convert: ") + LangString("RES_Cli_NotConverted", QStringLiteral("%1 个未能转换：")).arg(failed.size()));
    for (const QString& line : failed)
        PrintLine(stderr, QStringLiteral("  ") + line);
    return 1;
}

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
    parser.addOption(QCommandLineOption("recursive", "Convert every sound file below the folders given, into the same "
                                                     "sub-folders below the output folder."));
    parser.addOption(QCommandLineOption("beside", "With --recursive: each file is converted beside itself (no --out)."));
    parser.addPositionalArgument("FILE", "The files (with --recursive also folders) to convert.", "FILE...");
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
    const bool beside = parser.isSet("beside");
    if (beside && (!parser.isSet("recursive") || parser.isSet("out"))) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli convert: ") + LangString("RES_Cli_BesideNeeds", QStringLiteral("--beside 须与 --recursive 同用，且不带 --out")));
        return 2;
    }
    if (beside) {
        // Each file's own folder is its output folder.
    } else if (parser.isSet("out")) {
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
    if (parser.isSet("recursive"))
        return ConvertTree(mode, entries, run, beside, answer);
    TJobConsolePrompter prompter(answer);
    TConversionJob job(mode, entries, &prompter, nullptr, nullptr, run);
    return RunJobOnConsole(job, "convert");
}

} // namespace

VARNELCD_CLI_COMMAND("convert", "convert sound files to MP3, OGG, WMA, FLAC, Opus, AAC, ALAC or WAV", Convert);
