#include "audio/Adpcm.h"
#include <algorithm>
#include <climits>

namespace Adpcm {

namespace {

constexpr int16_t StepTable[89] = {
    7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45,
    50, 55, 60, 66, 73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307,
    337, 371, 408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066,
    2272, 2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871, 5358, 5894, 6484, 7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899,
    15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int8_t IndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

const int AdaptationTable[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                 768, 614, 512, 409, 307, 230, 230, 230};

constexpr int MaxStepIndex = 88;
// The predictor stays within +-32767 (not -32768), on both sides of the codec.
constexpr int MaxPredictor = 32767;

// The decoder's two per-sample steps as tables: the signed difference of every nibble at
// every step index (the sum of the step's shifted parts, as the format defines it), and
// the step index that follows.
struct TImaTables {
    int32_t Diff[MaxStepIndex + 1][16];
    uint8_t Next[MaxStepIndex + 1][16];
};

constexpr TImaTables MakeImaTables()
{
    TImaTables t{};
    for (int i = 0; i <= MaxStepIndex; ++i) {
        const int step = StepTable[i];
        for (int n = 0; n < 16; ++n) {
            int diff = step >> 3;
            if (n & 4) diff += step;
            if (n & 2) diff += step >> 1;
            if (n & 1) diff += step >> 2;
            t.Diff[i][n] = (n & 8) ? -diff : diff;
            t.Next[i][n] = uint8_t(std::clamp(i + IndexTable[n], 0, MaxStepIndex));
        }
    }
    return t;
}

constexpr TImaTables ImaTables = MakeImaTables();

struct TImaChannel {
    int Predictor = 0;
    int Index = 0;

    int Decode(int Nibble)
    {
        Predictor = std::clamp(Predictor + ImaTables.Diff[Index][Nibble], -MaxPredictor, MaxPredictor);
        Index = ImaTables.Next[Index][Nibble];
        return Predictor;
    }

    int Encode(int Sample)
    {
        const int step = StepTable[Index];
        int d = Sample - Predictor;
        int code = 0;
        if (d < 0) {
            code = 8;
            d = -d;
        }
        if (d >= step) { code |= 4; d -= step; }
        if (d >= step >> 1) { code |= 2; d -= step >> 1; }
        if (d >= step >> 2) code |= 1;
        Decode(code);
        return code;
    }
};

void ReadImaHeader(const uint8_t* h, TImaChannel& c)
{
    c.Predictor = int16_t(h[0] | (h[1] << 8));
    c.Index = std::min<int>(h[2], MaxStepIndex);
}

} // namespace

int ImaFramesPerBlock(int BlockBytes, int Channels)
{
    if (Channels == 1)
        return BlockBytes >= 4 ? 2 * (BlockBytes - 4) + 1 : 0;
    if (Channels == 2)
        return BlockBytes >= 8 ? (BlockBytes - 8) / 8 * 8 + 1 : 0;
    return 0;
}

int ImaDecodeBlock(const uint8_t* Block, int Got, int Channels, int MaxFrames, int16_t* Out)
{
    if (Channels < 1 || Channels > 2 || Got < 4 * Channels || MaxFrames < 1)
        return 0;
    TImaChannel ch[2];
    for (int c = 0; c < Channels; ++c) {
        ReadImaHeader(Block + 4 * c, ch[c]);
        Out[c] = int16_t(ch[c].Predictor);
    }
    int frames = 1;
    if (Channels == 1) {
        for (int i = 4; i < Got && frames < MaxFrames; ++i) {
            Out[frames++] = int16_t(ch[0].Decode(Block[i] & 15));
            if (frames < MaxFrames)
                Out[frames++] = int16_t(ch[0].Decode(Block[i] >> 4));
        }
        return frames;
    }
    for (int g = 8; g + 8 <= Got && frames < MaxFrames; g += 8) {
        const int n = std::min(8, MaxFrames - frames);
        for (int c = 0; c < 2; ++c) {
            const uint8_t* p = Block + g + 4 * c;
            for (int k = 0; k < n; ++k) {
                const int nibble = (k & 1) ? (p[k >> 1] >> 4) : (p[k >> 1] & 15);
                Out[2 * (frames + k) + c] = int16_t(ch[c].Decode(nibble));
            }
        }
        frames += n;
    }
    return frames;
}

void ImaEncodeBlock(const int16_t* In, int Channels, int BlockBytes, uint8_t* Block, uint8_t* StepIndex)
{
    const int frames = ImaFramesPerBlock(BlockBytes, Channels);
    if (frames == 0)
        return;
    TImaChannel ch[2];
    for (int c = 0; c < Channels; ++c) {
        ch[c].Predictor = In[c];            // as the decoder reads it back
        ch[c].Index = std::min<int>(StepIndex[c], MaxStepIndex);
        uint8_t* h = Block + 4 * c;
        h[0] = uint8_t(In[c]);
        h[1] = uint8_t(uint16_t(In[c]) >> 8);
        h[2] = uint8_t(ch[c].Index);
        h[3] = 0;
    }
    if (Channels == 1) {
        for (int n = 1; n < frames; ++n) {
            const int code = ch[0].Encode(In[n]);
            const int k = n - 1;
            Block[4 + (k >> 1)] |= uint8_t((k & 1) ? code << 4 : code);
        }
    } else {
        for (int n = 1; n < frames; ++n) {
            const int k = n - 1;                      // nibble index within the channel
            const int group = 8 + (k >> 3) * 8;
            const int inGroup = k & 7;
            for (int c = 0; c < 2; ++c) {
                const int code = ch[c].Encode(In[2 * n + c]);
                Block[group + 4 * c + (inGroup >> 1)] |= uint8_t((inGroup & 1) ? code << 4 : code);
            }
        }
    }
    for (int c = 0; c < Channels; ++c)
        StepIndex[c] = uint8_t(ch[c].Index);
}

int MsDecodeBlock(const uint8_t* Block, int Got, int Channels, int SamplesPerBlock,
                  const TMsCoef* Coefs, int NumCoefs, int16_t* Out)
{
    if (Channels < 1 || Channels > 2 || Got < 7 * Channels || SamplesPerBlock < 2)
        return 0;
    struct TState {
        int Coef1, Coef2, Delta, Sample1, Sample2;
    } st[2];
    const auto s16 = [Block](int off) { return int(int16_t(Block[off] | (Block[off + 1] << 8))); };
    for (int c = 0; c < Channels; ++c) {
        const int pred = Block[c];
        if (pred >= NumCoefs)
            return 0;
        st[c].Coef1 = Coefs[pred].Coef1;
        st[c].Coef2 = Coefs[pred].Coef2;
        st[c].Delta = s16(Channels + 2 * c);
        st[c].Sample1 = s16(3 * Channels + 2 * c);
        st[c].Sample2 = s16(5 * Channels + 2 * c);
        Out[c] = int16_t(st[c].Sample2);
        Out[Channels + c] = int16_t(st[c].Sample1);
    }
    const auto decode = [](TState& s, int nibble) {
        const int signedNibble = nibble >= 8 ? nibble - 16 : nibble;
        int64_t predict = (int64_t(s.Sample1) * s.Coef1 + int64_t(s.Sample2) * s.Coef2) / 256;
        predict += int64_t(signedNibble) * s.Delta;
        const int sample = int(std::clamp<int64_t>(predict, INT16_MIN, INT16_MAX));
        s.Sample2 = s.Sample1;
        s.Sample1 = sample;
        // A damaged block could grow the step without bound; keep it in range.
        s.Delta = std::clamp(int(int64_t(s.Delta) * AdaptationTable[nibble] / 256), 16, INT_MAX / 768);
        return int16_t(sample);
    };
    const int header = 7 * Channels;
    int frames = 2;
    if (Channels == 1) {
        const int bytes = std::min((SamplesPerBlock - 2) / 2, Got - header);
        for (int i = 0; i < bytes; ++i) {
            Out[frames++] = decode(st[0], Block[header + i] >> 4);
            Out[frames++] = decode(st[0], Block[header + i] & 15);
        }
    } else {
        const int bytes = std::min(SamplesPerBlock - 2, Got - header);
        for (int i = 0; i < bytes; ++i) {
            Out[2 * frames] = decode(st[0], Block[header + i] >> 4);
            Out[2 * frames + 1] = decode(st[1], Block[header + i] & 15);
            ++frames;
        }
    }
    return frames;
}

} // namespace Adpcm
