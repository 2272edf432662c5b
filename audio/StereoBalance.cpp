#include "audio/StereoBalance.h"
#include <algorithm>
#include <cmath>
#include <cstring>

TStereoBalance::TStereoBalance(QObject* Owner) : TAuConverter(Owner) {}

TStereoBalance::~TStereoBalance() = default;

void TStereoBalance::SetBalance(float Value)
{
    if (Value >= 0.0f && Value <= 1.0f)
        FBalance = Value;
}

void TStereoBalance::Factors(float B, double& Left, double& Right)
{
    // 0.5 is the centre: both sides keep their level; towards either end the other
    // side fades linearly to silence.
    Left = B > 0.5f ? 2.0 * (1.0 - double(B)) : 1.0;
    Right = B < 0.5f ? 2.0 * double(B) : 1.0;
}

int TStereoBalance::GetChannels()
{
    TAuInput* in = Input();
    if (!in)
        throw EAuException("Input not assigned");
    const int ch = in->Channels();
    return ch == 1 || ch == 2 ? 2 : ch;
}

void TStereoBalance::DoInit()
{
    TAuInput* in = Input();
    if (!in)
        throw EAuException("Input not assigned");
    in->Init();
    FBusy = true;
    FInChannels = in->Channels();
    const int bits = in->BitsPerSample();
    FBytes = bits / 8;
    if (FInChannels <= 2 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        FBusy = false;
        in->Flush();
        throw EAuException(QStringLiteral("Cannot balance %1-bit samples").arg(bits));
    }
    const int64_t size = in->Size();
    FSize = FInChannels == 1 && size > 0 ? size * 2 : size;
    FPosition = 0;
}

void TStereoBalance::DoFlush()
{
    if (TAuInput* in = Input())
        in->Flush();
    FBusy = false;
}

namespace {

// Multiplies every second sample, starting at First, by Factor (rounded to nearest, ties
// to even). 8-bit samples are unsigned around 128.
void Scale(uint8_t* Data, size_t Frames, int Bytes, int First, double Factor)
{
    if (Factor == 1.0)
        return;
    for (size_t i = 0; i < Frames; ++i) {
        uint8_t* p = Data + (2 * i + size_t(First)) * size_t(Bytes);
        switch (Bytes) {
        case 1:
            p[0] = uint8_t(128 + int(std::nearbyint((int(p[0]) - 128) * Factor)));
            break;
        case 2: {
            const int16_t s = int16_t(p[0] | (p[1] << 8));
            const int16_t r = int16_t(std::nearbyint(s * Factor));
            p[0] = uint8_t(r);
            p[1] = uint8_t(uint16_t(r) >> 8);
            break;
        }
        case 3: {
            const int32_t s = int32_t(uint32_t(p[0] | (p[1] << 8) | (p[2] << 16)) << 8) >> 8;
            const int32_t r = int32_t(std::nearbyint(s * Factor));
            p[0] = uint8_t(r);
            p[1] = uint8_t(r >> 8);
            p[2] = uint8_t(r >> 16);
            break;
        }
        case 4: {
            int32_t s;
            std::memcpy(&s, p, 4);
            const int32_t r = int32_t(std::nearbyint(s * Factor));
            std::memcpy(p, &r, 4);
            break;
        }
        default:
            break;
        }
    }
}

} // namespace

void TStereoBalance::DoGetData(void*& Buffer, uint32_t& Bytes)
{
    TAuInput* in = Input();
    if (!FBusy || !in)
        throw EAuException("The Stream is not opened");
    if (FInChannels >= 3) {
        in->GetData(Buffer, Bytes);
        return;
    }
    const int frameIn = FBytes * FInChannels;
    // Whole input frames, in the work buffer (the input's own data stay untouched).
    uint32_t want = FInChannels == 1 ? std::min(Bytes, MonoChunk) / 2 : std::min<uint32_t>(Bytes, MonoChunk);
    want = want / uint32_t(frameIn) * uint32_t(frameIn);
    int got = want > 0 ? in->CopyData(FWork.data(), int(want)) : 0;
    while (got % frameIn != 0) {
        const int n = in->CopyData(FWork.data() + got, frameIn - got % frameIn);
        if (n == 0)
            break;
        got += n;
    }
    const size_t frames = size_t(got / frameIn);
    if (frames == 0) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    uint8_t* data = FWork.data();
    if (FInChannels == 1) {
        // Expand in place from the end: every sample on both sides.
        for (size_t i = frames; i-- > 0;) {
            std::memmove(data + (2 * i + 1) * FBytes, data + i * FBytes, size_t(FBytes));
            std::memmove(data + 2 * i * FBytes, data + i * FBytes, size_t(FBytes));
        }
    }
    double left, right;
    Factors(FBalance, left, right);
    Scale(data, frames, FBytes, 0, left);
    Scale(data, frames, FBytes, 1, right);
    Buffer = data;
    Bytes = uint32_t(frames * 2 * FBytes);
}
