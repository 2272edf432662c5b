#pragma once
// Reads one audio track through the CD drive library into a WAV file (16-bit stereo PCM at
// 44100 Hz) in the output folder, on a thread of its own, then optionally normalizes it.
// Progress, completion and failure go to the owner as posted events (cd/ProcessInfo.h).
//
// Life cycle: construct (the thread is not running yet), fill the fields, Start(). The
// owner frees the object after the completion message or to stop the rip; the destructor
// sets StopRequested and waits for the thread.
#include "platform/akrip32.h"
#include "settings/Options.h"

#include <QString>
#include <QThread>
#include <atomic>
#include <cstdint>

class QObject;

// The 44-byte header of a canonical 16-bit stereo 44100 Hz PCM WAV file whose data part
// holds dataBytes bytes.
struct TWavHeader {
    uint8_t Bytes[44];
};
TWavHeader MakeWavHeader(uint32_t dataBytes);

class TCDRipThread : public QThread {
public:
    // trackIndex: 1 for the first track of the disc; fileTitle: the WAV file's name without
    // folder and extension. The settings the rip uses are taken from OptionsSetting now.
    TCDRipThread(int trackIndex, const QString& fileTitle);
    ~TCDRipThread() override;

    void Start() { start(); }

    // ModifyCDParms(handle, AddressModeParm, 1): table-of-contents addresses as minute/second/frame.
    static constexpr int AddressModeParm = 36;

    const int TrackIndex;
    const QString FileTitle;
    HCDROM CDHandle = 0;
    QObject* OwnerWindow = nullptr;          // receives the events; must outlive this object
    std::atomic<bool> StopRequested{false};
    TCommonOptions Options;                  // OutputFolder, IsNormalize, NormalizePercent,
                                             // EnableRipTime, RipTime; set before Start()

    // The WAV file's full path: output folder, separator, title, ".wav".
    QString WavFileName() const;

protected:
    void run() override;

private:
    void PostFailed(int reason);
    void PostInfo(int percent, int errorCode = 0);
    void PostProgress(int percent, int64_t elapsedMs);
    int RipLoop(uint32_t start, uint32_t length);   // the ErrorCode to report, or -1 when stopped
    int NormalizePass();

    // The last progress posted, so that unchanged reports are not posted again.
    int FLastPercent = -1;
    QString FLastElapsed;
};
