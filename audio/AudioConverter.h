#pragma once
// Changes the sample size and the channel count of its input: OutBitsPerSample (8, 16,
// 24 or 32; 0 keeps the input's) and OutChannels (1 or 2 from a mono or stereo input;
// 0 keeps, any other request is ignored and the input's count stays). Every sample passes
// through a 32-bit float (SampleFormat.h) once either property is set; mono to stereo
// copies each sample to both channels, stereo to mono averages them.
#include "audio/AuConverter.h"
#include <vector>

// Stored only: a mono input always goes to both channels.
enum TMSConverterMode : uint8_t { msmMonoToBoth = 0, msmMonoToLeft = 1, msmMonoToRight = 2 };

class TAudioConverter : public TAuConverter
{
public:
    explicit TAudioConverter(QObject* Owner = nullptr);
    ~TAudioConverter() override;

    int OutBitsPerSample() const { return FOutBitsPerSample; }
    void SetOutBitsPerSample(int Value) { FOutBitsPerSample = Value; }
    int OutChannels() const { return FOutChannels; }
    void SetOutChannels(int Value) { FOutChannels = Value; }
    TMSConverterMode Mode() const { return FMode; }
    void SetMode(TMSConverterMode Value) { FMode = Value; }

protected:
    int GetBitsPerSample() override;
    int GetChannels() override;
    int GetSampleRate() override;
    // Raises "Input is not assigned" without input, and a clear message for a sample
    // size it cannot convert.
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& Buffer, uint32_t& Bytes) override;

private:
    std::atomic<int> FOutBitsPerSample{0};
    std::atomic<int> FOutChannels{0};
    std::atomic<TMSConverterMode> FMode{msmMonoToBoth};
    // Taken at DoInit.
    bool FConvert = false;
    int FInBytes = 0, FOutBytes = 0, FInChannels = 0, FOutChans = 0;
    std::vector<uint8_t> FIn;
    std::vector<uint8_t> FOut;
    std::vector<float> FFloats;
};
