#pragma once
// A source that reads a byte stream: sample range, loop and the accounting of Position
// against Size.
#include "audio/AuInput.h"
#include "audio/AuStream.h"
#include <memory>

class TAuStreamedInput : public TAuInput
{
public:
    explicit TAuStreamedInput(QObject* Owner = nullptr);
    ~TAuStreamedInput() override;

    // Attaches a stream owned by the caller (nullptr detaches); the input never frees it.
    virtual void SetStream(TStream* Value);
    TStream* Stream() const { return FStream; }
    bool StreamAssigned() const { return FStreamAssigned; }

    int64_t StartSample() const { return FStartSample; }
    void SetStartSample(int64_t Value) { FStartSample = Value; }
    int64_t EndSample() const { return FEndSample; }       // -1: to the end
    void SetEndSample(int64_t Value) { FEndSample = Value; }
    bool Loop() const { return FLoop; }
    void SetLoop(bool Value) { FLoop = Value; }

protected:
    // Positions the stream at frame SampleNum; may correct it to the frame reached.
    virtual bool DoSeek(int64_t& SampleNum) = 0;
    void ReadSource(void*& Buffer, uint32_t& Bytes) override;

    // A stream opened by the input itself (from a file name); freed by ReleaseOwnedStream.
    void AdoptStream(std::unique_ptr<TStream> Value);
    // Frees a stream the input opened itself; an attached stream stays.
    void ReleaseOwnedStream();

    std::atomic<int64_t> FStartSample{0};
    std::atomic<int64_t> FEndSample{-1};
    std::atomic<bool> FLoop{false};
    std::atomic<int64_t> FTotalSamples{0};

private:
    // Adds Bytes to Position and ends the stream at Size; Cut trims the excess.
    void Account(uint32_t& Bytes, bool Cut);

    TStream* FStream = nullptr;
    std::unique_ptr<TStream> FOwnedStream;
    bool FStreamAssigned = false;
};
