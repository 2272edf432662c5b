#pragma once
// A signal source with a known content, for tests, benchmarks and tone output.
//
// Pattern: byte i of the stream is PatternByte(i), whatever the format, so a reader can
// check every byte it got and where it came from. Sine: a sine tone of Frequency Hz at
// Amplitude (0..1 of full scale) on every channel, in 8-bit unsigned or 16/24/32-bit signed
// little-endian samples. Silence: zero samples (128 for 8 bits).
//
// Size: bytes delivered per reading; -1 endless (reported as unknown), 0 nothing.
// Test aids: a limit on the bytes of one DoGetData, a delay per DoGetData, an error raised
// when the reading reaches a byte offset, and an error raised by Init.
#include "audio/AuInput.h"
#include <QString>
#include <vector>

class TAuGenerator : public TAuInput
{
public:
    enum class TWaveform { Pattern, Sine, Silence };

    explicit TAuGenerator(QObject* Owner = nullptr);
    ~TAuGenerator() override;

    static uint8_t PatternByte(int64_t Index)
    {
        return uint8_t(Index * 7 + (Index >> 8) * 13);
    }

    void SetFormat(int BitsPerSample, int Channels, int SampleRate);
    void SetWaveform(TWaveform Value) { FWaveform = Value; }
    void SetTone(double Frequency, double Amplitude);
    void SetGeneratedSize(int64_t Bytes) { FGeneratedSize = Bytes; }
    int64_t GeneratedSize() const { return FGeneratedSize; }
    void SetBlockLimit(uint32_t Bytes) { FBlockLimit = Bytes; }
    void SetDelayMicroseconds(int Value) { FDelayUs = Value; }
    void SetThrowAtByte(int64_t Offset, const QString& Message);
    void SetInitError(const QString& Message) { FInitError = Message; }

    // How often a reading was started and ended (a run's Prepare and Done).
    int InitCount() const { return FInitCount; }
    int FlushCount() const { return FFlushCount; }
    int PauseCount() const { return FPauseCount; }
    int ResumeCount() const { return FResumeCount; }

    void DoPause() override { ++FPauseCount; }
    void DoResume() override { ++FResumeCount; }

protected:
    int GetBitsPerSample() override { return FBits; }
    int GetChannels() override { return FChannels; }
    int GetSampleRate() override { return FRate; }
    int GetTotalTime() override;
    int64_t GetTotalSamples() override;
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& Buffer, uint32_t& Bytes) override;

private:
    void FillTone(uint8_t* Out, uint32_t Bytes, int64_t Offset);

    std::atomic<int> FBits{16};
    std::atomic<int> FChannels{2};
    std::atomic<int> FRate{44100};
    TWaveform FWaveform = TWaveform::Pattern;
    double FFrequency = 440.0;
    double FAmplitude = 0.5;
    std::atomic<int64_t> FGeneratedSize{-1};
    std::atomic<uint32_t> FBlockLimit{0};
    std::atomic<int> FDelayUs{0};
    int64_t FThrowAt = -1;
    QString FThrowMessage;
    QString FInitError;
    std::vector<uint8_t> FBuffer;
    int64_t FSourcePos = 0;          // bytes generated (Position also counts silence)
    std::atomic<int> FInitCount{0};
    std::atomic<int> FFlushCount{0};
    std::atomic<int> FPauseCount{0};
    std::atomic<int> FResumeCount{0};
};
