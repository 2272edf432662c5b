#pragma once
// The worker thread of one output. It waits idle until Run, then runs the output:
// Prepare, steps of DoOutput until one returns false or a stop is requested (reporting
// progress and honouring pause requests between steps), Done, and a done event. Errors
// raised during a run end it; their text goes to the output's ExceptionMessage.
//
// Every run has a number (generation). Events carry it, so that a synchronous stop can
// drop exactly the events of the runs it stopped, and a done event is never confused
// with one of a later run.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class TAuOutput;

class TAuThread : public std::enable_shared_from_this<TAuThread>
{
public:
    explicit TAuThread(TAuOutput* Output);
    ~TAuThread();
    TAuThread(const TAuThread&) = delete;
    TAuThread& operator=(const TAuThread&) = delete;

    // Starts the thread; RequestRun does so for the first run (main thread only).
    void Start();
    // Ends the thread (after the current run, which must have been stopped) and joins it.
    void Terminate();

    void RequestRun();
    // Sets the stop request and wakes a paused worker. Sync: also drops the events of
    // every run so far and waits (servicing the main thread's queue) until the worker is
    // through with the current run.
    void RequestStop(bool Async);
    void RequestPause() { FPauseRequest = true; }
    void RequestResume();

    bool Paused() const { return FPaused; }
    bool Idle() const { return FIdle; }
    bool StopRequested() const { return FStop; }
    // True when no run is pending or running.
    bool RunFinished() const { return FFinishedGen == FStartedGen; }
    uint64_t FinishedGeneration() const { return FFinishedGen; }
    uint64_t DroppedGeneration() const { return FDropGen; }

    // The output, for delivering events on the main thread; null once it is destroyed.
    TAuOutput* Owner() const { return FOwner; }
    void Detach() { FOwner = nullptr; }

private:
    void Execute();
    void RunOnce(uint64_t Generation);
    void PauseHere();

    TAuOutput* const FOutput;             // used by the worker only
    std::atomic<TAuOutput*> FOwner;
    std::thread FThread;
    std::mutex FMutex;
    std::condition_variable FWake;
    bool FRunRequest = false;             // under FMutex
    bool FResume = false;                 // under FMutex
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FStop{false};
    std::atomic<bool> FPauseRequest{false};
    std::atomic<bool> FPaused{false};
    std::atomic<bool> FIdle{true};
    std::atomic<uint64_t> FStartedGen{0};
    std::atomic<uint64_t> FFinishedGen{0};
    std::atomic<uint64_t> FDropGen{0};
};
