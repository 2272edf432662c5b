#pragma once
#include "settings/Options.h"

#include <memory>
// An outside encoder run as a child process: the shared part of TMp3EncodeProcess and
// TWMAEncodeProcess.
//
// The caller prepares a job (Active := true, InputFile, OutputFile, OwnerWindow, Encode,
// Kind, Prompter) and calls Start, which returns once the child runs, or at once after a
// refusal. Everything after that reaches OwnerWindow as TProcessInfoEvents on the main
// thread: progress reports (Percent 1..100, posted) and one end notification (Percent
// 2000 for MP3, 5000 for WMA) with ErrorCode 0 (the user kept the existing output, or the
// encoder is missing), 1 (the output is in use), 2 (the child has ended) or 8 (the WMA
// encoder printed an error line; the line is in ElapsedText). Stop(0) ends a running child
// (it leads a process group of its own, killed whole) without a further notification.
// The child's standard output and error feed the same parser; its standard input is the
// null device. Arguments go to the child as a list, never through a shell.
#include "platform/Prompter.h"
#include "encode/EncoderOutput.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <functional>
#include <stdexcept>

// Start could not create the child process. The text is the message to show.
class EEncodeProcessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TEncodeProcess : public QObject {
    Q_OBJECT
public:
    ~TEncodeProcess() override;

    // The job, set by the caller before Start.
    bool Active = false;           // cleared only by Stop
    // The settings the command line is made from (a job's copy); none: the global ones.
    std::shared_ptr<const TOptionsSetting> Settings;
    QString InputFile;
    QString OutputFile;
    QPointer<QObject> OwnerWindow; // receives the notifications
    bool Encode = true;            // MP3 only: false decodes MP3 to WAV
    int Kind = 0;                  // 1 = CD rip job, 2..6 = modes of the conversion job
    TPrompter* Prompter = nullptr; // asks about overwriting; none: an existing output is kept
    // The child writes "<OutputFile>.part" (a job's output: the job has decided about an
    // existing file and nothing is asked here). When the child ends with status 0 and a
    // non-empty file, the part file is renamed over OutputFile before the end is told;
    // any other end, a stop or a new Start removes it.
    bool WriteAsPart = false;
    // With WriteAsPart: runs on the whole part file just before it is renamed (a tag goes in
    // there, so a stop or a kill never leaves an untagged file under the final name). A text
    // is a failure: the part file goes and Failure() holds the text.
    std::function<QString(const QString& part)> BeforeCommit;

    // The file the child writes: OutputFile or its part file.
    QString WrittenFile() const;
    // After the end notification: true when the child exited with status 0 (and, with
    // WriteAsPart, the output is in place).
    bool EndedWell() const { return FEndedWell; }
    // After a bad end with WriteAsPart: the plain cause when one is known (the disk is
    // full, the folder is read-only, the rename failed), else empty.
    const QString& Failure() const { return FFailure; }

    // Starts the encoder for the prepared job. Throws EEncodeProcessError when the child
    // cannot be started (the pipes are closed again; nothing is notified).
    void Start();
    // Ends the job: nothing when not Active; else Active := false, the child is killed
    // and reaped, and nothing more is notified for it. Linux sets a killed child's status
    // itself, so exitCode is not passed on.
    void Stop(int exitCode);

    bool Running() const;
    qint64 ChildProcessId() const;        // 0 when no child is known
    int ProgressColumn() const { return FParser.ProgressColumn(); }

    // The program and arguments Start would use now (the settings are read here).
    virtual QString Program() = 0;        // empty: not found
    virtual QStringList Arguments() = 0;

protected:
    explicit TEncodeProcess(QObject* parent);

    virtual int EndPercent() const = 0;
    virtual bool SkipsOverwriteQuestion(int kind) const = 0;
    virtual bool SendsEndNotification() const = 0;
    virtual TEncoderOutputParser::Mode ParserMode() const = 0;
    // A missing program: true when the refusal was handled (message and notification);
    // false lets Start go on and fail as a process-creation error.
    virtual bool RefuseMissingProgram() { return false; }

    // An end notification with ErrorCode and text: sent (progress reports already posted
    // are delivered first) or posted, as the subclass says.
    void NotifyEnd(int errorCode, const QString& text = QString());

private:
    void ReadOutput(QProcess::ProcessChannel channel);
    void ProcessEnded();
    // Delivers parsed reports; false when a notification stopped this run.
    bool Deliver(const QVector<TProcessInfo>& reports);
    void Post(const TProcessInfo& info);
    void ReleaseChild(bool kill);
    // WriteAsPart, the child has ended: its part file becomes the output, or goes.
    void FinishPart();

    QProcess* FChild = nullptr;
    TEncoderOutputParser FParser;
    QElapsedTimer FStartTime;
    quint64 FRun = 0;                     // changes with every Start and Stop
    bool FEndedWell = false;
    QString FFailure;
};
