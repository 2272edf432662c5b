#include "platform/DSWrapper.h"
#include <SDL.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// SDL's audio entry points (init, quit, listing, open, close) are called under this lock:
// components are created on the main thread while workers open and close devices.
std::mutex& SdlLock()
{
    static std::mutex lock;
    return lock;
}

// Description of the default output, as the system's device list names it.
const char* const DefaultDeviceDescription = "Primary Sound Driver";

constexpr int VolumeMin = -10000;
constexpr int VolumeMax = 0;
constexpr int DecibelHundredthsPerDecade = 2000;   // gain = 10^(v/2000)
// Largest ring we allocate; anything above is a setting no card could take.
constexpr uint64_t MaxRingBytes = uint64_t(1) << 28;
constexpr uint32_t MinPeriodFrames = 16;
constexpr uint32_t MaxPeriodFrames = 32768;        // SDL's period is a 16-bit count
// SDL takes two to three periods to close a device, so a period of a long buffer would
// make every stop slow: no period lasts longer than this.
constexpr uint32_t MaxPeriodMs = 50;

template <typename T>
T Load(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void Store(uint8_t* p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

template <typename T>
T Scale(T v, double gain)
{
    return T(std::lrint(double(v) * gain));
}

} // namespace

// ---- device list --------------------------------------------------------------------------

TDSAudioSession::TDSAudioSession()
{
    std::lock_guard lock(SdlLock());
    // Without this SDL takes over SIGINT and SIGTERM for its event queue.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_APP_NAME, "VarnelCD");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return;
    FStarted = true;
    const int count = SDL_GetNumAudioDevices(0);
    if (count == 0)
        return;
    FDevices.append({QString(), QString::fromLatin1(DefaultDeviceDescription)});
    for (int i = 0; i < count && FDevices.size() < MaxDevices; ++i) {
        const char* name = SDL_GetAudioDeviceName(i, 0);
        if (!name)
            continue;
        const QString full = QString::fromUtf8(name);
        FDevices.append({full, full.left(MaxDescription)});
    }
}

TDSAudioSession::~TDSAudioSession()
{
    if (!FStarted)
        return;
    std::lock_guard lock(SdlLock());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// ---- ring ---------------------------------------------------------------------------------

void TDSRing::Open(int Bits, int Channels, uint32_t SizeBytes, uint32_t PeriodFrames)
{
    std::lock_guard lock(FLock);
    FBits = Bits;
    FFrameBytes = uint32_t(Channels * Bits / 8);
    FOutFrameBytes = uint32_t(Channels * (Bits == 24 ? 4 : Bits / 8));
    FSize = SizeBytes / FFrameBytes * FFrameBytes;
    // The part the card holds must leave room to write.
    const uint32_t frames = FSize / FFrameBytes;
    FPeriodFrames = std::max<uint32_t>(1, std::min(PeriodFrames, frames / 2));
    FSilence = Bits == 8 ? 128 : 0;
    FData.assign(FSize, FSilence);
    FPlay = 0;
    FWrite = 0;
    FUnderruns = 0;
    FPlaying = false;
    FGain = 1.0;
}

void TDSRing::Close()
{
    std::lock_guard lock(FLock);
    FData.clear();
    FData.shrink_to_fit();
    FSize = 0;
    FPlaying = false;
}

void TDSRing::Consume(uint8_t* Out, uint32_t OutBytes)
{
    std::lock_guard lock(FLock);
    uint32_t outPos = 0;
    if (FSize > 0 && FOutFrameBytes > 0) {
        uint32_t left = OutBytes / FOutFrameBytes * FFrameBytes;
        const int sampleBytes = FBits / 8;
        while (left > 0) {
            const uint32_t at = uint32_t(FPlay % FSize);
            const uint32_t n = std::min(left, FSize - at);
            const uint8_t* src = FData.data() + at;
            uint8_t* dst = Out + outPos;
            const uint32_t samples = n / uint32_t(sampleBytes);
            if (FBits == 24) {
                for (uint32_t i = 0; i < samples; ++i, src += 3, dst += 4) {
                    int32_t v = int32_t(uint32_t(src[0]) << 8 | uint32_t(src[1]) << 16 | uint32_t(src[2]) << 24);
                    if (FGain != 1.0)
                        v = Scale(v, FGain);
                    Store(dst, v);
                }
            } else if (FGain == 1.0) {
                std::memcpy(dst, src, n);
            } else if (FBits == 8) {
                for (uint32_t i = 0; i < samples; ++i)
                    dst[i] = uint8_t(std::clamp(Scale(int(src[i]) - 128, FGain) + 128, 0, 255));
            } else if (FBits == 16) {
                for (uint32_t i = 0; i < samples; ++i)
                    Store(dst + 2 * i, Scale(Load<int16_t>(src + 2 * i), FGain));
            } else {
                for (uint32_t i = 0; i < samples; ++i)
                    Store(dst + 4 * i, Scale(Load<int32_t>(src + 4 * i), FGain));
            }
            // What was played is gone: a writer that falls behind leaves silence here.
            std::memset(FData.data() + at, FSilence, n);
            outPos += n / FFrameBytes * FOutFrameBytes;
            FPlay += n;
            left -= n;
        }
    }
    if (outPos < OutBytes)
        std::memset(Out + outPos, FBits == 8 ? 128 : 0, OutBytes - outPos);
}

uint32_t TDSRing::CatchUp()
{
    if (FSize == 0)
        return 0;
    const uint64_t writeCursor = FPlay + (FPlaying ? uint64_t(FPeriodFrames) * FFrameBytes : 0);
    if (FWrite < writeCursor) {
        // The card got to data that was never written (it played silence there).
        if (FPlaying)
            ++FUnderruns;
        FWrite = writeCursor;
    }
    return FSize - uint32_t(FWrite - FPlay);
}

uint32_t TDSRing::QuerySpace()
{
    std::lock_guard lock(FLock);
    return CatchUp();
}

uint32_t TDSRing::WriteBlock(const void* Data, uint32_t Bytes)
{
    std::lock_guard lock(FLock);
    const uint32_t free = CatchUp();
    uint32_t n = std::min(Bytes, free);
    n -= n % std::max<uint32_t>(1, FFrameBytes);
    const auto* src = static_cast<const uint8_t*>(Data);
    uint32_t done = 0;
    while (done < n) {
        const uint32_t at = uint32_t((FWrite + done) % FSize);
        const uint32_t piece = std::min(n - done, FSize - at);
        std::memcpy(FData.data() + at, src + done, piece);
        done += piece;
    }
    FWrite += n;
    return n;
}

uint32_t TDSRing::FillSilence()
{
    std::lock_guard lock(FLock);
    const uint32_t free = CatchUp();
    uint32_t done = 0;
    while (done < free) {
        const uint32_t at = uint32_t((FWrite + done) % FSize);
        const uint32_t piece = std::min(free - done, FSize - at);
        std::memset(FData.data() + at, FSilence, piece);
        done += piece;
    }
    FWrite += free;
    return free;
}

void TDSRing::SetPlaying(bool Value)
{
    std::lock_guard lock(FLock);
    FPlaying = Value;
}

void TDSRing::SetVolume(int Value)
{
    const int v = std::clamp(Value, VolumeMin, VolumeMax);
    std::lock_guard lock(FLock);
    FGain = v <= VolumeMin ? 0.0 : std::pow(10.0, double(v) / DecibelHundredthsPerDecade);
}

bool TDSRing::Playing() const
{
    std::lock_guard lock(FLock);
    return FPlaying;
}

uint64_t TDSRing::PlayCursor() const
{
    std::lock_guard lock(FLock);
    return FPlay;
}

uint64_t TDSRing::WriteCursor() const
{
    std::lock_guard lock(FLock);
    return FPlay + (FPlaying ? uint64_t(FPeriodFrames) * FFrameBytes : 0);
}

uint64_t TDSRing::WriteOffset() const
{
    std::lock_guard lock(FLock);
    return FWrite;
}

uint32_t TDSRing::UnderrunCount() const
{
    std::lock_guard lock(FLock);
    return FUnderruns;
}

uint32_t TDSRing::Size() const
{
    std::lock_guard lock(FLock);
    return FSize;
}

uint32_t TDSRing::BytesPerFrame() const
{
    std::lock_guard lock(FLock);
    return FFrameBytes;
}

uint32_t TDSRing::PeriodBytes() const
{
    std::lock_guard lock(FLock);
    return FPeriodFrames * FFrameBytes;
}

uint8_t TDSRing::SilenceByte() const
{
    std::lock_guard lock(FLock);
    return FSilence;
}

// ---- wrapper ------------------------------------------------------------------------------

namespace {

void RingCallback(void* UserData, Uint8* Stream, int Len)
{
    static_cast<TDSRing*>(UserData)->Consume(Stream, uint32_t(std::max(Len, 0)));
}

} // namespace

TDSWrapper::~TDSWrapper()
{
    Close();
}

void TDSWrapper::Init()
{
    Close();
    std::lock_guard lock(FDeviceLock);
    FDeviceName.clear();
    FDeviceSelected = false;
    FSampleRate = 0;
}

uint32_t TDSWrapper::OpenDevice(const TDSDevice& Device)
{
    std::lock_guard lock(FDeviceLock);
    if (!FExternalConsumer) {
        std::lock_guard sdl(SdlLock());
        if (!SDL_WasInit(SDL_INIT_AUDIO))
            return DSResult::NoDriver;
    }
    FDeviceName = Device.Name;
    FDeviceSelected = true;
    return DSResult::Ok;
}

uint32_t TDSWrapper::CheckFormat(int Bits, int Channels, int SampleRate)
{
    const bool bitsOk = Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32;
    if (!bitsOk || Channels < 1 || Channels > MaxChannels || SampleRate < MinRate || SampleRate > MaxRate)
        return DSResult::BadFormat;
    return DSResult::Ok;
}

uint32_t TDSWrapper::PeriodFrames(uint32_t Frames, uint32_t PollingMs, int SampleRate)
{
    const uint64_t pollFrames = uint64_t(PollingMs) * uint64_t(std::max(SampleRate, 0)) / 1000;
    const uint64_t capFrames = uint64_t(MaxPeriodMs) * uint64_t(std::max(SampleRate, 0)) / 1000;
    const uint64_t limit = std::min<uint64_t>({Frames / 4, pollFrames, capFrames, MaxPeriodFrames});
    uint32_t period = MinPeriodFrames;
    while (uint64_t(period) * 2 <= limit)
        period *= 2;
    return period;
}

uint32_t TDSWrapper::OpenBuffer(int Bits, int Channels, int SampleRate, uint32_t Frames, uint32_t PeriodFrames)
{
    Close();
    std::lock_guard lock(FDeviceLock);
    if (!FDeviceSelected)
        return DSResult::Failed;
    if (const uint32_t r = CheckFormat(Bits, Channels, SampleRate); r != DSResult::Ok)
        return r;
    const uint64_t bytes = uint64_t(Frames) * uint64_t(Channels) * uint64_t(Bits / 8);
    if (bytes == 0)
        return DSResult::BadFormat;
    if (bytes > MaxRingBytes)
        return DSResult::OutOfMemory;
    FRing.Open(Bits, Channels, uint32_t(bytes), PeriodFrames);
    if (!FExternalConsumer) {
        SDL_AudioSpec want{};
        want.freq = SampleRate;
        want.format = Bits == 8 ? AUDIO_U8 : Bits == 16 ? AUDIO_S16LSB : AUDIO_S32LSB;
        want.channels = Uint8(Channels);
        want.samples = Uint16(FRing.PeriodBytes() / FRing.BytesPerFrame());
        want.callback = RingCallback;
        want.userdata = &FRing;
        SDL_AudioSpec have{};
        const QByteArray name = FDeviceName.toUtf8();
        const QByteArray stream = FStreamName.toUtf8();
        std::lock_guard sdl(SdlLock());
        // A hint is global: set (or reset) for every device this opens.
        SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, stream.isEmpty() ? nullptr : stream.constData());
        // No changes allowed: SDL converts, so the callback gets exactly this format.
        FDeviceId = SDL_OpenAudioDevice(FDeviceName.isEmpty() ? nullptr : name.constData(), 0,
                                        &want, &have, 0);
        if (FDeviceId == 0) {
            std::fprintf(stderr, "varnelcd: sound output: %s\n", SDL_GetError());
            FRing.Close();
            return DSResult::Failed;
        }
    }
    FBufferOpen = true;
    FSampleRate = SampleRate;
    return DSResult::Ok;
}

void TDSWrapper::SetStreamName(const QString& Name)
{
    std::lock_guard lock(FDeviceLock);
    FStreamName = Name;
}

uint32_t TDSWrapper::Start()
{
    return Restart();
}

uint32_t TDSWrapper::Stop()
{
    std::lock_guard lock(FDeviceLock);
    if (!FBufferOpen)
        return DSResult::Ok;
    // Paused first: once SDL returns, no callback runs until the next restart.
    if (FDeviceId != 0)
        SDL_PauseAudioDevice(FDeviceId, 1);
    FRing.SetPlaying(false);
    return DSResult::Ok;
}

uint32_t TDSWrapper::Restart()
{
    std::lock_guard lock(FDeviceLock);
    if (!FBufferOpen)
        return DSResult::Failed;
    FRing.SetPlaying(true);
    if (FDeviceId != 0)
        SDL_PauseAudioDevice(FDeviceId, 0);
    return DSResult::Ok;
}

uint32_t TDSWrapper::SetVolume(int Value)
{
    FRing.SetVolume(Value);
    return DSResult::Ok;
}

void TDSWrapper::Close()
{
    std::lock_guard lock(FDeviceLock);
    if (FDeviceId != 0) {
        std::lock_guard sdl(SdlLock());
        SDL_CloseAudioDevice(FDeviceId);
        FDeviceId = 0;
    }
    if (FBufferOpen)
        FRing.Close();
    FBufferOpen = false;
}

bool TDSWrapper::BufferOpen() const
{
    std::lock_guard lock(FDeviceLock);
    return FBufferOpen;
}
