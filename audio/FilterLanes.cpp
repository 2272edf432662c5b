#include "audio/FilterLanes.h"
#include <algorithm>
#include <cstdint>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#if defined(__x86_64__)
namespace {

// At step t lane p runs sample t - p, fed by lane p - 1's output of the step before; a
// stereo stream runs its two chains in the same loop. The histories, newest first, as
// named members (they stay in registers).
struct TLanes {
    __m256d x0, x1, x2, x3, y0, y1, y2, y3;
};

struct TLaneCoefficients {
    __m256d a0, a1, a2, a3, a4, b1, b2, b3, b4;
};

__attribute__((target("avx2,fma"), always_inline)) inline void LaneStep(TLanes& s, const TLaneCoefficients& k, double Sample)
{
    const __m256d in = _mm256_blend_pd(_mm256_permute4x64_pd(s.y0, _MM_SHUFFLE(2, 1, 0, 0)), _mm256_set1_pd(Sample), 1);
    // The terms of older values first; the newest output's comes last (the recursion's chain).
    const __m256d older = _mm256_add_pd(_mm256_fmadd_pd(k.a3, s.x2, _mm256_fmadd_pd(k.a2, s.x1, _mm256_mul_pd(k.a1, s.x0))),
                                        _mm256_fmadd_pd(k.b2, s.y1, _mm256_fmadd_pd(k.b3, s.y2, _mm256_fmadd_pd(k.b4, s.y3, _mm256_mul_pd(k.a4, s.x3)))));
    const __m256d out = _mm256_fmadd_pd(k.a0, in, _mm256_fmadd_pd(k.b1, s.y0, older));
    s.x3 = s.x2; s.x2 = s.x1; s.x1 = s.x0; s.x0 = in;
    s.y3 = s.y2; s.y2 = s.y1; s.y1 = s.y0; s.y0 = out;
}

// The step at the edges of a block, where only the lanes in Active move.
__attribute__((target("avx2,fma"), always_inline)) inline void LaneStepMasked(TLanes& s, const TLaneCoefficients& k, double Sample, __m256d Active)
{
    TLanes n = s;
    LaneStep(n, k, Sample);
    s = {_mm256_blendv_pd(s.x0, n.x0, Active), _mm256_blendv_pd(s.x1, n.x1, Active), _mm256_blendv_pd(s.x2, n.x2, Active),
         _mm256_blendv_pd(s.x3, n.x3, Active), _mm256_blendv_pd(s.y0, n.y0, Active), _mm256_blendv_pd(s.y1, n.y1, Active),
         _mm256_blendv_pd(s.y2, n.y2, Active), _mm256_blendv_pd(s.y3, n.y3, Active)};
}

__attribute__((target("avx2,fma"), always_inline)) inline double LastLane(__m256d v)
{
    return _mm_cvtsd_f64(_mm_unpackhi_pd(_mm256_extractf128_pd(v, 1), _mm256_extractf128_pd(v, 1)));
}

__attribute__((target("avx2,fma"), always_inline)) inline TLanes LoadLanes(const std::array<double, 8>* St)
{
    __m256d v[8];
    for (size_t i = 0; i < 8; ++i)
        v[i] = _mm256_set_pd(St[3][i], St[2][i], St[1][i], St[0][i]);
    return {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
}

__attribute__((target("avx2,fma"), always_inline)) inline void StoreLanes(const TLanes& s, std::array<double, 8>* St)
{
    alignas(32) double lanes[8][4];
    const __m256d v[8] = {s.x0, s.x1, s.x2, s.x3, s.y0, s.y1, s.y2, s.y3};
    for (size_t i = 0; i < 8; ++i)
        _mm256_store_pd(lanes[i], v[i]);
    for (size_t p = 0; p < 4; ++p)
        for (size_t i = 0; i < 8; ++i)
            St[p][i] = lanes[i][p];
}

// One step of every chain in the middle of a block: sample t in, sample t - 3 out.
template <int Chains>
__attribute__((target("avx2,fma"), always_inline)) inline void LaneFrame(TLanes& s0, TLanes& s1, const TLaneCoefficients& k,
                                                                        float* Frames, size_t Stride, int64_t t)
{
    const float* f = Frames + size_t(t) * Stride;
    LaneStep(s0, k, f[0]);
    if constexpr (Chains == 2)
        LaneStep(s1, k, f[1]);
    float* o = Frames + size_t(t - 3) * Stride;
    o[0] = float(LastLane(s0.y0));
    if constexpr (Chains == 2)
        o[1] = float(LastLane(s1.y0));
}

// Runs Chains channels (1 or 2, from the first at Frames) of a stream of Stride values a
// frame; State[c * 4 + p] is pass p of chain c. The body is inlined into one function for
// AVX2 and one for AVX-512, whose 32 registers hold both chains and the coefficients.
template <int Chains>
__attribute__((target("avx2,fma"), always_inline)) inline void FilterLanes(float* Frames, int Count, size_t Stride, const double* a,
                                                                          const double* b, std::array<double, 8>* State)
{
    const TLaneCoefficients k{_mm256_set1_pd(a[0]), _mm256_set1_pd(a[1]), _mm256_set1_pd(a[2]), _mm256_set1_pd(a[3]),
                              _mm256_set1_pd(a[4]), _mm256_set1_pd(b[1]), _mm256_set1_pd(b[2]), _mm256_set1_pd(b[3]),
                              _mm256_set1_pd(b[4])};
    TLanes s0 = LoadLanes(State);
    TLanes s1 = Chains == 2 ? LoadLanes(State + 4) : s0;
    const int64_t n = Count;
    for (int64_t t = 0; t < n + 3; ++t) {
        if (t >= 3 && t + 4 <= n) {
            // Four steps at a time: the histories' shift then needs no register moves.
            LaneFrame<Chains>(s0, s1, k, Frames, Stride, t);
            LaneFrame<Chains>(s0, s1, k, Frames, Stride, t + 1);
            LaneFrame<Chains>(s0, s1, k, Frames, Stride, t + 2);
            LaneFrame<Chains>(s0, s1, k, Frames, Stride, t + 3);
            t += 3;
            continue;
        }
        if (t >= 3 && t < n) {
            const float* f = Frames + size_t(t) * Stride;
            LaneStep(s0, k, f[0]);
            if constexpr (Chains == 2)
                LaneStep(s1, k, f[1]);
        } else {
            // Lane p runs sample t - p: at the first and the last three steps some lanes
            // stay still.
            const double on[4] = {t >= 0 && t < n ? -1.0 : 0.0, t >= 1 && t - 1 < n ? -1.0 : 0.0,
                                  t >= 2 && t - 2 < n ? -1.0 : 0.0, t >= 3 && t - 3 < n ? -1.0 : 0.0};
            const __m256d active = _mm256_loadu_pd(on);
            const float* f = Frames + size_t(std::min(t, n - 1)) * Stride;
            LaneStepMasked(s0, k, t < n ? f[0] : 0.0, active);
            if constexpr (Chains == 2)
                LaneStepMasked(s1, k, t < n ? f[1] : 0.0, active);
        }
        if (t >= 3) {
            float* f = Frames + size_t(t - 3) * Stride;
            f[0] = float(LastLane(s0.y0));
            if constexpr (Chains == 2)
                f[1] = float(LastLane(s1.y0));
        }
    }
    StoreLanes(s0, State);
    if constexpr (Chains == 2)
        StoreLanes(s1, State + 4);
}

template <int Chains>
__attribute__((target("avx2,fma"))) void FilterLanesAvx2(float* Frames, int Count, size_t Stride, const double* a, const double* b,
                                                        std::array<double, 8>* State)
{
    FilterLanes<Chains>(Frames, Count, Stride, a, b, State);
}

template <int Chains>
__attribute__((target("avx2,fma,avx512f,avx512vl"))) void FilterLanesAvx512(float* Frames, int Count, size_t Stride, const double* a,
                                                                            const double* b, std::array<double, 8>* State)
{
    FilterLanes<Chains>(Frames, Count, Stride, a, b, State);
}

// 0: neither; 1: AVX2 and FMA; 2: AVX-512 as well.
int LaneLevel()
{
    static const int level = !(__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) ? 0
                             : __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") ? 2 : 1;
    return level;
}

} // namespace
#endif

namespace FilterLanes {

bool Run(float* Frames, int Count, size_t Channels, const double* A, const double* B, std::array<double, 8>* State)
{
#if defined(__x86_64__)
    const int level = LaneLevel();
    if (level == 0)
        return false;
    if (Channels == 2) {
        (level == 2 ? FilterLanesAvx512<2> : FilterLanesAvx2<2>)(Frames, Count, 2, A, B, State);
    } else {
        const auto run = level == 2 ? FilterLanesAvx512<1> : FilterLanesAvx2<1>;
        for (size_t c = 0; c < Channels; ++c)
            run(Frames + c, Count, Channels, A, B, State + 4 * c);
    }
    return true;
#else
    (void)Frames; (void)Count; (void)Channels; (void)A; (void)B; (void)State;
    return false;
#endif
}

} // namespace FilterLanes
