#pragma once
// Changes the sample rate to OutSampleRate in blocks of a fifth of a second of input.
// Up-sampling repeats input frames, down-sampling drops them; either way the frames pass
// four times through a 4-pole Chebyshev low-pass (5 % ripple, cut-off at 0.85 of the
// lower Nyquist frequency, at the higher of the two rates) whose state carries over from
// block to block. Output frame j is input frame floor(((2j + 1) In - 1) / (2 Out)) (the
// input frame under the middle of the output frame, ties to the earlier one), counted
// over the whole stream, so N input frames give N Out / In frames rounded to the nearest
// (halves up) at any pair of rates. Rates that fall in the same multiple of 5 Hz are not
// filtered (equal rates pass through untouched; otherwise only the rare frame is repeated
// or dropped to keep the length).
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
    void Filter(float* Frames, int Count);
    // Reads the next block's input into FInBytes; its frames (0 at the end).
    int ReadBlock();
    // Converts the Frames frames in FInBytes into Out; the bytes made.
    uint32_t ConvertBlock(int Frames, uint8_t* Out);
    // Makes the next output window; false at the end.
    bool NextBlock();
    // The next output frame's input frame, then a step on to the one after.
    int64_t SourceFrame() const { return FSrc; }
    void StepSource()
    {
        FSrc += FSrcStep;
        FRem += FRemStep;
        if (FRem >= FDen) {
            FRem -= FDen;
            ++FSrc;
        }
    }

    std::atomic<uint32_t> FOutSampleRate{0};
    // Taken at DoInit.
    bool FPassThrough = false;
    bool FFiltered = false;
    int FBytes = 0, FFrame = 0, FChannels = 0;
    int64_t FBin = 0;                     // input frames a block
    int64_t FCapacity = 0;                // output frames a block at most
    // The walk over output frames: the input frame of the next one (FSrc) and the
    // remainder of its fraction over FDen = 2 Out (rates divided by their common factor).
    int64_t FSrc = 0, FRem = 0, FSrcStep = 0, FRemStep = 0, FDen = 0;
    int64_t FBlockStart = 0;              // the first input frame of the next block
    TCoefficients FCoef;
    std::vector<uint8_t> FInBytes;        // the input block
    std::vector<uint8_t> FBytesBuf;       // the output window
    std::vector<float> FIn;
    std::vector<float> FOut;
    // Per channel and pass: the last History inputs and outputs, newest last.
    std::vector<std::array<double, 2 * History>> FState;
    uint32_t FWindowStart = 0, FWindowEnd = 0;
};
