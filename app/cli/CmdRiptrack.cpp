// varnelcd-cli riptrack --track N [--out DIR] [--drive N] [--yes | --no] [--existing ask|skip|rename|overwrite]
//                       [--disc-image PATH]...
#include "app/cli/CliCommand.h"
#include "app/cli/JobConsole.h"
#include "app/cli/CliDisc.h"
#include "cd/CDRipThread.h"
#include "platform/OutputFile.h"
#include "platform/ProcessInfo.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// Keeps the rip thread's last messages; the command reads them once the thread has ended.
class TRipOwner : public QObject {
public:
    int FailedReason = 0;
    int Finished = -1;                     // ErrorCode of the completion message; -1 = none

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == RipFailedEventType) {
            FailedReason = static_cast<TRipFailedEvent*>(e)->Reason;
            return true;
        }
        if (e->type() == ProgressInfoEventType) {
            const TProcessInfo& info = *static_cast<TProcessInfoEvent*>(e)->Info;
            if (info.Percent == ProgressCode::RipFinished)
                Finished = info.ErrorCode;
            return true;
        }
        return QObject::event(e);
    }
};

// Reads one track (by its position on the disc, 1 = first) into "TrackNN.wav" in the
// output folder of the settings or --out, normalizing it when the settings say so.
int RipTrack(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Rip one track of the disc in the drive to a WAV file.");
    parser.addOption(QCommandLineOption("track", "The track's position on the disc (1 = first).", "N"));
    parser.addOption(QCommandLineOption("out", "Output folder (default: the one in the settings).", "DIR"));
    parser.addOption(QCommandLineOption("drive", "Use drive N (0-based position in the drive list).", "N"));
    AddAnswerOptions(parser);
    AddExistingOption(parser);
    if (const int rc = ParseCommandLine(parser, args, "riptrack"); rc >= 0)
        return rc;
    int track = 0;
    int drive = OptionsSetting.CDOptions.Index;
    // The run's own settings: the stored ones changed by the options given.
    TOptionsSetting run = OptionsSetting;
    TPrompter::Answer answer;
    if (!IntOption(parser, "track", track) || !IntOption(parser, "drive", drive)
        || !AnswerOption(parser, "riptrack", answer) || !ExistingOption(parser, "riptrack", run.CommonOptions))
        return 2;
    if (!parser.isSet("track")) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli riptrack: --track N is required"));
        return 2;
    }
    TCliDisc disc;
    if (!disc.Open(drive, TCliDisc::FirstLibraryOnly))
        return 1;
    std::unique_ptr<TDiscSource> source = disc.Session().RipSource();
    const int tracks = source->Tracks();
    if (tracks > 0 && (track < 1 || track > tracks)) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli riptrack: the disc has no track at position %1").arg(track));
        return 2;
    }

    // The file's name by the Existing rule, decided before anything is read.
    QString folder = run.CommonOptions.OutputFolder;
    if (parser.isSet("out")) {
        const QString out = QDir(parser.value("out")).absolutePath();
        QDir().mkpath(out);                // a failure shows as the rip's own message
        folder = WithBackslash(out);
    }
    TJobConsolePrompter prompter(answer);
    TExistingFiles existing(TExisting(run.CommonOptions.Existing), &prompter);
    const QString wanted = QDir(folder).filePath(QStringLiteral("Track") + TwoDigits(track) + QStringLiteral(".wav"));
    const TExistingFiles::TDecision decision = existing.Decide(wanted);
    if (decision.Action == TExistingFiles::TDecision::Skip) {
        PrintLine(stdout, decision.Path);
        return 0;
    }
    if (decision.Action == TExistingFiles::TDecision::Keep) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli riptrack: ") + decision.Reason);
        return 1;
    }
    QString title = QFileInfo(decision.Path).fileName();
    title.chop(4);                         // ".wav"

    TRipOwner owner;
    TCDRipThread rip(track, title);
    rip.Reader = source->NewReader();
    rip.OwnerWindow = &owner;
    rip.Options = run.CommonOptions;
    rip.Options.OutputFolder = folder;
    rip.Start();
    rip.Wait();
    TCDRipThread::DeliverPosted();
    QCoreApplication::sendPostedEvents(&owner);

    const QString file = rip.WavFileName();
    switch (owner.FailedReason) {
    case 1: PrintLine(stderr, LangString("RES_ModifyCDParmsError", "抓取CD音轨失败！请重新尝试！")); return 1;
    case 2: PrintLine(stderr, LangString("RES_ReadTocError", "读取toc信息出错！")); return 1;
    default: break;
    }
    // A whole rip (normalized or not) takes its name; a failed one has left nothing.
    QString commitError;
    if ((owner.Finished == RipError::None || owner.Finished == RipError::NormalizeFailed)
        && !CommitPart(rip.PartFileName(), file, &commitError)) {
        PrintLine(stderr, commitError);
        return 1;
    }
    const QString cause = rip.WriteFailure();
    switch (owner.Finished) {
    case RipError::None: PrintLine(stdout, file); return 0;
    case RipError::ReadFailed: PrintLine(stderr, TrackReadErrorText(rip.Result())); return 1;
    case RipError::CreateFailed:
        if (IsPlainWriteError(cause)) PrintLine(stderr, cause);
        else PrintLine(stderr, file + LangString("RES_CreateWavFileError", " 不是有效文件名。请重命名CD曲目列表中的标题。"));
        return 1;
    case RipError::NormalizeFailed:
        PrintLine(stderr, file + ": " + LangString("RES_NormalizeError", "音量规格化失败！"));
        return 1;
    case RipError::WriteFailed:
        PrintLine(stderr, !cause.isEmpty() ? cause : file + ": " + LangString("RES_WriteWavFileError", "写入WAV文件时出错！"));
        return 1;
    default: PrintLine(stderr, QStringLiteral("varnelcd-cli riptrack: the rip ended without a result")); return 1;
    }
}

} // namespace

VARNELCD_CLI_COMMAND("riptrack", "rip one track of the disc in the drive to a WAV file", RipTrack);
