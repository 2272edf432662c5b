#include "audio/FastResampler.h"
#include "audio/FilterLanes.h"
#include "audio/SampleFormat.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>

namespace {

constexpr int Poles = 4;
constexpr double RipplePercent = 5.0;
constexpr double CutOffShare = 0.85;
// Blocks are a fifth of a second.
constexpr int BlocksPerSecond = 5;

// Coefficients of one 2-pole section (pole pair P of Poles).
void Section(int P, double CutOff, double (&a)[3], double (&b)[3])
{
    const double pi = std::numbers::pi;
    const double angle = pi / (Poles * 2) + (P - 1) * pi / Poles;
    double rp = -std::cos(angle);
    double ip = std::sin(angle);
    // Warp from the circle onto the ripple ellipse.
    const double es = std::sqrt(std::pow(100.0 / (100.0 - RipplePercent), 2) - 1.0);
    const double vx = (1.0 / Poles) * std::log(1.0 / es + std::sqrt(1.0 / (es * es) + 1.0));
    double kx = (1.0 / Poles) * std::log(1.0 / es + std::sqrt(1.0 / (es * es) - 1.0));
    kx = (std::exp(kx) + std::exp(-kx)) / 2.0;
    rp *= ((std::exp(vx) - std::exp(-vx)) / 2.0) / kx;
    ip *= ((std::exp(vx) + std::exp(-vx)) / 2.0) / kx;
    // s-domain to z-domain by the bilinear transform.
    const double t = 2.0 * std::tan(0.5);
    const double w = 2.0 * pi * CutOff;
    const double m = rp * rp + ip * ip;
    double d = 4.0 - 4.0 * rp * t + m * t * t;
    const double x0 = t * t / d, x1 = 2.0 * t * t / d, x2 = t * t / d;
    const double y1 = (8.0 - 2.0 * m * t * t) / d;
    const double y2 = (-4.0 - 4.0 * rp * t - m * t * t) / d;
    // Low-pass to low-pass at the cut-off.
    const double k = std::sin(0.5 - w / 2.0) / std::sin(0.5 + w / 2.0);
    d = 1.0 + y1 * k - y2 * k * k;
    a[0] = (x0 - x1 * k + x2 * k * k) / d;
    a[1] = (-2.0 * x0 * k + x1 + x1 * k * k - 2.0 * x2 * k) / d;
    a[2] = (x0 * k * k - x1 * k + x2) / d;
    b[1] = (2.0 * k + y1 + y1 * k * k - 2.0 * y2 * k) / d;
    b[2] = (-k * k - y1 * k + y2) / d;
}

} // namespace

TFastResampler::TFastResampler(QObject* Owner) : TAuConverter(Owner) {}

TFastResampler::~TFastResampler()
{
    ReleaseReaders();
}

TFastResampler::TCoefficients TFastResampler::DesignLowPass(double CutOff)
{
    // Cascade the two sections into one recursion (polynomials with two leading slots).
    double A[Poles + 3] = {0, 0, 1}, B[Poles + 3] = {0, 0, 1};
    for (int p = 1; p <= Poles / 2; ++p) {
        double a[3], b[3] = {0, 0, 0};
        Section(p, CutOff, a, b);
        double ta[Poles + 3], tb[Poles + 3];
        std::copy(std::begin(A), std::end(A), ta);
        std::copy(std::begin(B), std::end(B), tb);
        for (int i = 2; i < Poles + 3; ++i) {
            A[i] = a[0] * ta[i] + a[1] * ta[i - 1] + a[2] * ta[i - 2];
            B[i] = tb[i] - b[1] * tb[i - 1] - b[2] * tb[i - 2];
        }
    }
    B[2] = 0;
    TCoefficients c;
    for (int i = 0; i <= Poles; ++i) {
        c.A[size_t(i)] = A[i + 2];
        c.B[size_t(i)] = -B[i + 2];
    }
    // Unity gain at 0 Hz.
    double sa = 0, sb = 0;
    for (int i = 0; i <= Poles; ++i) {
        sa += c.A[size_t(i)];
        sb += c.B[size_t(i)];
    }
    const double gain = sa / (1.0 - sb);
    for (double& a : c.A)
        a /= gain;
    return c;
}

int TFastResampler::GetBitsPerSample()
{
    if (!Input())
        throw EAuException("Input is not assigned");
    return TAuConverter::GetBitsPerSample();
}

int TFastResampler::GetChannels()
{
    if (!Input())
        throw EAuException("Input is not assigned");
    return TAuConverter::GetChannels();
}

int TFastResampler::GetSampleRate()
{
    if (!Input())
        throw EAuException("Input is not assigned");
    return int(FOutSampleRate);
}

