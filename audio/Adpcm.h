#pragma once
// Block codecs of the two ADPCM codings a WAV file may hold: IMA/DVI ADPCM (decode and
// encode) and Microsoft ADPCM (decode). Pure functions over one block; mono and stereo.
//
// IMA block layout: per channel a 4-byte header (first sample, signed 16-bit; step index;
// one unused byte), left first. Mono: each following byte holds two samples, low nibble
// first. Stereo: groups of 8 bytes, 4 bytes of left nibbles then 4 of right ones.
#include <cstdint>

namespace Adpcm {

// Frames that one IMA block of BlockBytes holds: mono 2 * (B - 4) + 1; stereo one per
// nibble pair of the whole 8-byte groups plus the header sample ((B - 8) / 8 * 8 + 1,
// which is B - 7 for the usual multiples of 8). 0 when the block cannot hold the headers.
int ImaFramesPerBlock(int BlockBytes, int Channels);

// Decodes one IMA block of which Got bytes could be read (a short last block decodes what
// it holds) into interleaved 16-bit frames, at most MaxFrames. Returns the frames produced
// (0 when not even the headers are there).
int ImaDecodeBlock(const uint8_t* Block, int Got, int Channels, int MaxFrames, int16_t* Out);

// Encodes ImaFramesPerBlock(BlockBytes, Channels) interleaved frames into a zeroed block
// of BlockBytes. Each channel's header carries its first sample as the predictor and the
// step index carried over in StepIndex[channel] (updated for the next block).
void ImaEncodeBlock(const int16_t* In, int Channels, int BlockBytes, uint8_t* Block, uint8_t* StepIndex);

// One coefficient pair of a Microsoft ADPCM file.
struct TMsCoef {
    int16_t Coef1;
    int16_t Coef2;
};

// Decodes one Microsoft ADPCM block (Got bytes read) with the file's coefficient table
// into interleaved 16-bit frames: per channel sample2 and sample1 of the header, then one
// sample per nibble, high nibble first (stereo: high left, low right); at most
// SamplesPerBlock frames. Returns 0 for a short header or a predictor index beyond the
// table.
int MsDecodeBlock(const uint8_t* Block, int Got, int Channels, int SamplesPerBlock,
                  const TMsCoef* Coefs, int NumCoefs, int16_t* Out);

} // namespace Adpcm
