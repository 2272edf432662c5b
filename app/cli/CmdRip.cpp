// varnelcd-cli rip [--drive N] [--tracks LIST] [--format F] [--out DIR] [--pattern P] [--keep-wav]
//                  [--id3] [--flac-level N] [--cuesheet] [--offset N] [--accuraterip-url U]
//                  [--no-accuraterip] [--ctdb-url U] [--no-ctdb] [--log PATH] [--test] [--jobs N] [--yes | --no]
//                  [--existing ask|skip|rename|overwrite] [--speed N] [--disc-image PATH]...
#include "app/cli/CliCommand.h"
#include "app/cli/JobConsole.h"
#include "app/cli/CliDisc.h"
#include "cd/CDInput.h"
#include "jobs/CDRipJob.h"
#include "cd/RipAudit.h"
#include "jobs/ConversionJob.h"
#include "encode/JobEntry.h"
#include "encode/OutputFormats.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace {

// "1,3-5" as the track positions 1, 3, 4, 5 in the order given (a position twice counts
// once); false for anything else or a position outside 1..count.
bool ParseTrackList(const QString& text, int count, QList<int>& tracks, int lowest = 1)
{
    QSet<int> seen;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QStringList range = part.trimmed().split(QLatin1Char('-'));
        if (range.size() > 2) return false;
        bool ok1 = false, ok2 = false;
        const int first = range[0].trimmed().toInt(&ok1);
        const int last = range.size() == 2 ? range[1].trimmed().toInt(&ok2) : first;
        if (!ok1 || (range.size() == 2 && !ok2) || first < lowest || last > count || first > last) return false;
        for (int t = first; t <= last; ++t)
            if (!seen.contains(t)) {
                seen.insert(t);
                tracks.append(t);
            }
    }
    return !tracks.isEmpty();
}

