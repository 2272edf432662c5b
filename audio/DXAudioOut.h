#pragma once
// Plays its input's PCM on the sound card. One looping play buffer of FramesInBuffer
// frames is refilled from the worker thread every PollingInterval milliseconds; when the
// card has played past the data written (an underrun), the free part is silenced and
// OnUnderrun is told; after the input ends the buffer plays out before it is stopped.
//
// Latency (ms), when not 0, sizes the buffer (Latency ms of audio) and the polling
// interval (a third of it) at each start. Volume is in hundredths of a decibel, 0 = full.
#include "audio/AuOutput.h"
#include "platform/DSWrapper.h"
#include <atomic>
#include <vector>

class TDXAudioOut : public TAuOutput
{
public:
    explicit TDXAudioOut(QObject* Owner = nullptr);
    ~TDXAudioOut() override;

    int DeviceNumber() const { return FDeviceNumber; }
    void SetDeviceNumber(int Value) { FDeviceNumber = Value; }
    uint32_t Latency() const { return FLatency; }
    void SetLatency(uint32_t Value) { FLatency = Value; }
    bool PrefetchData() const { return FPrefetchData; }
    void SetPrefetchData(bool Value) { FPrefetchData = Value; }
    uint32_t PollingInterval() const { return FPollingInterval; }
    void SetPollingInterval(uint32_t Value) { FPollingInterval = Value; }
    uint32_t FramesInBuffer() const { return FFramesInBuffer; }
    // Ignored while the output is busy.
    void SetFramesInBuffer(uint32_t Value);
    float SpeedFactor() const { return FSpeedFactor; }
    void SetSpeedFactor(float Value) { FSpeedFactor = Value; }
    int Volume() const { return FVolume; }
    // Clamped to -10000..0; heard within one callback period while playing.
    void SetVolume(int Value);
    // The stream's name in the desktop's mixer from the next start on (empty: SDL's default).
    void SetStreamName(const QString& Value) { FWrapper.SetStreamName(Value); }
    TOutputEvent OnUnderrun() const;
    void SetOnUnderrun(TOutputEvent Handler);

    int DeviceCount() const { return int(FSession.Devices().size()); }
    // Description of device Index ("" when there is none).
    QString DeviceDescription(int Index) const;

    // Pause stops the card as well as the worker; Resume restarts both.
    void Pause();
    void Resume();
    // Moves the input by Offset thousandths of its length; a paused output stays paused.
    void Jump(int Offset);

    static constexpr uint32_t DefaultLatency = 100;
    static constexpr uint32_t DefaultPollingInterval = 100;
    static constexpr uint32_t DefaultFramesInBuffer = 24576;

protected:
    void Prepare() override;
    bool DoOutput(bool Abort) override;
    void Done() override;

    TDSWrapper& Wrapper() { return FWrapper; }

private:
    bool WaitForSpace(uint32_t& Free);
    bool PollPause(uint32_t Ms);
    void WriteData(const uint8_t* Data, uint32_t Bytes);
    bool DrainStep();

    TDSAudioSession FSession;          // before the wrapper: SDL's audio outlives the device
    TDSWrapper FWrapper;

    std::atomic<int> FDeviceNumber{0};
    std::atomic<uint32_t> FLatency{DefaultLatency};
    std::atomic<bool> FPrefetchData{true};
    std::atomic<uint32_t> FPollingInterval{DefaultPollingInterval};
    std::atomic<uint32_t> FFramesInBuffer{DefaultFramesInBuffer};
    std::atomic<float> FSpeedFactor{1.0f};
    std::atomic<int> FVolume{0};
    mutable std::mutex FEventLock;
    TOutputEvent FOnUnderrun;

    // Worker state of a run.
    int FChannels = 0;
    int FSampleRate = 0;
    int FBitsPerSample = 0;
    uint32_t FFrameBytes = 0;
    uint32_t FBufferSize = 0;
    std::vector<uint8_t> FTransfer;
    std::vector<uint8_t> FCarry;       // part of a frame left over from the last read
    uint64_t FDataEnd = 0;             // write offset just past the last real audio
    uint32_t FDrainedMs = 0;
    uint32_t FLastUnderrun = 0;
    std::atomic<bool> FFirstStep{true};
    bool FEndOfInput = false;
    bool FDrainStarted = false;
    bool FDone = true;
};
