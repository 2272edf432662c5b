#pragma once
// Changes the sample rate to OutSampleRate in blocks of a fifth of a second of input.
// Up-sampling repeats input frames, down-sampling drops them; either way the frames pass
// four times through a 4-pole Chebyshev low-pass (5 % ripple, cut-off at 0.85 of the
// lower Nyquist frequency, at the higher of the two rates) whose state carries over from
// block to block. Rates that fall in the same multiple of 5 Hz pass through unchanged.
#include "audio/AuConverter.h"
#include <array>
#include <vector>

class TFastResampler : public TAuConverter
{
public:
    explicit TFastResampler(QObject* Owner = nullptr);
    ~TFastResampler() override;

    uint32_t OutSampleRate() const { return FOutSampleRate; }
    void SetOutSampleRate(uint32_t Value) { FOutSampleRate = Value; }

    // The recursion of one pass: y[n] = sum A[k] x[n-k] + sum B[k] y[n-k] (B[0] unused).
    struct TCoefficients {
        std::array<double, 5> A{};
        std::array<double, 5> B{};
    };
    // The low-pass for a cut-off given as a fraction of the rate it runs at (0 to 0.5).
    static TCoefficients DesignLowPass(double CutOff);

protected:
    int GetBitsPerSample() override;
    int GetChannels() override;
    int GetSampleRate() override;
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& Buffer, uint32_t& Bytes) override;

private:
    static constexpr int Passes = 4;
    static constexpr int History = 4;
    // Frames out of a block of Frames input frames (the repeat or drop pattern).
    int64_t OutFrames(int64_t Frames) const;
    void Filter(float* Frames, int Count);
    // Reads and converts the next block into the output window; false at the end.
    bool NextBlock();

    std::atomic<uint32_t> FOutSampleRate{0};
    // Taken at DoInit.
    bool FPassThrough = false;
    int FBytes = 0, FFrame = 0, FChannels = 0;
    int64_t FBin = 0, FBout = 0, FR = 0, FQ = 0;
    int64_t FCapacity = 0;
    TCoefficients FCoef;
    std::vector<uint8_t> FBytesBuf;       // the input block, then the output window
    std::vector<float> FIn;
    std::vector<float> FOut;
    // Per channel and pass: the last History inputs and outputs, newest last.
    std::vector<std::array<double, 2 * History>> FState;
    uint32_t FWindowStart = 0, FWindowEnd = 0;
};
