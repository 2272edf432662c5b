#pragma once
// The sound card behind TDXAudioOut, on SDL2 (the only place that includes SDL headers).
//
// TDSRing is our looping play buffer. The device's callback (SDL's audio thread) takes its
// bytes from the play cursor and clears what it took to the silence byte, so a writer that
// falls behind makes the card play silence, never old audio. Cursors are 64-bit totals
// (bytes consumed, bytes written), so no pass through the ring can go unseen. The write
// cursor is one callback period past the play cursor while playing (that much may be in
// the card's hands already) and equal to it while stopped.
//
// TDSWrapper holds one opened output: the ring plus the SDL device that drains it, with
// the operations of the sound output (open device, open buffer, start, stop, restart,
// query space, write block, fill silence, set volume, close), each returning 0 on
// success or a DirectSound-style result code.
#include <QString>
#include <QVector>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace DSResult {
constexpr uint32_t Ok = 0;
constexpr uint32_t BadFormat = 0x88780064;     // format the card cannot take
constexpr uint32_t NoDriver = 0x88780078;      // no sound device
constexpr uint32_t OutOfMemory = 0x8007000E;
constexpr uint32_t Failed = 0x80004005;        // any other failure
} // namespace DSResult

// One output of the device list. Name empty: the default output (follows the desktop).
struct TDSDevice {
    QString Name;
    QString Description;
};

// SDL's audio for the lifetime of one component: starts SDL's audio subsystem (SDL's
// signal handlers off, our application name) and lists the outputs; entry 0 is the
// default output, then SDL's named outputs, 16 entries at most, descriptions cut to 127
// characters. The list is empty when SDL's audio cannot start or lists no output.
// Create and destroy on the main thread.
class TDSAudioSession
{
public:
    TDSAudioSession();
    ~TDSAudioSession();
    TDSAudioSession(const TDSAudioSession&) = delete;
    TDSAudioSession& operator=(const TDSAudioSession&) = delete;

    bool Started() const { return FStarted; }
    const QVector<TDSDevice>& Devices() const { return FDevices; }

    static constexpr int MaxDevices = 16;
    static constexpr int MaxDescription = 127;

private:
    bool FStarted = false;
    QVector<TDSDevice> FDevices;
};

class TDSRing
{
public:
    // Bits 8, 16, 24 or 32 (24-bit frames go out as 32-bit values shifted left by 8).
    void Open(int Bits, int Channels, uint32_t SizeBytes, uint32_t PeriodFrames);
    void Close();

    // The consumer (the device callback, or a test): fills Out with OutBytes of device
    // format from the play cursor, applying the volume, and clears what it took.
    void Consume(uint8_t* Out, uint32_t OutBytes);

    // Bytes that may be written now (whole frames); counts an underrun when the play
    // cursor has run into data never written while playing, and moves the write offset
    // to the write cursor.
    uint32_t QuerySpace();
    // Writes at the write offset (at most the free space, whole bytes as given).
    uint32_t WriteBlock(const void* Data, uint32_t Bytes);
    // Fills the free space with the silence byte; returns the bytes filled.
    uint32_t FillSilence();
    void SetPlaying(bool Value);
    // Hundredths of a decibel, 0 = full, -10000 = silent; clamped to that range.
    void SetVolume(int Value);

    bool Playing() const;
    uint64_t PlayCursor() const;
    uint64_t WriteCursor() const;
    uint64_t WriteOffset() const;
    uint32_t UnderrunCount() const;
    uint32_t Size() const;
    uint32_t BytesPerFrame() const;
    uint32_t PeriodBytes() const;
    uint8_t SilenceByte() const;

private:
    uint32_t CatchUp();                 // under FLock; returns the free bytes

    mutable std::mutex FLock;
    std::vector<uint8_t> FData;
    uint32_t FSize = 0;
    uint32_t FFrameBytes = 0;
    uint32_t FOutFrameBytes = 0;
    uint32_t FPeriodFrames = 0;
    int FBits = 16;
    uint8_t FSilence = 0;
    uint64_t FPlay = 0;                 // bytes consumed
    uint64_t FWrite = 0;                // bytes written
    uint32_t FUnderruns = 0;
    bool FPlaying = false;
    double FGain = 1.0;
};

class TDSWrapper
{
public:
    TDSWrapper() = default;
    ~TDSWrapper();
    TDSWrapper(const TDSWrapper&) = delete;
    TDSWrapper& operator=(const TDSWrapper&) = delete;

    // Closes whatever is open and zeroes the state (the consumer mode is kept).
    void Init();
    // Selects the output (SDL's audio must have started).
    uint32_t OpenDevice(const TDSDevice& Device);
    // Checks the format (8/16/24/32 bits, 1-8 channels, 100-200000 Hz) and opens the
    // ring and the device, stopped, with no format changes allowed (SDL converts).
    uint32_t OpenBuffer(int Bits, int Channels, int SampleRate, uint32_t Frames, uint32_t PeriodFrames);
    uint32_t Start();
    uint32_t Stop();
    uint32_t Restart();
    uint32_t QuerySpace() { return FRing.QuerySpace(); }
    uint32_t WriteBlock(const void* Data, uint32_t Bytes) { return FRing.WriteBlock(Data, Bytes); }
    uint32_t FillSilence() { return FRing.FillSilence(); }
    uint32_t SetVolume(int Value);
    void Close();

    bool BufferOpen() const;
    uint32_t UnderrunCount() const { return FRing.UnderrunCount(); }
    int SampleRate() const { return FSampleRate; }
    TDSRing& Ring() { return FRing; }

    // Format check of OpenBuffer alone.
    static uint32_t CheckFormat(int Bits, int Channels, int SampleRate);
    // Callback period: the largest power of two <= Frames / 4, <= the frames of
    // PollingMs and of 50 ms at SampleRate, at least 16.
    static uint32_t PeriodFrames(uint32_t Frames, uint32_t PollingMs, int SampleRate);

    // The name the desktop's mixer shows for the stream of the next OpenBuffer (empty: SDL's
    // default).
    void SetStreamName(const QString& Name);

    // Test seam: no SDL device is opened; whoever calls Ring().Consume is the card.
    void SetExternalConsumer(bool Value) { FExternalConsumer = Value; }

    static constexpr int MinRate = 100;
    static constexpr int MaxRate = 200000;
    static constexpr int MaxChannels = 8;

private:
    mutable std::mutex FDeviceLock;     // device id and open state
    TDSRing FRing;
    QString FDeviceName;
    QString FStreamName;
    bool FDeviceSelected = false;
    bool FBufferOpen = false;
    uint32_t FDeviceId = 0;
    std::atomic<int> FSampleRate{0};
    bool FExternalConsumer = false;
};
