#pragma once
// Integer samples to and from 32-bit floats, as the sample converters share them.
//   8 bits (unsigned b):   b / 128 - 1;            back: 255 for x >= 1, floor((x + 1) * 128)
//                                                   for x > -1, else 0
//   16 bits:               s / 32768;              back: x clipped to [-1, 1], x * 32767
//                                                   rounded to nearest (ties to even)
//   24 bits (3 bytes LE):  s / 8388608;            back: clipped, floor(x * 8388607)
//   32 bits:               s / 2147483648;         back: clipped, x * 2147483647 rounded in
//                                                   double precision
// Arithmetic is single precision except where noted.
#include <cstddef>
#include <cstdint>

namespace SampleFormat {

// True for the widths the converters handle: 8, 16, 24 and 32 bits.
inline bool Supported(int BitsPerSample)
{
    return BitsPerSample == 8 || BitsPerSample == 16 || BitsPerSample == 24 || BitsPerSample == 32;
}

// Count samples of BytesPerSample bytes each, to floats and back.
void ToFloat(const uint8_t* In, int BytesPerSample, size_t Count, float* Out);
void FromFloat(const float* In, size_t Count, int BytesPerSample, uint8_t* Out);

} // namespace SampleFormat
