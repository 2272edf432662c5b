#pragma once
// The resampler's four cascaded passes of one 4-pole recursion (y[n] = sum A[k] x[n-k] +
// sum B[k] y[n-k]) in vector registers where the processor has AVX2 and FMA (AVX-512's
// extra registers used when there): the four passes of a channel side by side in the
// lanes of one register, one sample apart, so that they no longer wait for each other.
#include <array>
#include <cstddef>

namespace FilterLanes {

// Filters Count frames of Channels interleaved floats in place. State holds, for channel c
// and pass p at State[c * 4 + p], the last four inputs then the last four outputs (newest
// first) and carries them from call to call. False (nothing done) without AVX2 and FMA.
bool Run(float* Frames, int Count, size_t Channels, const double* A, const double* B, std::array<double, 8>* State);

} // namespace FilterLanes
