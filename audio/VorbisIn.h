#pragma once
// Decodes an Ogg Vorbis file (or an attached stream) into 16-bit little-endian PCM and
// reads its comments.
#include "audio/AuFileIn.h"
#include "audio/VorbisTags.h"
#include <memory>

class TVorbisIn : public TAuTaggedFileIn
{
public:
    explicit TVorbisIn(QObject* Owner = nullptr);
    ~TVorbisIn() override;

    // The comments of the file's current bitstream; opens the file first.
    const TVorbisTags& VorbisComments();
    // Bitrates of the stream info (bits per second; 0 or negative when not set).
    long UpperBitrate() const { return FUpper; }
    long NominalBitrate() const { return FNominal; }
    long LowerBitrate() const { return FLower; }

    void OpenFile() override;
    void CloseFile() override;

protected:
    void DoInit() override;
    void DoGetData(void*& Buffer, uint32_t& Bytes) override;
    bool DoSeek(int64_t& SampleNum) override;

private:
    struct TState;
    static constexpr int BufferSize = 12288;
    friend struct TVorbisCallbacks;

    TVorbisTags FComments;
    std::unique_ptr<TState> FState;
    uint8_t FBuffer[BufferSize];
    int FCurrentSection = -1;
    bool FDecodeEnded = false;
    long FUpper = 0;
    long FNominal = 0;
    long FLower = 0;
};