// Rips the chosen tracks (default: all) of the disc in the drive and encodes them as the
// extract command does, with the settings of "options.ini" changed only for this run by the
// options given.
int Rip(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Rip tracks of the disc in the drive and encode them to WAV, MP3, OGG, WMA or FLAC.");
    parser.addOption(QCommandLineOption("drive", "Use drive N (0-based position in the drive list).", "N"));
    parser.addOption(QCommandLineOption("tracks", "The tracks to rip, as 1,3-5 (default: all).", "LIST"));
    parser.addOption(QCommandLineOption("format", "Output format: " + OutputFormatWordList()
                                                      + "; several separated by commas are made from one read (default: the settings').", "F"));
    parser.addOption(QCommandLineOption("out", "Output folder (default: the one in the settings).", "DIR"));
    parser.addOption(QCommandLineOption("pattern", "File-name pattern below the output folder, as \"%A/%D/%N %T\" "
                                                   "(default: the settings'; empty: the track titles).", "P"));
    parser.addOption(QCommandLineOption("keep-wav", "Keep the ripped WAV files after encoding."));
    parser.addOption(QCommandLineOption("id3", "Tag MP3 files (ID3v1) and WMA files with the disc information."));
    parser.addOption(QCommandLineOption("flac-level", "FLAC compression level 0..8 (default: the settings').", "N"));
    parser.addOption(QCommandLineOption("cuesheet", "FLAC: the whole disc as one file with a cue sheet."));
    parser.addOption(QCommandLineOption("offset", "Read offset correction in samples, -5880 to 5880 (default: the drive's stored one).", "N"));
    parser.addOption(QCommandLineOption("accuraterip-url", "Base URL of the AccurateRip database (default: the settings').", "U"));
    parser.addOption(QCommandLineOption("no-accuraterip", "Do not ask the AccurateRip database."));
    parser.addOption(QCommandLineOption("ctdb-url", "Base URL of the CUETools database (default: the settings').", "U"));
    parser.addOption(QCommandLineOption("strategy", "secure (every track in the drive's paranoia mode) or burst (fast; a track "
                                                    "no database confirms is read again securely); default: the settings'.", "S"));
    parser.addOption(QCommandLineOption("no-ctdb", "Do not ask the CUETools database (nor repair from it)."));
    parser.addOption(QCommandLineOption("log", "Write the rip log to PATH (default: beside the files, when the settings ask for one).", "PATH"));
    parser.addOption(QCommandLineOption("test", "Read every track twice, first for its CRC only, and compare."));
    parser.addOption(QCommandLineOption("speed", QStringLiteral("Read speed, 1 to %1 times 1x; 0: the drive's own choice "
                                                                "(default: the settings').").arg(MaxReadSpeed), "N"));
    AddAnswerOptions(parser);
    AddExistingOption(parser);
    AddJobsOption(parser);
    parser.addOption(QCommandLineOption("cue", "A cue sheet beside the files (default: the settings')."));
    parser.addOption(QCommandLineOption("no-cue", "No cue sheet beside the files."));
    parser.addOption(QCommandLineOption("replaygain", "ReplayGain values into the tags: on or off (default: the settings').", "on|off"));
    if (const int rc = ParseCommandLine(parser, args, "rip"); rc >= 0)
        return rc;
    int drive = OptionsSetting.CDOptions.Index;
    TPrompter::Answer answer;
    // The run's own settings: the stored ones changed by the options given (the stored ones
    // stay as they are).
    TOptionsSetting run = OptionsSetting;
    TCommonOptions& common = run.CommonOptions;
    if (!IntOption(parser, "drive", drive) || !AnswerOption(parser, "rip", answer) || !JobsOption(parser, "rip", common)
        || !ExistingOption(parser, "rip", common))
        return 2;
    if (parser.isSet("format")) {
        // "flac,mp3,opus": the first is the rip's format, the others are made from the same read.
        QStringList words = parser.value("format").split(QLatin1Char(','));
        for (const QString& word : words) {
            if (OutputFormatOfWord(word.trimmed()) < 0) {
                PrintLine(stderr, QStringLiteral("varnelcd-cli rip: ")
                                      + LangString("RES_Cli_FormatTakes", QStringLiteral("--format 只接受 %1")).arg(OutputFormatWordList()));
                return 2;
            }
        }
        common.OutputFormat = OutputFormatOfWord(words.takeFirst().trimmed());
        common.ExtraFormats = words.join(QLatin1Char(','));
    }
    if (parser.isSet("flac-level")) {
        bool ok = false;
        const int level = parser.value("flac-level").toInt(&ok);
        if (!ok || level < 0 || level > 8) {
            PrintLine(stderr, QStringLiteral("varnelcd-cli rip: ") + LangString("RES_Cli_FlacLevelTakes", QStringLiteral("--flac-level 只接受 0 到 8")));
            return 2;
        }
        run.FlacOptions.Level = level;
    }
    if (parser.isSet("speed")) {
        bool ok = false;
        run.CDOptions.Speed = parser.value("speed").toInt(&ok);
        if (!ok || run.CDOptions.Speed < 0 || run.CDOptions.Speed > MaxReadSpeed) {
            PrintLine(stderr, QStringLiteral("varnelcd-cli rip: ") + LangString("RES_Cli_SpeedTakes", QStringLiteral("--speed 只接受 0 到 %1")).arg(MaxReadSpeed));
            return 2;
        }
    }
    if (parser.isSet("cuesheet")) run.FlacOptions.Cuesheet = true;
    if (parser.isSet("keep-wav")) common.IsKeepWav = true;
    if (parser.isSet("cue") || parser.isSet("no-cue")) common.CueSheet = parser.isSet("no-cue") ? 0 : 1;
    if (parser.isSet("pattern")) common.FileNamePattern = parser.value("pattern");
    if (parser.isSet("id3")) run.ID3Use = true;
    if (!ReplayGainOption(parser, "rip", common)) return 2;
    if (parser.isSet("out")) common.OutputFolder = WithBackslash(QDir(parser.value("out")).absolutePath());
    TRipAuditSettings& audit = RipAuditSettings();
    if (parser.isSet("offset")) {
        bool ok = false;
        audit.Offset = parser.value("offset").toInt(&ok);
        if (!ok || audit.Offset < -MaxReadOffset || audit.Offset > MaxReadOffset) {
            PrintLine(stderr, QStringLiteral("varnelcd-cli rip: ") + LangString("RES_Cli_OffsetTakes", QStringLiteral("--offset 只接受 -5880 到 5880 的采样数")));
            return 2;
        }
        audit.HasOffset = true;
    }
    if (parser.isSet("accuraterip-url")) audit.Url = parser.value("accuraterip-url");
    if (parser.isSet("no-accuraterip")) audit.AccurateRip = false;
    if (parser.isSet("log")) audit.LogPath = QFileInfo(parser.value("log")).absoluteFilePath();
    if (parser.isSet("test")) audit.TestPass = true;
    if (parser.isSet("ctdb-url")) audit.CtdbUrl = parser.value("ctdb-url");
    if (parser.isSet("no-ctdb")) audit.Ctdb = false;
    if (parser.isSet("strategy")) {
        audit.Strategy = parser.value("strategy");
        if (audit.Strategy != QLatin1String("secure") && audit.Strategy != QLatin1String("burst")) {
            PrintLine(stderr, QStringLiteral("varnelcd-cli rip: ") + LangString("RES_Cli_StrategyTakes", QStringLiteral("--strategy 只接受 secure 或 burst")));
            return 2;
        }
    }

    // Without a drive of the CD library, the CD input component reads the disc.
    TCliDisc disc;
    if (!disc.Open(drive))
        return 1;
    // Rows by position: 1 = the table's first track, 0 a hidden track before it.
    QMap<int, TTrackRow> rows;
    for (const TTrackRow& r : disc.Rows()) rows.insert(r.Position, r);
    const int count = int(rows.size()) - (rows.contains(0) ? 1 : 0);
    QList<int> tracks;
    if (!parser.isSet("tracks")) {
        for (const TTrackRow& r : rows)
            if (!r.Data) tracks.append(r.Position);   // data tracks are never read
    } else if (!ParseTrackList(parser.value("tracks"), count, tracks, rows.contains(0) ? 0 : 1)) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli rip: ") + LangString("RES_Cli_TracksTakes", QStringLiteral("--tracks 只接受 1 到 %1 的位置，如 1,3-5")).arg(count));
        return 2;
    }
    for (int t : tracks)
        if (rows[t].Data) {
            PrintLine(stderr, QStringLiteral("varnelcd-cli rip: ") + LangString("RES_Cli_DataTrack", QStringLiteral("音轨 %1 是数据音轨")).arg(rows[t].Number));
            return 2;
        }

    // A whole-disc file holds its tracks in disc order.
    if (common.OutputFormat == FormatFlac && run.FlacOptions.Cuesheet) std::sort(tracks.begin(), tracks.end());

    TJobConsolePrompter prompter(answer);
    // The extract command's checks: the output folder, a rip time of 0 seconds.
    const QString folder = common.OutputFolder;
    if (!QDir(folder).exists()) {
        const QString question = folder + QStringLiteral(",")
            + LangString("RES_Directory_Not_Exist", "输出目录不存在。") + QStringLiteral("\n")
            + LangString("RES_Create_Directory", "要创建这个目录吗？");
        // --out names the folder the user wants: it is made without a question.
        const bool create = parser.isSet("out") || prompter.AskYesNo(question, TPrompter::Answer::No) == TPrompter::Answer::Yes;
        if (!create) return 1;
        if (!QDir().mkpath(folder)) {
            PrintLine(stderr, LangString("RES_Cannot_Create", QStringLiteral("无法创建 %1")).arg(folder));
            return 1;
        }
    }
    if (common.EnableRipTime && common.RipTime == 0) {
        PrintLine(stderr, LangString("RES_Select_0", QStringLiteral("你选择提取0秒，请在“选项”对话框中更改。")));
        return 1;
    }

    QStringList entries;
    for (int t : tracks) entries.append(RipEntryText(t, rows[t].Title));
    // The disc's information as opening it found it (stored titles, CD-Text).
    run.CDInfo = OptionsSetting.CDInfo;
    const std::unique_ptr<TDiscSource> source = disc.Session().RipSource();
    TCDRipJob job(*source, entries, &prompter, nullptr, nullptr, std::make_shared<const TOptionsSetting>(run));
    const int rc = RunJobOnConsole(job, "rip");
    // What the databases say of the rip, after the files.
    for (const QString& line : job.VerdictLines()) PrintLine(stderr, line);
    return rc == 0 && job.LogFailed() ? 1 : rc;
}

} // namespace

VARNELCD_CLI_COMMAND("rip", "rip tracks of the disc in the drive to WAV, MP3, OGG, WMA or FLAC files", Rip);