void TFastResampler::DoInit()
{
    TAuInput* in = Input();
    if (!in)
        throw EAuException("Input is not assigned");
    FBusy = true;
    in->Init();
    const int bits = in->BitsPerSample();
    const int64_t inRate = in->SampleRate();
    const int64_t outRate = FOutSampleRate;
    FBytes = bits / 8;
    FChannels = in->Channels();
    FFrame = FBytes * FChannels;
    FPosition = 0;
    FWindowStart = FWindowEnd = 0;
    const int64_t inSize = in->Size();
    FSize = inSize;
    FPassThrough = inRate == outRate || FFrame <= 0;
    if (FPassThrough)
        return;
    const auto refuse = [&](const QString& Text) {
        FBusy = false;
        in->Flush();
        throw EAuException(Text);
    };
    FFiltered = inRate / BlocksPerSecond != outRate / BlocksPerSecond;
    if (FFiltered && (!SampleFormat::Supported(bits) || FChannels < 1))
        refuse(QStringLiteral("Cannot resample %1-bit samples").arg(bits));
    if (inRate < BlocksPerSecond || outRate < BlocksPerSecond)
        refuse(QStringLiteral("Cannot resample from %1 Hz to %2 Hz").arg(inRate).arg(outRate));
    const int64_t common = std::gcd(inRate, outRate);
    const int64_t i = inRate / common, o = outRate / common;
    FDen = 2 * o;
    FSrc = (i - 1) / FDen;
    FRem = (i - 1) % FDen;
    FSrcStep = 2 * i / FDen;
    FRemStep = 2 * i % FDen;
    FBlockStart = 0;
    // The frames j with a source frame below N: floor(N o / i + 1/2).
    if (inSize > 0)
        FSize = (2 * (inSize / FFrame) * o + i) / (2 * i) * FFrame;
    FBin = inRate / BlocksPerSecond;
    FCapacity = FBin * outRate / inRate + 2;
    FInBytes.assign(size_t(FBin * FFrame), 0);
    FBytesBuf.assign(size_t(FCapacity * FFrame), 0);
    if (!FFiltered)
        return;
    const double ratio = double(std::min(inRate, outRate)) / double(std::max(inRate, outRate));
    FCoef = DesignLowPass(CutOffShare * ratio / 2.0);
    FIn.assign(size_t(FBin * FChannels), 0.0f);
    FOut.assign(size_t(FCapacity * FChannels), 0.0f);
    FState.assign(size_t(FChannels * Passes), {});
}

void TFastResampler::DoFlush()
{
    if (TAuInput* in = Input())
        in->Flush();
    FInBytes = {};
    FBytesBuf = {};
    FIn = {};
    FOut = {};
    FState = {};
    FBusy = false;
}

namespace {

// One recursion's last inputs and outputs (newest first), held in locals while a block
// runs through it. T is a double, or a pair of doubles for the two channels of a stereo
// stream at once.
template <typename T>
struct TPassState {
    T x0, x1, x2, x3, y0, y1, y2, y3;

    T Step(const double* a, const double* b, T v)
    {
        // The term of the last output comes last, which keeps the recursion's own chain
        // short; the four passes then overlap in the processor.
        const T out = ((a[0] * v + a[1] * x0) + (a[2] * x1 + a[3] * x2))
                      + ((a[4] * x3 + b[4] * y3) + (b[3] * y2 + b[2] * y1)) + b[1] * y0;
        x3 = x2; x2 = x1; x1 = x0; x0 = v;
        y3 = y2; y2 = y1; y1 = y0; y0 = out;
        return out;
    }
};

using TPair = double __attribute__((vector_size(16)));


} // namespace

void TFastResampler::Filter(float* Frames, int Count)
{
    static_assert(Passes == 4, "the loops below run four passes");
    const double* a = FCoef.A.data();
    const double* b = FCoef.B.data();
    const size_t channels = size_t(FChannels);
    if (FilterLanes::Run(Frames, Count, channels, a, b, FState.data()))
        return;
    if (channels == 2) {
        TPassState<TPair> s[Passes];
        for (int p = 0; p < Passes; ++p) {
            const auto& l = FState[size_t(p)];
            const auto& r = FState[Passes + size_t(p)];
            s[p] = {TPair{l[0], r[0]}, TPair{l[1], r[1]}, TPair{l[2], r[2]}, TPair{l[3], r[3]},
                    TPair{l[4], r[4]}, TPair{l[5], r[5]}, TPair{l[6], r[6]}, TPair{l[7], r[7]}};
        }
        TPassState<TPair> s0 = s[0], s1 = s[1], s2 = s[2], s3 = s[3];
        for (int n = 0; n < Count; ++n) {
            float* v = Frames + 2 * size_t(n);
            const TPair out = s3.Step(a, b, s2.Step(a, b, s1.Step(a, b, s0.Step(a, b, TPair{v[0], v[1]}))));
            v[0] = float(out[0]);
            v[1] = float(out[1]);
        }
        s[0] = s0; s[1] = s1; s[2] = s2; s[3] = s3;
        for (int p = 0; p < Passes; ++p) {
            for (size_t c = 0; c < 2; ++c) {
                const TPassState<TPair>& t = s[p];
                FState[c * Passes + size_t(p)] = {t.x0[c], t.x1[c], t.x2[c], t.x3[c], t.y0[c], t.y1[c], t.y2[c], t.y3[c]};
            }
        }
        return;
    }
    for (size_t c = 0; c < channels; ++c) {
        TPassState<double> s[Passes];
        for (int p = 0; p < Passes; ++p) {
            const auto& st = FState[c * Passes + size_t(p)];
            s[p] = {st[0], st[1], st[2], st[3], st[4], st[5], st[6], st[7]};
        }
        TPassState<double> s0 = s[0], s1 = s[1], s2 = s[2], s3 = s[3];
        float* v = Frames + c;
        for (int n = 0; n < Count; ++n, v += channels)
            *v = float(s3.Step(a, b, s2.Step(a, b, s1.Step(a, b, s0.Step(a, b, *v)))));
        s[0] = s0; s[1] = s1; s[2] = s2; s[3] = s3;
        for (int p = 0; p < Passes; ++p)
            FState[c * Passes + size_t(p)] = {s[p].x0, s[p].x1, s[p].x2, s[p].x3, s[p].y0, s[p].y1, s[p].y2, s[p].y3};
    }
}

