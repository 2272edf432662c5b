// The child process, its output and its notifications.
#include "encode/EncodeProcess.h"

#include "platform/OutputFile.h"
#include "settings/Global.h"
#include "settings/Lang.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <memory>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr int START_WATCHDOG_MS = 30000;
constexpr int KILL_WATCHDOG_MS = 10000;

} // namespace

TEncodeProcess::TEncodeProcess(QObject* parent) : QObject(parent) {}

TEncodeProcess::~TEncodeProcess()
{
    if (Active) Stop(0);
    // A child started without Active set is still ended with its object.
    ReleaseChild(true);
}

bool TEncodeProcess::Running() const
{
    return FChild && FChild->state() != QProcess::NotRunning;
}

qint64 TEncodeProcess::ChildProcessId() const
{
    return FChild ? FChild->processId() : 0;
}

void TEncodeProcess::Start()
{
    // One child per object: a caller that starts again without waiting for the end
    // notification ends the previous child silently.
    ReleaseChild(true);
    ++FRun;
    FEndedWell = false;
    FFailure.clear();

    if (WriteAsPart) {
        RemoveStalePart(OutputFile);
    } else if (QFileInfo::exists(OutputFile) && !SkipsOverwriteQuestion(Kind)) {
        const QString question = OutputFile + LangString(QStringLiteral("RES_File_Exist"),
                                                         QStringLiteral("已经存在，要覆盖它吗？"));
        const bool yes = Prompter && Prompter->AskYesNo(question, TPrompter::Answer::No) == TPrompter::Answer::Yes;
        if (!yes) {
            NotifyEnd(0);
            return;
        }
        if (IsFileInUse(OutputFile)) {
            NotifyEnd(1);
            return;
        }
    }

    const QString program = Program();
    if (program.isEmpty() && RefuseMissingProgram()) return;
    const QStringList arguments = Arguments();
    FParser.Reset(ParserMode());

    auto child = std::make_unique<QProcess>();
    child->setProgram(program);
    child->setArguments(arguments);
    child->setProcessChannelMode(QProcess::SeparateChannels);
    child->setStandardInputFile(QProcess::nullDevice());
    // The child leads a process group of its own: a stop kills whatever it started too, and
    // a terminal's Ctrl-C reaches this program, which stops the job, not the encoders.
    // It also dies with this program, so that a killed job leaves no encoder writing on.
    child->setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    child->start(QIODevice::ReadOnly);
    if (!child->waitForStarted(START_WATCHDOG_MS)) {
        const QString reason = child->errorString();
        child->kill();
        child->waitForFinished(KILL_WATCHDOG_MS);
        throw EEncodeProcessError(
            (LangString(QStringLiteral("RES_CreateProcess_Error"), QStringLiteral("产生MP3编码进程时出错！"))
             + QLatin1Char(' ') + reason).toStdString());
    }
    FStartTime.start();
    FChild = child.release();
    connect(FChild, &QProcess::readyReadStandardOutput, this,
            [this] { ReadOutput(QProcess::StandardOutput); });
    connect(FChild, &QProcess::readyReadStandardError, this,
            [this] { ReadOutput(QProcess::StandardError); });
    connect(FChild, &QProcess::finished, this, [this] { ProcessEnded(); });
}

void TEncodeProcess::Stop(int /*exitCode*/)
{
    if (!Active) return;
    Active = false;
    ++FRun;
    const bool running = Running();
    ReleaseChild(true);
    // What a killed child wrote is no file.
    if (WriteAsPart && running) DiscardPart(PartPathOf(OutputFile));
}

QString TEncodeProcess::WrittenFile() const
{
    return WriteAsPart ? PartPathOf(OutputFile) : OutputFile;
}

namespace {

// A WAV file whose data chunk is cut short (an encoder that carried on after a failed
// write) is not whole; any other file is judged by its encoder's exit status alone.
bool CutWav(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return true;
    const QByteArray head = f.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE") return false;
    qint64 at = 12;
    while (at + 8 <= f.size()) {
        f.seek(at);
        const QByteArray chunk = f.read(8);
        const qint64 size = qint64(uchar(chunk[4])) | qint64(uchar(chunk[5])) << 8 | qint64(uchar(chunk[6])) << 16
                            | qint64(uchar(chunk[7])) << 24;
        if (chunk.startsWith("data")) return at + 8 + size > f.size();
        at += 8 + size + (size & 1);
    }
    return true;
}

} // namespace

