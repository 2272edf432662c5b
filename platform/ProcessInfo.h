#pragma once
// The progress record every job window receives, and the two window messages that carry
// it. A worker creates a TProcessInfo, posts it to its owner inside a TProcessInfoEvent
// (or posts a TRipFailedEvent), and the receiver owns and frees it: the event deletes its
// record when the event itself is deleted after delivery.
#include <QEvent>
#include <QString>
#include <memory>

// Window message numbers as the design names them (WM_USER + 101 / 102).
constexpr int WM_USER_BASE = 0x400;
constexpr int WM_RIP_FAILED = WM_USER_BASE + 101;     // 1125
constexpr int WM_PROGRESS_INFO = WM_USER_BASE + 102;  // 1126

// Qt event types for the two messages (each well inside QEvent::User..MaxUser).
constexpr QEvent::Type RipFailedEventType = QEvent::Type(QEvent::User + WM_RIP_FAILED);
constexpr QEvent::Type ProgressInfoEventType = QEvent::Type(QEvent::User + WM_PROGRESS_INFO);

// Percent codes beyond 0..100 (who sends them is noted beside each).
namespace ProgressCode {
constexpr int NormalizeBegins = 999;   // rip thread: the normalize pass starts
constexpr int RipFinished = 1000;      // rip thread: the track is finished (see ErrorCode)
constexpr int Mp3EncoderEnd = 2000;    // MP3 encoder process ended; OGG writer done (CD input job)
constexpr int OggWriterDone = 3000;    // conversion job: OGG writer done
constexpr int WavWriterDone = 4000;    // conversion job: WAV writer done
constexpr int WmaEncoderEnd = 5000;    // WMA encoder process ended
constexpr int FlacWriterDone = 6000;   // FLAC writer done (conversion and rip jobs)
constexpr int FlacDecoderDone = 6100;  // FLAC file decoded into a WAV (conversion job)
constexpr int OpusWriterDone = 6200;   // Opus writer done (conversion and rip jobs)
constexpr int M4aWriterDone = 6300;    // AAC / Apple Lossless writer done (conversion and rip jobs)
}

// ErrorCode values of the rip thread with Percent 1000.
namespace RipError {
constexpr int None = 0;
constexpr int ReadFailed = 3;          // a sector read failed
constexpr int CreateFailed = 5;        // creating the WAV file failed
constexpr int NormalizeFailed = 6;     // the normalize pass failed; the WAV keeps its ripped content
constexpr int WriteFailed = 7;         // writing the WAV file failed (disk full, I/O error)
}

struct TProcessInfo {
    int Percent = 0;
    QString ElapsedText;   // "m:ss"; empty while Percent is 0 (encoders: failure text with 5000)
    QString TotalText;     // estimated total, same form; empty while Percent is 0
    int ErrorCode = 0;
};

// WM_PROGRESS_INFO: owns its record.
class TProcessInfoEvent : public QEvent {
public:
    explicit TProcessInfoEvent(std::unique_ptr<TProcessInfo> info)
        : QEvent(ProgressInfoEventType), Info(std::move(info)) {}
    std::unique_ptr<TProcessInfo> Info;
};

// WM_RIP_FAILED: 1 setting the address mode failed, 2 reading the table of contents failed.
class TRipFailedEvent : public QEvent {
public:
    explicit TRipFailedEvent(int reason) : QEvent(RipFailedEventType), Reason(reason) {}
    int Reason;
};
