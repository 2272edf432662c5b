#pragma once
// The push side: an output owns a worker thread that pulls from Input and writes to the
// destination, one bounded block per DoOutput step.
//
// Concrete outputs implement Prepare (open the destination, Input()->Init(), write any
// header), DoOutput (one step; false when finished; Abort asks to finish now) and Done
// (finish the destination, Input()->Flush(); an exception it raises is the run's error
// unless the run already has one). They must call Stop(false) first thing in
// their destructor, because the worker calls their overrides until it is stopped.
// An output whose input (or an input below a converter it reads) is destroyed is stopped
// synchronously by that destruction and left without input.
#include <functional>
#include "audio/AuInput.h"
#include "audio/AuStream.h"
#include "audio/StreamTypes.h"
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <mutex>

class TAuThread;

class TAuOutput : public QObject
{
public:
    explicit TAuOutput(QObject* Owner = nullptr);
    ~TAuOutput() override;

    TAuInput* Input() const { return FInput.data(); }
    // While busy: stops synchronously, swaps the input and runs again.
    virtual void SetInput(TAuInput* Value);

    // Starts a run. Raises "Component is Busy" or "Input is not assigned".
    void Run();
    // Async: returns at once, the run ends after its current step and OnDone follows.
    // Otherwise returns when the worker is through; the run's OnDone and every other
    // undelivered event of this output are dropped.
    void Stop(bool Async = true);
    void Pause();
    void Resume();
    TOutputStatus Status() const;
    // Percent of the input delivered: 0 without input or with Size 0, -1 when unknown.
    int Progress() const;
    QString ExceptionMessage() const;
    bool Busy() const { return FBusy; }

    TOutputDoneEvent OnDone() const;
    void SetOnDone(TOutputDoneEvent Handler);
    TOutputProgressEvent OnProgress() const;
    void SetOnProgress(TOutputProgressEvent Handler);
    TThreadExceptionEvent OnThreadException() const;
    void SetOnThreadException(TThreadExceptionEvent Handler);

protected:
    virtual bool DoOutput(bool Abort) = 0;
    virtual void Done() = 0;
    virtual void Prepare() = 0;

    // Worker side, for concrete outputs: posts an event (handled on the main thread like
    // OnThreadException) for the current run; nothing when Handler is empty.
    void PostEvent(const TOutputEvent& Handler);
    void SetExceptionMessage(const QString& Text);
    // Set by Stop, cleared when the run ends.
    bool Stopped() const { return FStopped; }
    bool OutputReady() const { return FReady; }

private:
    friend class TAuThread;
    friend class TAuInput;
    // Replaces FInput, keeping the inputs' lists of readers right.
    void AttachInput(TAuInput* Value);
    // Called by a dying input after it has stopped this output.
    void ForgetInput(TAuInput* Dying);

    QPointer<TAuInput> FInput;
    std::shared_ptr<TAuThread> FThread;
    std::mutex FRunLock;
    mutable std::mutex FStateLock;        // message and handlers
    QString FExceptionMessage;
    TOutputDoneEvent FOnDone;
    TOutputProgressEvent FOnProgress;
    TThreadExceptionEvent FOnThreadException;
    std::atomic<bool> FBusy{false};
    std::atomic<bool> FStopped{false};
    std::atomic<bool> FReady{false};
    std::atomic<uint64_t> FCurrentRun{0};
    int FLastProgress = 0;                // worker only
};

// An output that writes a byte stream: either one attached from outside (never opened
// or freed here) or one the output opens itself.
class TAuStreamedOutput : public TAuOutput
{
public:
    explicit TAuStreamedOutput(QObject* Owner = nullptr);
    ~TAuStreamedOutput() override;

    void SetStream(TStream* Value);
    TStream* Stream() const { return FStream; }
    bool StreamAssigned() const { return FStreamAssigned; }

protected:
    void AdoptStream(std::unique_ptr<TStream> Value);
    void ReleaseOwnedStream();

private:
    TStream* FStream = nullptr;
    std::unique_ptr<TStream> FOwnedStream;
    bool FStreamAssigned = false;
};

class TAuFileOut : public TAuStreamedOutput
{
public:
    explicit TAuFileOut(QObject* Owner = nullptr);
    ~TAuFileOut() override;

    const QString& FileName() const { return FFileName; }
    void SetFileName(const QString& Value) { FFileName = Value; }
    TFileOutputMode FileMode() const { return FFileMode; }
    // The base keeps foRewrite; writers that can append store the value.
    virtual void SetFileMode(TFileOutputMode Value);
    // Share bits used when an existing file is opened for appending.
    uint16_t ShareMode() const { return FShareMode; }
    void SetShareMode(uint16_t Value) { FShareMode = Value; }
    // On: a run writes "<FileName>.part" (a stale one is removed first) and renames it over
    // FileName only when it ends complete (not stopped, no error, the close checked); any
    // other end removes it. A FileName that is itself a part file (a job's work file, which
    // the job commits or removes) is written directly and removed when the run fails. Off
    // (the default): FileName itself is written.
    bool WriteAsPart() const { return FWriteAsPart; }
    void SetWriteAsPart(bool Value) { FWriteAsPart = Value; }
    // With WriteAsPart: called on the run's thread with the complete part file just before
    // it is renamed (the tags go in); an empty result lets the rename go on, a text fails
    // the run with it (the part file goes). Set while no run is going.
    void SetBeforeCommit(std::function<QString(const QString& part)> Value) { FBeforeCommit = std::move(Value); }

protected:
    // The file a run creates: FileName, or its part file.
    QString TargetFile() const;
    bool NamesPart() const;
    // Called once the run's stream is closed: with WriteAsPart, commits the part file when
    // `Complete`, else removes it. Raises EAuException naming the cause when the rename
    // fails.
    void FinishTarget(bool Complete);
    // An exception for a failed write of the target: the plain cause from errno (a full
    // disk, a read-only or missing folder, no permission), else `Fallback`.
    [[noreturn]] void RaiseWriteError(const char* Fallback) const;

    TFileOutputMode FFileMode = foRewrite;

private:
    QString FFileName;
    uint16_t FShareMode = 0;
    std::atomic<bool> FWriteAsPart{false};
    std::function<QString(const QString& part)> FBeforeCommit;
};