void TEncodeProcess::FinishPart()
{
    const QString part = PartPathOf(OutputFile);
    if (FEndedWell && CutWav(part)) FEndedWell = false;
    if (FEndedWell && QFileInfo(part).size() > 0) {
        const QString error = BeforeCommit ? BeforeCommit(part) : QString();
        if (!error.isEmpty()) {
            // The tags could not go in: the file is not committed, and the end says why.
            DiscardPart(part);
            FFailure = error;
            FEndedWell = false;
            return;
        }
        if (!CommitPart(part, OutputFile, &FFailure)) FEndedWell = false;
        return;
    }
    FEndedWell = false;
    // An encoder that could not write says so in its own words; the usual causes are
    // named plainly from the folder it wrote to (before its part file frees the space).
    const QString folder = QFileInfo(OutputFile).absolutePath();
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) != 0) FFailure = WriteErrorText(errno, OutputFile);
    else if (fs.f_flag & ST_RDONLY) FFailure = WriteErrorText(EROFS, OutputFile);
    else if (fs.f_bavail == 0) FFailure = WriteErrorText(ENOSPC, OutputFile);
    else if (::access(QFile::encodeName(folder).constData(), W_OK) != 0) FFailure = WriteErrorText(errno, OutputFile);
    DiscardPart(part);
}

void TEncodeProcess::ReleaseChild(bool kill)
{
    if (!FChild) return;
    QProcess* child = FChild;
    FChild = nullptr;
    disconnect(child, nullptr, this, nullptr);
    if (kill && child->state() != QProcess::NotRunning) {
        if (child->processId() > 0) ::kill(-pid_t(child->processId()), SIGKILL);
        child->kill();
        child->waitForFinished(KILL_WATCHDOG_MS);   // reaps it: no zombie is left
    }
    // This may run inside one of the child's own signals, so it is deleted later.
    child->deleteLater();
}

void TEncodeProcess::ReadOutput(QProcess::ProcessChannel channel)
{
    if (!FChild) return;
    const QByteArray bytes = channel == QProcess::StandardOutput ? FChild->readAllStandardOutput()
                                                                 : FChild->readAllStandardError();
    if (bytes.isEmpty()) return;
    Deliver(FParser.Feed(bytes, FStartTime.elapsed()));
}

void TEncodeProcess::ProcessEnded()
{
    if (!FChild) return;
    // Whatever the child printed last is read before its end is told.
    const quint64 run = FRun;
    const QByteArray out = FChild->readAllStandardOutput();
    if (!out.isEmpty() && !Deliver(FParser.Feed(out, FStartTime.elapsed()))) return;
    if (run != FRun || !FChild) return;
    const QByteArray err = FChild->readAllStandardError();
    if (!err.isEmpty() && !Deliver(FParser.Feed(err, FStartTime.elapsed()))) return;
    if (run != FRun || !FChild) return;
    if (!Deliver(FParser.Finish(FStartTime.elapsed()))) return;
    if (run != FRun) return;
    FEndedWell = FChild->exitStatus() == QProcess::NormalExit && FChild->exitCode() == 0;
    ReleaseChild(false);
    if (WriteAsPart) FinishPart();
    NotifyEnd(2);
}

bool TEncodeProcess::Deliver(const QVector<TProcessInfo>& reports)
{
    const quint64 run = FRun;
    const QPointer<TEncodeProcess> self(this);
    for (const TProcessInfo& info : reports) {
        if (info.Percent >= 1 && info.Percent <= 100) {
            Post(info);
        } else {
            NotifyEnd(info.ErrorCode, info.ElapsedText);
            // The handler of a sent notification may have stopped the job, or freed us.
            if (!self || run != FRun) return false;
        }
    }
    return true;
}

void TEncodeProcess::Post(const TProcessInfo& info)
{
    if (!OwnerWindow) return;
    QCoreApplication::postEvent(OwnerWindow, new TProcessInfoEvent(std::make_unique<TProcessInfo>(info)));
}

void TEncodeProcess::NotifyEnd(int errorCode, const QString& text)
{
    TProcessInfo info;
    info.Percent = EndPercent();
    info.ErrorCode = errorCode;
    info.ElapsedText = text;
    // An encoder's own line about a failed write is told in the program's plain words.
    if (WriteAsPart && errorCode == 8)
        for (const int cause : {ENOSPC, EDQUOT, EROFS, EACCES})
            if (text.contains(QString::fromLocal8Bit(std::strerror(cause)))) {
                info.ElapsedText = WriteErrorText(cause, OutputFile);
                break;
            }
    if (!OwnerWindow) return;
    if (!SendsEndNotification()) {
        Post(info);
        return;
    }
    // The progress reports posted before the end must reach the owner before it: the
    // owner judges success by whether one arrived.
    QCoreApplication::sendPostedEvents(OwnerWindow, ProgressInfoEventType);
    if (!OwnerWindow) return;
    TProcessInfoEvent event(std::make_unique<TProcessInfo>(info));
    QCoreApplication::sendEvent(OwnerWindow, &event);
}
