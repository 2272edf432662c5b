#include "audio/AudioConverter.h"
#include "audio/SampleFormat.h"
#include <algorithm>
#include <cmath>
#include <cstring>

TAudioConverter::TAudioConverter(QObject* Owner) : TAuConverter(Owner) {}

TAudioConverter::~TAudioConverter() = default;

int TAudioConverter::GetBitsPerSample()
{
    if (const int bits = FOutBitsPerSample)
        return bits;
    return TAuConverter::GetBitsPerSample();
}

int TAudioConverter::GetChannels()
{
    TAuInput* in = Input();
    if (!in)
        return 0;
    const int inCh = in->Channels();
    const int outCh = FOutChannels;
    const auto monoOrStereo = [](int n) { return n == 1 || n == 2; };
    return monoOrStereo(outCh) && monoOrStereo(inCh) ? outCh : inCh;
}

int TAudioConverter::GetSampleRate()
{
    return TAuConverter::GetSampleRate();
}

void TAudioConverter::DoInit()
{
    TAuInput* in = Input();
    if (!in)
        throw EAuException("Input is not assigned");
    in->Init();
    FBusy = true;
    FPosition = 0;
    const int inBits = in->BitsPerSample();
    const int outBits = GetBitsPerSample();
    FInChannels = in->Channels();
    FOutChans = GetChannels();
    FInBytes = inBits / 8;
    FOutBytes = outBits / 8;
    FConvert = FOutBitsPerSample != 0 || FOutChannels != 0;
    if (FConvert && (!SampleFormat::Supported(inBits) || !SampleFormat::Supported(outBits) || FInChannels < 1)) {
        FBusy = false;
        in->Flush();
        throw EAuException(QStringLiteral("Cannot convert %1-bit samples to %2 bits").arg(inBits).arg(outBits));
    }
    const int64_t inSize = in->Size();
    if (inSize < 0) {
        FSize = -1;
    } else if (!FConvert) {
        FSize = inSize;
    } else {
        const int64_t outFrame = int64_t(FOutBytes) * FOutChans;
        const double bytes = std::nearbyint(double(inSize) * (outBits * FOutChans) / double(inBits * FInChannels));
        FSize = int64_t(bytes) / outFrame * outFrame;
    }
}

void TAudioConverter::DoFlush()
{
    if (TAuInput* in = Input())
        in->Flush();
    FIn = {};
    FOut = {};
    FFloats = {};
    FBusy = false;
}

void TAudioConverter::DoGetData(void*& Buffer, uint32_t& Bytes)
{
    TAuInput* in = Input();
    if (!in || !FBusy)
        throw EAuException("The Stream is not opened");
    if (!FConvert) {
        in->GetData(Buffer, Bytes);
        return;
    }
    const int inFrame = FInBytes * FInChannels;
    const size_t frames = Bytes / uint32_t(FOutBytes) / uint32_t(FOutChans);
    if (FIn.size() < frames * inFrame)
        FIn.resize(frames * inFrame);
    // One read; a partial last frame is completed so that no sample is split.
    int got = frames > 0 ? in->CopyData(FIn.data(), int(frames * inFrame)) : 0;
    while (got % inFrame != 0) {
        const int n = in->CopyData(FIn.data() + got, inFrame - got % inFrame);
        if (n == 0)
            break;
        got += n;
    }
    const size_t g = size_t(got / inFrame);
    if (g == 0) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    const size_t values = g * size_t(std::max(FInChannels, FOutChans));
    if (FFloats.size() < values)
        FFloats.resize(values);
    if (FOut.size() < g * FOutBytes * FOutChans)
        FOut.resize(g * FOutBytes * FOutChans);
    float* f = FFloats.data();
    SampleFormat::ToFloat(FIn.data(), FInBytes, g * FInChannels, f);
    if (FInChannels == 1 && FOutChans == 2) {
        for (size_t i = g; i-- > 0;)
            f[2 * i] = f[2 * i + 1] = f[i];
    } else if (FInChannels == 2 && FOutChans == 1) {
        for (size_t i = 0; i < g; ++i)
            f[i] = (f[2 * i] + f[2 * i + 1]) / 2.0f;
    }
    SampleFormat::FromFloat(f, g * FOutChans, FOutBytes, FOut.data());
    Buffer = FOut.data();
    Bytes = uint32_t(g * FOutBytes * FOutChans);
}
