#pragma once
// The waveaudio device the recorder drives: one PCM WAV file (8 or 16 bits, 1 or 2
// channels) opened as the device's element, with the operations the recorder uses: open,
// close, length, position and mode in milliseconds, play from, record from, stop, seek,
// save.
//
// Playing reads the file through TWaveIn into TDXAudioOut (device 0). Recording captures
// the default input in the file's format and streams it, on a writer thread, into a side
// file next to the element (the callback of the sound system only queues). The recording
// overwrites the file's sound from its start position on and extends it past the end.
// Until Save splices it into the element (a temporary file renamed over it, header
// updated), the element is untouched; Close drops an unsaved recording.
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class QFile;
class TDXAudioOut;
class TSDLCapture;
class TWaveIn;

class TWaveAudioDevice : public QObject
{
    Q_OBJECT
public:
    enum TMode { mpNotReady, mpStopped, mpPlaying, mpRecording };

    explicit TWaveAudioDevice(QObject* Owner = nullptr);
    ~TWaveAudioDevice() override;

    // Opens a PCM WAV file of 8 or 16 bits and 1 or 2 channels (closing what was open).
    // False, with ErrorText, for any other file; the device is then closed.
    bool Open(const QString& FileName);
    // Stops and closes; an unsaved recording is dropped.
    void Close();
    bool IsOpen() const { return FMode != mpNotReady; }
    TMode Mode() const { return FMode; }
    const QString& FileName() const { return FFileName; }

    int BitsPerSample() const { return FBits; }
    int Channels() const { return FChannels; }
    int SampleRate() const { return FRate; }

    // Milliseconds = frames * 1000 / rate; the length counts an unsaved recording.
    int64_t Length() const;
    int64_t Position() const;
    // Length and position in frames.
    int64_t LengthFrames() const;
    int64_t PositionFrames() const;

    // From < 0: from the current position; a time at or past Length() is the end, after
    // the last frame. False (ErrorText) when it cannot start.
    bool Play(int64_t FromMs = -1);
    // A recording already captured but not saved is saved first.
    bool Record(int64_t FromMs = -1);
    // Ends playing or recording; the position stays where it ended.
    void Stop();
    void Seek(int64_t Ms);
    // Writes the recording into the element; a recording running is stopped first.
    // True when there is nothing to save.
    bool Save();
    bool HasUnsavedRecording() const { return FPendingFrom >= 0; }

    // The last recording ended because its side file could not be written (a full disk):
    // what was written before the failure is kept.
    bool WriteFailed() const { return FWriteFailed; }
    const QString& ErrorText() const { return FError; }

    // The 44-byte header of a PCM file whose data chunk holds DataBytes.
    static QByteArray PcmHeader(int Channels, int Bits, int SampleRate, uint32_t DataBytes);

    // The side file of recordings (default: beside the element). A test seam.
    void SetSideFileName(const QString& Value) { FSideOverride = Value; }
    QString SideFileName() const;

signals:
    // Playing reached the end of the file.
    void PlayDone();
    // Recording stopped by itself (the side file could not be written).
    void RecordingFailed();

private:
    void StopPlaying();
    void StopRecording();
    void WriterLoop();
    void WriterFailed();
    bool Fail(const QString& Text);
    int64_t MsToFrames(int64_t Ms) const;
    int64_t FramesToMs(int64_t Frames) const;
    int64_t FrameAt(int64_t Ms, int64_t Limit) const;

    TMode FMode = mpNotReady;
    QString FFileName;
    QString FError;
    QString FSideOverride;
    int FBits = 0;
    int FChannels = 0;
    int FRate = 0;
    int FFrameBytes = 1;
    int64_t FFileFrames = 0;            // frames of the element as stored
    int64_t FPosition = 0;              // frames, while stopped

    // Playing.
    std::unique_ptr<TWaveIn> FPlayIn;
    std::unique_ptr<TDXAudioOut> FPlayOut;
    int64_t FPlayFrom = 0;
    qint64 FPlayStarted = 0;            // monotonic ms

    // Recording.
    std::unique_ptr<TSDLCapture> FCapture;
    std::unique_ptr<QFile> FSide;
    std::thread FWriter;
    int64_t FPendingFrom = -1;          // frame the unsaved recording starts at; -1: none
    std::atomic<int64_t> FPendingFrames{0};
    std::atomic<bool> FWriteFailed{false};
    std::atomic<bool> FWriterStop{false};
};
