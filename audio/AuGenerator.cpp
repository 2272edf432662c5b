#include "audio/AuGenerator.h"
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>

namespace {

// The pattern repeats every PatternPeriod bytes, so it is served from one table without
// copying; a block may start anywhere in the first period and run into the tail.
constexpr int64_t PatternPeriod = 65536;
constexpr uint32_t MaxBlock = 1 << 20;

const std::vector<uint8_t>& PatternTable()
{
    static const std::vector<uint8_t> table = [] {
        std::vector<uint8_t> t(size_t(PatternPeriod + MaxBlock));
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = TAuGenerator::PatternByte(int64_t(i));
        return t;
    }();
    return table;
}

} // namespace

TAuGenerator::TAuGenerator(QObject* Owner) : TAuInput(Owner)
{
    PatternTable();
}

TAuGenerator::~TAuGenerator()
{
    ReleaseReaders();
}

void TAuGenerator::SetFormat(int BitsPerSample, int Channels, int SampleRate)
{
    FBits = BitsPerSample;
    FChannels = Channels;
    FRate = SampleRate;
}

void TAuGenerator::SetTone(double Frequency, double Amplitude)
{
    FFrequency = Frequency;
    FAmplitude = std::clamp(Amplitude, 0.0, 1.0);
}

void TAuGenerator::SetThrowAtByte(int64_t Offset, const QString& Message)
{
    FThrowAt = Offset;
    FThrowMessage = Message;
}

int TAuGenerator::GetTotalTime()
{
    const int64_t perSecond = int64_t(FRate) * FChannels * (FBits / 8);
    return FGeneratedSize > 0 && perSecond > 0 ? int(FGeneratedSize / perSecond) : 0;
}

int64_t TAuGenerator::GetTotalSamples()
{
    const int frame = FChannels * FBits / 8;
    return FGeneratedSize > 0 && frame > 0 ? FGeneratedSize / frame : -1;
}

void TAuGenerator::DoInit()
{
    ++FInitCount;
    if (!FInitError.isEmpty())
        throw EAuException(FInitError);
    FSize = FGeneratedSize.load();
    FPosition = 0;
    FSourcePos = 0;
    FSampleSize = uint16_t(std::max(1, FChannels * FBits / 8));
    FBusy = true;
}

void TAuGenerator::DoFlush()
{
    ++FFlushCount;
    FBusy = false;
}

void TAuGenerator::DoGetData(void*& Buffer, uint32_t& Bytes)
{
    if (!FBusy)
        throw EAuException("The Stream is not opened");
    if (FDelayUs > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(FDelayUs));
    const int64_t pos = FSourcePos;
    uint32_t n = std::min(Bytes, MaxBlock);
    if (FBlockLimit > 0)
        n = std::min(n, FBlockLimit.load());
    if (FGeneratedSize >= 0)
        n = uint32_t(std::clamp<int64_t>(FGeneratedSize - pos, 0, n));
    if (FThrowAt >= 0 && pos + n > FThrowAt) {
        if (pos >= FThrowAt)
            throw EAuException(FThrowMessage);
        n = uint32_t(FThrowAt - pos);     // deliver up to the failing byte first
    }
    Bytes = n;
    if (n == 0) {
        Buffer = nullptr;
        return;
    }
    if (FWaveform == TWaveform::Pattern) {
        Buffer = const_cast<uint8_t*>(PatternTable().data() + pos % PatternPeriod);
    } else {
        if (FBuffer.size() < n)
            FBuffer.resize(n);
        FillTone(FBuffer.data(), n, pos);
        Buffer = FBuffer.data();
    }
    FSourcePos += n;
    FPosition += n;     // a plain input counts its own Position
}

void TAuGenerator::FillTone(uint8_t* Out, uint32_t Bytes, int64_t Offset)
{
    const int bytesPerSample = std::max(1, FBits / 8);
    const int channels = std::max(1, FChannels.load());
    const int64_t frameSize = int64_t(bytesPerSample) * channels;
    const double full = bytesPerSample == 1 ? 127.0 : std::ldexp(1.0, FBits - 1) - 1.0;
    for (uint32_t i = 0; i < Bytes;) {
        const int64_t abs = Offset + i;
        const int64_t frame = abs / frameSize;
        const int inSample = int(abs % int64_t(bytesPerSample));
        double v = 0.0;
        if (FWaveform == TWaveform::Sine)
            v = FAmplitude * std::sin(2.0 * std::numbers::pi * FFrequency * double(frame) / FRate);
        int64_t s = std::llround(v * full);
        if (bytesPerSample == 1)
            s += 128;
        // Emit the rest of this sample's little-endian bytes.
        for (int b = inSample; b < bytesPerSample && i < Bytes; ++b, ++i)
            Out[i] = uint8_t(uint64_t(s) >> (8 * b));
    }
}
