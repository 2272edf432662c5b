#include "audio/SampleFormat.h"
#include <bit>
#include <cstring>

// The loops are written so that the compiler turns them into vector code (no library
// calls, no branches): a float rounds to the nearest integer (ties to even, as
// nearbyint in the default mode) by adding and subtracting 1.5 * 2^23 (2^52 for doubles),
// exact below 2^22 (2^51); floor is truncation corrected by one where it went up.

// On x86-64 both conversions are also built for AVX2 (eight floats a step, and the
// narrowing of integers that SSE2 lacks), chosen at the first call when the processor
// has it. (Not by the loader's target clones: their resolvers run before a sanitizer's
// runtime is ready.)

namespace SampleFormat {

namespace {

constexpr float RoundFloat = 12582912.0f;               // 1.5 * 2^23
constexpr double RoundDouble = 6755399441055744.0;      // 1.5 * 2^52

inline float Clip(float x)
{
    x = x > -1.0f ? x : -1.0f;
    return x < 1.0f ? x : 1.0f;
}

} // namespace

namespace {

__attribute__((always_inline)) inline void ToFloatBody(const uint8_t* In, int BytesPerSample, size_t Count, float* Out)
{
    switch (BytesPerSample) {
    case 1:
        for (size_t i = 0; i < Count; ++i)
            Out[i] = float(In[i]) * (1.0f / 128.0f) - 1.0f;
        break;
    case 2:
        if constexpr (std::endian::native == std::endian::little) {
            for (size_t i = 0; i < Count; ++i) {
                int16_t s;
                std::memcpy(&s, In + 2 * i, 2);
                Out[i] = float(s) * (1.0f / 32768.0f);
            }
        } else {
            for (size_t i = 0; i < Count; ++i)
                Out[i] = float(int16_t(In[2 * i] | (In[2 * i + 1] << 8))) * (1.0f / 32768.0f);
        }
        break;
    case 3:
        for (size_t i = 0; i < Count; ++i) {
            const uint8_t* p = In + 3 * i;
            const int32_t s = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
            Out[i] = float(s) * (1.0f / 8388608.0f);
        }
        break;
    case 4:
        for (size_t i = 0; i < Count; ++i) {
            int32_t s;
            std::memcpy(&s, In + 4 * i, 4);
            if constexpr (std::endian::native != std::endian::little)
                s = int32_t(uint32_t(In[4 * i]) | uint32_t(In[4 * i + 1]) << 8 | uint32_t(In[4 * i + 2]) << 16 | uint32_t(In[4 * i + 3]) << 24);
            Out[i] = float(s) * (1.0f / 2147483648.0f);
        }
        break;
    default:
        break;
    }
}

__attribute__((always_inline)) inline void FromFloatBody(const float* In, size_t Count, int BytesPerSample, uint8_t* Out)
{
    switch (BytesPerSample) {
    case 1:
        for (size_t i = 0; i < Count; ++i) {
            const float x = In[i];
            float v = x > -1.0f ? (x + 1.0f) * 128.0f : 0.0f;   // also NaN to 0
            v = v < 255.0f ? v : 255.0f;
            v = x >= 1.0f ? 255.0f : v;
            Out[i] = uint8_t(int32_t(v));                       // v >= 0: truncation is floor
        }
        break;
    case 2:
        for (size_t i = 0; i < Count; ++i) {
            const float r = (Clip(In[i]) * 32767.0f + RoundFloat) - RoundFloat;
            const int16_t s = int16_t(int32_t(r));
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(Out + 2 * i, &s, 2);
            } else {
                Out[2 * i] = uint8_t(s);
                Out[2 * i + 1] = uint8_t(uint16_t(s) >> 8);
            }
        }
        break;
    case 3:
        for (size_t i = 0; i < Count; ++i) {
            const float y = Clip(In[i]) * 8388607.0f;
            int32_t s = int32_t(y);
            s -= float(s) > y ? 1 : 0;
            uint8_t* p = Out + 3 * i;
            p[0] = uint8_t(s);
            p[1] = uint8_t(s >> 8);
            p[2] = uint8_t(s >> 16);
        }
        break;
    case 4:
        for (size_t i = 0; i < Count; ++i) {
            const double r = (double(Clip(In[i])) * 2147483647.0 + RoundDouble) - RoundDouble;
            const int32_t s = int32_t(r);
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(Out + 4 * i, &s, 4);
            } else {
                for (int b = 0; b < 4; ++b)
                    Out[4 * i + size_t(b)] = uint8_t(uint32_t(s) >> (8 * b));
            }
        }
        break;
    default:
        break;
    }
}

void ToFloatPlain(const uint8_t* In, int BytesPerSample, size_t Count, float* Out)
{
    ToFloatBody(In, BytesPerSample, Count, Out);
}

void FromFloatPlain(const float* In, size_t Count, int BytesPerSample, uint8_t* Out)
{
    FromFloatBody(In, Count, BytesPerSample, Out);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void ToFloatAvx2(const uint8_t* In, int BytesPerSample, size_t Count, float* Out)
{
    ToFloatBody(In, BytesPerSample, Count, Out);
}

__attribute__((target("avx2"))) void FromFloatAvx2(const float* In, size_t Count, int BytesPerSample, uint8_t* Out)
{
    FromFloatBody(In, Count, BytesPerSample, Out);
}

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

} // namespace

void ToFloat(const uint8_t* In, int BytesPerSample, size_t Count, float* Out)
{
#if defined(__x86_64__)
    if (HasAvx2())
        return ToFloatAvx2(In, BytesPerSample, Count, Out);
#endif
    ToFloatPlain(In, BytesPerSample, Count, Out);
}

void FromFloat(const float* In, size_t Count, int BytesPerSample, uint8_t* Out)
{
#if defined(__x86_64__)
    if (HasAvx2())
        return FromFloatAvx2(In, Count, BytesPerSample, Out);
#endif
    FromFloatPlain(In, Count, BytesPerSample, Out);
}

} // namespace SampleFormat
