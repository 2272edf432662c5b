#pragma once
// Encodes the PCM of its input into an MP4 audio file (.m4a) through FFmpeg's libraries:
// AAC-LC (the native encoder, at the set bitrate) or Apple Lossless (16-bit input as 16-bit,
// 24-bit as 24-bit, a float WAV's 32 bits as 24), in the iPod flavour of the MP4 muxer with the movie header at the front
// (players and streams can start before the whole file is read). The encoder's priming is
// stated in the file's edit list, so decoders give back exactly the input's length. The tags
// go in afterwards (TagWriters: the iTunes atoms). A run that does not reach its input's end
// removes what it wrote.
#include "audio/AuOutput.h"

#include <memory>
#include <vector>

constexpr int AacMinKbps = 64;
constexpr int AacMaxKbps = 320;
constexpr int AacDefaultKbps = 256;

class TM4aOut : public TAuFileOut
{
public:
    enum TCodec { Aac, Alac };
    explicit TM4aOut(QObject* Owner = nullptr);
    ~TM4aOut() override;

    TCodec Codec() const { return FCodec; }
    void SetCodec(TCodec Value) { FCodec = Value; }
    // AAC's kbit/s; values outside 64..320 are held to the range.
    int Bitrate() const { return FKbps; }
    void SetBitrate(int Kbps);

protected:
    void Prepare() override;
    bool DoOutput(bool Abort) override;
    void Done() override;

private:
    struct TState;
    // Hands `frames` interleaved frames at `in` to the encoder; `last`: then its end.
    void Encode(const uint8_t* in, int frames, bool last);
    void WritePackets();
    [[noreturn]] void RaiseAv(int code, const char* what) const;

    TCodec FCodec = Aac;
    int FKbps = AacDefaultKbps;
    std::unique_ptr<TState> FState;
    std::vector<uint8_t> FBlock;
    std::vector<uint8_t> FPending;      // interleaved input not yet a whole encoder frame
    bool FComplete = false;
};
