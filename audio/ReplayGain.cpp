#include "audio/ReplayGain.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <immintrin.h>

namespace {

constexpr double AbsoluteGate = -70.0;    // LUFS
constexpr double RelativeGate = -10.0;    // LU below the loudness of the blocks above the absolute gate

double LoudnessOf(double meanSquare) { return -0.691 + 10.0 * std::log10(meanSquare); }

} // namespace

TReplayGain::TReplayGain(unsigned channels, unsigned long rate)
    : FChannels(std::max(1u, channels)), FStepFrames(std::max<size_t>(1, (rate + 5) / 10))
{
    // The K-weighting: a high shelf (+4 dB above about 1.7 kHz, the head's effect) and a
    // high-pass near 38 Hz, each the bilinear transform of its analogue prototype at this rate.
    const double fs = double(std::max(1ul, rate));
    {
        const double f0 = 1681.974450955533, gain = 3.999843853973347, q = 0.7071752369554196;
        const double k = std::tan(M_PI * f0 / fs);
        const double vh = std::pow(10.0, gain / 20.0);
        const double vb = std::pow(vh, 0.4996667741545416);
        const double a0 = 1.0 + k / q + k * k;
        FShelf = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
                  2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    }
    {
        const double f0 = 38.13547087602444, q = 0.5003270373238773;
        const double k = std::tan(M_PI * f0 / fs);
        const double a0 = 1.0 + k / q + k * k;
        FHighPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    }
    // Left, right and centre count once, the two surround channels 1.41 times; any further
    // channel (an LFE) not at all.
    for (unsigned c = 0; c < FChannels; ++c) FWeight.push_back(c < 3 ? 1.0 : c < 5 ? 1.41 : 0.0);
    StartTrack();
}

void TReplayGain::StartTrack()
{
    FState.assign(size_t(FChannels) * 6, 0.0);
    FStepSum = 0.0;
    FStepFill = 0;
    std::fill(std::begin(FRecent), std::end(FRecent), 0.0);
    FSteps = 0;
    FCurrent = {};
}

