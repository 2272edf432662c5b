#include "audio/DeEmphasis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// y[n] = B0 x[n] + B1 x[n-1] - A1 y[n-1]; pole 0.6287, zero 0.1940, B0 + B1 = 1 + A1.
constexpr double B0 = 0.460603374860244;
constexpr double B1 = -0.089347124860244;
constexpr double A1 = -0.628743750000000;

int16_t Clamp(double v)
{
    const double r = std::nearbyint(v);
    return int16_t(r > 32767 ? 32767 : r < -32768 ? -32768 : r);
}

} // namespace

void TDeEmphasis::Process(int16_t* samples, size_t frames)
{
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            const double x = samples[2 * i + size_t(c)];
            const double y = B0 * x + B1 * FIn[c] - A1 * FOut[c];
            FIn[c] = x;
            FOut[c] = y;
            samples[2 * i + size_t(c)] = Clamp(y);
        }
    }
}

void TDeEmphasis::ProcessBytes(uint8_t* data, size_t bytes)
{
    // The samples are little-endian, as the machine's own order on every platform built for;
    // copied through an aligned buffer, the bytes need not be aligned.
    int16_t buffer[1024];
    for (size_t done = 0; done + 4 <= bytes;) {
        const size_t frames = std::min<size_t>((bytes - done) / 4, sizeof buffer / 4);
        std::memcpy(buffer, data + done, frames * 4);
        Process(buffer, frames);
        std::memcpy(data + done, buffer, frames * 4);
        done += frames * 4;
    }
}

const uint8_t* TDeEmphasisStage::Apply(const uint8_t* data, size_t bytes)
{
    if (!FOn) return data;
    FCopy.assign(data, data + bytes);
    FFilter.ProcessBytes(FCopy.data(), bytes);
    return FCopy.data();
}

void TDeEmphasis::Reset()
{
    FIn[0] = FIn[1] = FOut[0] = FOut[1] = 0;
}