int TFastResampler::ReadBlock()
{
    bool end = false;
    const int got = Input()->FillBuffer(FInBytes.data(), int(FBin * FFrame), end);
    return got / FFrame;
}

uint32_t TFastResampler::ConvertBlock(int Frames, uint8_t* Out)
{
    const int64_t blockEnd = FBlockStart + Frames;
    int outCount = 0;
    if (!FFiltered) {
        for (; SourceFrame() < blockEnd; ++outCount, StepSource())
            std::memcpy(Out + size_t(outCount) * FFrame, FInBytes.data() + (SourceFrame() - FBlockStart) * FFrame, size_t(FFrame));
    } else {
        const size_t ch = size_t(FChannels);
        SampleFormat::ToFloat(FInBytes.data(), FBytes, size_t(Frames) * ch, FIn.data());
        const bool up = FSrcStep == 0;
        if (!up)
            Filter(FIn.data(), Frames);
        const float* from = FIn.data() - FBlockStart * int64_t(ch);
        float* to = FOut.data();
        if (FRemStep == 0 && FSrcStep > 0) {
            // A whole-number ratio down: every FSrcStep-th frame, no remainder to carry.
            const int64_t first = SourceFrame() - FBlockStart;
            const int64_t step = FSrcStep;
            outCount = first < Frames ? int((Frames - 1 - first) / step + 1) : 0;
            const float* src = FIn.data() + first * int64_t(ch);
            if (ch == 2) {
                for (int j = 0; j < outCount; ++j) {
                    to[2 * j] = src[2 * step * j];
                    to[2 * j + 1] = src[2 * step * j + 1];
                }
            } else {
                for (int j = 0; j < outCount; ++j)
                    std::copy_n(src + size_t(step * j) * ch, ch, to + size_t(j) * ch);
            }
            FSrc += int64_t(outCount) * step;
        } else if (ch == 1) {
            for (; SourceFrame() < blockEnd; ++outCount, StepSource())
                to[outCount] = from[SourceFrame()];
        } else if (ch == 2) {
            for (; SourceFrame() < blockEnd; ++outCount, StepSource()) {
                to[2 * outCount] = from[2 * SourceFrame()];
                to[2 * outCount + 1] = from[2 * SourceFrame() + 1];
            }
        } else {
            for (; SourceFrame() < blockEnd; ++outCount, StepSource())
                std::copy_n(from + SourceFrame() * int64_t(ch), ch, to + outCount * ch);
        }
        if (up)
            Filter(FOut.data(), outCount);
        SampleFormat::FromFloat(FOut.data(), size_t(outCount) * ch, FBytes, Out);
    }
    FBlockStart = blockEnd;
    return uint32_t(outCount * FFrame);
}

bool TFastResampler::NextBlock()
{
    const int frames = ReadBlock();
    if (frames == 0)
        return false;
    FWindowStart = 0;
    FWindowEnd = ConvertBlock(frames, FBytesBuf.data());
    return true;
}

void TFastResampler::DoGetData(void*& Buffer, uint32_t& Bytes)
{
    TAuInput* in = Input();
    if (FPassThrough && in) {
        in->GetData(Buffer, Bytes);
        return;
    }
    if (!FBusy || !in)
        throw EAuException("The Stream is not opened");
    // A block of a steep down-sampling may give no frame at all.
    while (FWindowStart >= FWindowEnd) {
        if (!NextBlock()) {
            Buffer = nullptr;
            Bytes = 0;
            return;
        }
    }
    Bytes = std::min(Bytes, FWindowEnd - FWindowStart);
    Buffer = FBytesBuf.data() + FWindowStart;
    FWindowStart += Bytes;
}