namespace {

// One K-weighting pass over `frames` frames of Channels channels (direct form I: each
// stage's output depends on its last output through one multiply-add, the shortest chain a
// recursive filter allows). state holds per channel the shelf's last two inputs and outputs,
// then the high-pass's last two outputs; squares gets each channel's sum of squared outputs
// and peak the largest sample's magnitude.
template <unsigned Channels, bool Fused>
__attribute__((always_inline)) inline void Weigh(const int16_t* in, size_t frames, const double* shelf,
                                                 const double* highPass, double* state, double* squares, int& peak)
{
    const auto mad = [](double a, double b, double c) { return Fused ? __builtin_fma(a, b, c) : a * b + c; };
    constexpr double Scale = 1.0 / 32768.0;
    double x1[Channels], x2[Channels], y1[Channels], y2[Channels], z1[Channels], z2[Channels], sq[Channels];
    int pk[Channels];
    for (unsigned c = 0; c < Channels; ++c) {
        x1[c] = state[c * 6];
        x2[c] = state[c * 6 + 1];
        y1[c] = state[c * 6 + 2];
        y2[c] = state[c * 6 + 3];
        z1[c] = state[c * 6 + 4];
        z2[c] = state[c * 6 + 5];
        sq[c] = 0.0;
        pk[c] = peak;
    }
    const double b0 = shelf[0], b1 = shelf[1], b2 = shelf[2], a1 = shelf[3], a2 = shelf[4];
    const double h1 = highPass[3], h2 = highPass[4];
    for (size_t f = 0; f < frames; ++f, in += Channels)
#pragma GCC unroll 8
        for (unsigned c = 0; c < Channels; ++c) {
            const int sample = in[c];
            pk[c] = std::max(pk[c], sample < 0 ? -sample : sample);
            const double x = sample * Scale;
            const double y = mad(-a1, y1[c], mad(-a2, y2[c], mad(b0, x, mad(b1, x1[c], b2 * x2[c]))));
            const double z = mad(-h1, z1[c], mad(-h2, z2[c], (y - 2.0 * y1[c]) + y2[c]));
            x2[c] = x1[c];
            x1[c] = x;
            y2[c] = y1[c];
            y1[c] = y;
            z2[c] = z1[c];
            z1[c] = z;
            sq[c] = mad(z, z, sq[c]);
        }
    for (unsigned c = 0; c < Channels; ++c) {
        state[c * 6] = x1[c];
        state[c * 6 + 1] = x2[c];
        state[c * 6 + 2] = y1[c];
        state[c * 6 + 3] = y2[c];
        state[c * 6 + 4] = z1[c];
        state[c * 6 + 5] = z2[c];
        squares[c] = sq[c];
        peak = std::max(peak, pk[c]);
    }
}

template <unsigned Channels>
void WeighPlain(const int16_t* in, size_t frames, const double* shelf, const double* highPass, double* state,
                double* squares, int& peak)
{
    Weigh<Channels, false>(in, frames, shelf, highPass, state, squares, peak);
}

// With fused multiply-adds the recursion's chain is half as long; chosen at the first call
// where the processor has them.
template <unsigned Channels>
__attribute__((target("avx2,fma"))) void WeighFused(const int16_t* in, size_t frames, const double* shelf,
                                                   const double* highPass, double* state, double* squares,
                                                   int& peak)
{
    Weigh<Channels, true>(in, frames, shelf, highPass, state, squares, peak);
}

// Stereo with both channels in one register: the same steps as Weigh's fused ones, for the
// two channels at once.
__attribute__((target("avx2,fma"))) void WeighStereoVector(const int16_t* in, size_t frames, const double* shelf,
                                                          const double* highPass, double* state, double* squares,
                                                          int& peak)
{
    const auto pair = [state](int i) { return _mm_set_pd(state[6 + i], state[i]); };
    __m128d x1 = pair(0), x2 = pair(1), y1 = pair(2), y2 = pair(3), z1 = pair(4), z2 = pair(5);
    __m128d sq = _mm_setzero_pd();
    __m128i pk = _mm_set1_epi32(peak);
    const __m128d b0 = _mm_set1_pd(shelf[0]), b1 = _mm_set1_pd(shelf[1]), b2 = _mm_set1_pd(shelf[2]);
    const __m128d a1 = _mm_set1_pd(shelf[3]), a2 = _mm_set1_pd(shelf[4]);
    const __m128d h1 = _mm_set1_pd(highPass[3]), h2 = _mm_set1_pd(highPass[4]);
    const __m128d two = _mm_set1_pd(2.0), scale = _mm_set1_pd(1.0 / 32768.0);
    for (size_t f = 0; f < frames; ++f, in += 2) {
        int32_t both;
        std::memcpy(&both, in, sizeof both);
        const __m128i samples = _mm_cvtepi16_epi32(_mm_cvtsi32_si128(both));
        pk = _mm_max_epi32(pk, _mm_abs_epi32(samples));
        const __m128d x = _mm_mul_pd(_mm_cvtepi32_pd(samples), scale);
        __m128d t = _mm_fmadd_pd(b1, x1, _mm_mul_pd(b2, x2));
        t = _mm_fmadd_pd(b0, x, t);
        const __m128d y = _mm_fnmadd_pd(a1, y1, _mm_fnmadd_pd(a2, y2, t));
        const __m128d u = _mm_add_pd(_mm_fnmadd_pd(two, y1, y), y2);
        const __m128d z = _mm_fnmadd_pd(h1, z1, _mm_fnmadd_pd(h2, z2, u));
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        z2 = z1;
        z1 = z;
        sq = _mm_fmadd_pd(z, z, sq);
    }
    const __m128d values[6] = {x1, x2, y1, y2, z1, z2};
    for (int i = 0; i < 6; ++i) {
        _mm_storel_pd(state + i, values[i]);
        _mm_storeh_pd(state + 6 + i, values[i]);
    }
    _mm_storel_pd(squares, sq);
    _mm_storeh_pd(squares + 1, sq);
    peak = std::max({peak, _mm_extract_epi32(pk, 0), _mm_extract_epi32(pk, 1)});
}

template <unsigned Channels>
void WeighChannels(const int16_t* in, size_t frames, const double* shelf, const double* highPass, double* state,
                   double* squares, int& peak)
{
    static const bool fused = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if constexpr (Channels == 2)
        if (fused) return WeighStereoVector(in, frames, shelf, highPass, state, squares, peak);
    (fused ? WeighFused<Channels> : WeighPlain<Channels>)(in, frames, shelf, highPass, state, squares, peak);
}

} // namespace

template <unsigned Channels>
void TReplayGain::Measure(const int16_t* samples, size_t frames)
{
    const unsigned channels = Channels ? Channels : FChannels;
    const double shelf[5] = {FShelf.B0, FShelf.B1, FShelf.B2, FShelf.A1, FShelf.A2};
    const double highPass[5] = {FHighPass.B0, FHighPass.B1, FHighPass.B2, FHighPass.A1, FHighPass.A2};
    constexpr double Scale = 1.0 / 32768.0;
    while (frames > 0) {
        const size_t n = std::min(frames, FStepFrames - FStepFill);
        double sum = 0.0;
        int peak = 0;
        if constexpr (Channels > 0) {
            double squares[Channels];
            WeighChannels<Channels>(samples, n, shelf, highPass, FState.data(), squares, peak);
            for (unsigned c = 0; c < Channels; ++c) sum += FWeight[c] * squares[c];
        } else {
            // Any other channel count: one channel at a time, gathered into a mono run.
            std::vector<int16_t> mono(n);
            for (unsigned c = 0; c < channels; ++c) {
                for (size_t f = 0; f < n; ++f) mono[f] = samples[f * channels + c];
                double squares = 0.0;
                WeighChannels<1>(mono.data(), n, shelf, highPass, FState.data() + c * 6, &squares, peak);
                sum += FWeight[c] * squares;
            }
        }
        FCurrent.Peak = std::max(FCurrent.Peak, peak * Scale);
        FStepSum += sum;
        FStepFill += n;
        samples += n * channels;
        frames -= n;
        if (FStepFill == FStepFrames) EndStep();
    }
}

