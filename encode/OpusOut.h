#pragma once
// Encodes the PCM of its input (8, 16, 24 or 32-bit (a float WAV as the reader gives it), 1..8
// channels, any rate: the encoder
// resamples to Opus's 48 kHz) into an Ogg Opus file through libopusenc, VBR at the set
// bitrate, output gain 0. The tags go in afterwards (TagWriters: OpusTags with the R128
// gains), so the file's comment header is left with the encoder's vendor string only. A run
// that does not reach its input's end removes what it wrote.
#include "audio/AuOutput.h"

#include <memory>
#include <vector>

constexpr int OpusMinKbps = 6;
constexpr int OpusMaxKbps = 510;
constexpr int OpusDefaultKbps = 160;

class TOpusOut : public TAuFileOut
{
public:
    explicit TOpusOut(QObject* Owner = nullptr);
    ~TOpusOut() override;

    // kbit/s; values outside 6..510 are held to the range.
    int Bitrate() const { return FKbps; }
    void SetBitrate(int Kbps);

protected:
    void Prepare() override;
    bool DoOutput(bool Abort) override;
    void Done() override;

private:
    struct TState;
    void Discard();

    int FKbps = OpusDefaultKbps;
    std::unique_ptr<TState> FState;
    std::vector<uint8_t> FBlock;
    bool FComplete = false;
};
