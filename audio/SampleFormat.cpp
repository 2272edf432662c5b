#include "audio/SampleFormat.h"
#include <algorithm>
#include <cmath>
#include <cstring>

namespace SampleFormat {

void ToFloat(const uint8_t* In, int BytesPerSample, size_t Count, float* Out)
{
    switch (BytesPerSample) {
    case 1:
        for (size_t i = 0; i < Count; ++i)
            Out[i] = float(In[i]) / 128.0f - 1.0f;
        break;
    case 2:
        for (size_t i = 0; i < Count; ++i)
            Out[i] = float(int16_t(In[2 * i] | (In[2 * i + 1] << 8))) / 32768.0f;
        break;
    case 3:
        for (size_t i = 0; i < Count; ++i) {
            const uint8_t* p = In + 3 * i;
            const int32_t s = int32_t(int16_t(p[1] | (p[2] << 8))) * 256 + p[0];
            Out[i] = float(s) / 8388608.0f;
        }
        break;
    case 4:
        for (size_t i = 0; i < Count; ++i) {
            int32_t s;
            std::memcpy(&s, In + 4 * i, 4);
            Out[i] = float(s) / 2147483648.0f;
        }
        break;
    default:
        break;
    }
}

void FromFloat(const float* In, size_t Count, int BytesPerSample, uint8_t* Out)
{
    switch (BytesPerSample) {
    case 1:
        for (size_t i = 0; i < Count; ++i) {
            const float x = In[i];
            Out[i] = x >= 1.0f ? 255 : x > -1.0f ? uint8_t(std::floor((x + 1.0f) * 128.0f)) : 0;
        }
        break;
    case 2:
        for (size_t i = 0; i < Count; ++i) {
            const float x = std::clamp(In[i], -1.0f, 1.0f);
            const int16_t s = int16_t(std::nearbyint(x * 32767.0f));
            Out[2 * i] = uint8_t(s);
            Out[2 * i + 1] = uint8_t(uint16_t(s) >> 8);
        }
        break;
    case 3:
        for (size_t i = 0; i < Count; ++i) {
            const float x = std::clamp(In[i], -1.0f, 1.0f);
            const int32_t s = int32_t(std::floor(x * 8388607.0f));
            uint8_t* p = Out + 3 * i;
            p[0] = uint8_t(s);
            p[1] = uint8_t(s >> 8);
            p[2] = uint8_t(s >> 16);
        }
        break;
    case 4:
        for (size_t i = 0; i < Count; ++i) {
            const double x = std::clamp(double(In[i]), -1.0, 1.0);
            const int32_t s = int32_t(std::nearbyint(x * 2147483647.0));
            std::memcpy(Out + 4 * i, &s, 4);
        }
        break;
    default:
        break;
    }
}

} // namespace SampleFormat
