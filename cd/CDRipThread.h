#pragma once
// Reads one audio track through a disc reader (either CD library) into a WAV file (16-bit stereo PCM at
// 44100 Hz) in the output folder, on a thread of its own, then optionally normalizes it.
// Progress, completion and failure go to the owner as posted events (cd/ProcessInfo.h).
//
// Life cycle: construct (the thread is not running yet), fill the fields, Start(). The
// owner frees the object after the completion message or to stop the rip; the destructor
// sets StopRequested and waits for the thread.
//
// Events reach the owner by QCoreApplication::postEvent from the main thread: the worker
// leaves each one in a mailbox guarded by a mutex and wakes the main thread, which posts
// them. Qt's own queue is not visible to the thread sanitizer; the mutex is. The owner and
// this object live on the main thread; events not yet handed over when this object is
// freed are dropped.
#include "audio/ReplayGain.h"
#include "cd/DiscReader.h"
#include "cd/RipSink.h"
#include "cd/RipAudit.h"
#include "settings/Options.h"

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QEvent;
class QObject;


// The 44-byte header of a canonical 16-bit stereo 44100 Hz PCM WAV file whose data part
// holds dataBytes bytes.
struct TWavHeader {
    uint8_t Bytes[44];
};
TWavHeader MakeWavHeader(uint32_t dataBytes);

class TCDRipThread {
public:
    // trackIndex: 1 for the first track of the disc; fileTitle: the WAV file's path below
    // the output folder without extension ("Artist/Album/01 Title"; its folders are made
    // when the rip begins, and a path that would leave the output folder is refused). The
    // settings the rip uses are taken from OptionsSetting now.
    TCDRipThread(int trackIndex, const QString& fileTitle);
    ~TCDRipThread();
    TCDRipThread(const TCDRipThread&) = delete;
    TCDRipThread& operator=(const TCDRipThread&) = delete;

    void Start();
    // Waits until the thread has ended, at most timeoutMs (negative: no limit); true when
    // it has ended or was never started.
    bool Wait(int timeoutMs = -1);

    // Main thread: posts every event the rip threads have left for their owners. Runs by
    // itself from the event loop; callers that wait without one may call it directly.
    static void DeliverPosted();

    const int TrackIndex;
    const QString FileTitle;
    // The read of the disc (either CD library's); set before Start().
    std::unique_ptr<TDiscReader> Reader;
    QObject* OwnerWindow = nullptr;          // receives the events; must outlive this object
    std::atomic<bool> StopRequested{false};
    TCommonOptions Options;                  // OutputFolder, IsNormalize, NormalizePercent,
                                             // EnableRipTime, RipTime; set before Start()
    // Also gets the PCM read (owned by the caller, set before Start()); without WriteWav
    // it is the only destination and no WAV file is made.
    TRipSink* Sink = nullptr;
    bool WriteWav = true;
    int ReadOffset = 0;                      // samples; set before Start()
    // Measures the loudness of the copy read (not the test pass); owned by the caller, used
    // by one rip thread at a time; set before Start().
    TReplayGain* Gain = nullptr;
    bool TestPass = false;                   // a first read for the CRC only; set before Start()
    // Also given the copy's corrected PCM (the bytes the checksums see, not the test pass's)
    // on the rip thread, and TapEnd once the track was read whole; set before Start().
    std::function<void(int track, const uint8_t* data, size_t bytes)> Tap;
    std::function<void(int track)> TapEnd;

    // What the rip read (range, checksums of the bytes written, faults met): complete once
    // the completion message has been posted.
    const TRipLogTrack& Result() const { return FResult; }
    // The track's ReplayGain once it was read whole with Gain set (the rip thread, before
    // the sink's end, or the owner after the completion message); null otherwise.
    const TReplayGainResult* TrackGain() const { return FGainMeasured ? &FGain : nullptr; }

    // The WAV file's full path: output folder, separator, title, ".wav".
    QString WavFileName() const;
    // The file the rip writes: WavFileName's part file, left complete (and normalized) when
    // the completion message says so, else removed. The owner renames it into place (or
    // encodes it and removes it).
    QString PartFileName() const;
    // Why the file could not be made or written (the plain cause), once the completion
    // message with CreateFailed or WriteFailed has been posted; else empty.
    const QString& WriteFailure() const { return FWriteFailure; }

private:
    void Run();
    void Post(QEvent* event);
    void PostFailed(int reason);
    void PostInfo(int percent, int errorCode = 0);
    void PostProgress(int percent, int64_t elapsedMs);
    int RipLoop(uint32_t start, uint32_t length);   // the ErrorCode to report, or -1 when stopped
    // Reads the track's corrected PCM stream once, handing it to sink in order; sink false
    // ends the read as a write failure. The ErrorCode, or -1 when stopped.
    using TSink = std::function<bool(const uint8_t* data, size_t bytes)>;
    int ReadCorrected(uint32_t start, uint32_t length, const TSink& sink);
    int NormalizePass();

    // The last progress posted, so that unchanged reports are not posted again.
    int FLastPercent = -1;
    QString FLastElapsed;

    std::thread FThread;
    std::mutex FStateLock;
    std::condition_variable FStateChanged;
    bool FStarted = false;
    bool FFinished = false;
    std::vector<std::unique_ptr<QEvent>> FMailbox;   // guarded by the registry's mutex
    TDiscLayout FDisc;
    TRipLogTrack FResult;
    TReplayGainResult FGain;
    bool FGainMeasured = false;
    QString FWriteFailure;
    QElapsedTimer FClock;
};