void TReplayGain::EndStep()
{
    // A 400 ms block ends with every 100 ms step from the fourth on.
    if (FSteps >= 3)
        FCurrent.Blocks.push_back((FRecent[0] + FRecent[1] + FRecent[2] + FStepSum) / double(4 * FStepFrames));
    FRecent[0] = FRecent[1];
    FRecent[1] = FRecent[2];
    FRecent[2] = FStepSum;
    ++FSteps;
    FStepSum = 0.0;
    FStepFill = 0;
    // Filter states decaying through silence would become denormal numbers, which are slow.
    for (double& v : FState)
        if (std::fabs(v) < 1e-30) v = 0.0;
}

void TReplayGain::Feed(const int16_t* samples, size_t count)
{
    const size_t frames = count / FChannels;
    if (frames == 0) return;
    if (FChannels == 2) Measure<2>(samples, frames);
    else if (FChannels == 1) Measure<1>(samples, frames);
    else Measure<0>(samples, frames);
}

void TReplayGain::FeedBytes(const char* data, size_t size)
{
    const size_t frameBytes = 2 * size_t(FChannels);
    if constexpr (std::endian::native == std::endian::little) {
        // The bytes are the samples already: measured where they are.
        if (FPending.empty() && reinterpret_cast<uintptr_t>(data) % alignof(int16_t) == 0) {
            const size_t whole = size / frameBytes * frameBytes;
            Feed(reinterpret_cast<const int16_t*>(data), whole / 2);
            FPending.assign(data + whole, data + size);
            return;
        }
    }
    std::vector<int16_t> samples;
    samples.reserve((FPending.size() + size) / 2);
    const auto take = [&](const unsigned char* b) { samples.push_back(int16_t(uint16_t(b[0] | (b[1] << 8)))); };
    // Complete the frame left over from the last call first.
    while (!FPending.empty() && size > 0) {
        FPending.push_back(*data++);
        --size;
        if (FPending.size() == frameBytes) {
            for (size_t i = 0; i < frameBytes; i += 2)
                take(reinterpret_cast<const unsigned char*>(FPending.data() + i));
            FPending.clear();
        }
    }
    const size_t whole = size / frameBytes * frameBytes;
    for (size_t i = 0; i < whole; i += 2)
        take(reinterpret_cast<const unsigned char*>(data + i));
    FPending.insert(FPending.end(), data + whole, data + size);
    if (!samples.empty())
        Feed(samples.data(), samples.size());
}

double TReplayGain::Integrated(const std::vector<const std::vector<double>*>& tracks)
{
    const double absolute = std::pow(10.0, (AbsoluteGate + 0.691) / 10.0);
    double sum = 0.0;
    size_t count = 0;
    for (const auto* blocks : tracks)
        for (double e : *blocks)
            if (e > absolute) {
                sum += e;
                ++count;
            }
    if (count == 0) return -HUGE_VAL;
    const double relative = std::max(absolute, sum / double(count) * std::pow(10.0, RelativeGate / 10.0));
    sum = 0.0;
    count = 0;
    for (const auto* blocks : tracks)
        for (double e : *blocks)
            if (e > relative) {
                sum += e;
                ++count;
            }
    return count == 0 ? -HUGE_VAL : LoudnessOf(sum / double(count));
}

TReplayGainResult TReplayGain::ResultOf(double loudness, double peak)
{
    TReplayGainResult result;
    // Silence (or a track too short to gate) has no loudness: no change.
    result.Gain = std::isfinite(loudness) ? REPLAYGAIN_REFERENCE_LUFS - loudness : 0.0;
    result.Peak = peak;
    return result;
}

TReplayGainResult TReplayGain::FinishTrack()
{
    TTrack track = std::move(FCurrent);
    StartTrack();
    FPending.clear();
    const TReplayGainResult result = ResultOf(Integrated({&track.Blocks}), track.Peak);
    FTracks.push_back(std::move(track));
    return result;
}

void TReplayGain::DropLastTrack()
{
    if (!FTracks.empty()) FTracks.pop_back();
}

void TReplayGain::DiscardTrack()
{
    StartTrack();
    FPending.clear();
}

TReplayGainResult TReplayGain::Album() const
{
    if (FTracks.empty()) return {};
    std::vector<const std::vector<double>*> blocks;
    double peak = 0.0;
    for (const TTrack& t : FTracks) {
        blocks.push_back(&t.Blocks);
        peak = std::max(peak, t.Peak);
    }
    return ResultOf(Integrated(blocks), peak);
}
