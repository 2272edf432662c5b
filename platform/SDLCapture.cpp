#include "platform/SDLCapture.h"
#include <SDL.h>
#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

// Opening and closing capture devices: the recorder opens them on the main thread only,
// but two recorders (a test, a window) must not interleave SDL's device tables.
std::mutex& CaptureLock()
{
    static std::mutex lock;
    return lock;
}

void CaptureCallback(void* UserData, Uint8* Stream, int Len)
{
    static_cast<TSDLCapture*>(UserData)->Captured(Stream, Len);
}

// About 50 ms per block: the reader sees data soon after it is captured.
uint16_t BlockFrames(int SampleRate)
{
    uint16_t frames = 256;
    while (frames < 8192 && frames * 20 < SampleRate)
        frames = uint16_t(frames * 2);
    return frames;
}

} // namespace

TSDLCapture::TSDLCapture() = default;

TSDLCapture::~TSDLCapture()
{
    Close();
}

bool TSDLCapture::Open(int Bits, int Channels, int SampleRate)
{
    Close();
    FError.clear();
    if ((Bits != 8 && Bits != 16) || Channels < 1 || Channels > 2 || SampleRate < TDSWrapper::MinRate
        || SampleRate > TDSWrapper::MaxRate) {
        FError = QStringLiteral("The input cannot record in this format.");
        return false;
    }
    if (!FSession.Started()) {
        FError = QString::fromUtf8(SDL_GetError());
        return false;
    }
    {
        std::lock_guard lock(FLock);
        FQueue.clear();
        FHead = 0;
        FQueued = 0;
        FDropped = 0;
        FWake = false;
    }
    FFrameBytes = uint32_t(Bits / 8 * Channels);
    SDL_AudioSpec want{};
    want.freq = SampleRate;
    want.format = Bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = Uint8(Channels);
    want.samples = BlockFrames(SampleRate);
    want.callback = CaptureCallback;
    want.userdata = this;
    SDL_AudioSpec have{};
    std::lock_guard lock(CaptureLock());
    // No changes allowed: SDL converts whatever the input gives into the file's format.
    FDeviceId = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0);
    if (FDeviceId == 0) {
        FError = QString::fromUtf8(SDL_GetError());
        return false;
    }
    {
        std::lock_guard q(FLock);
        FOpen = true;
    }
    SDL_PauseAudioDevice(FDeviceId, 0);
    return true;
}

void TSDLCapture::Close()
{
    if (FDeviceId != 0) {
        std::lock_guard lock(CaptureLock());
        SDL_CloseAudioDevice(FDeviceId);      // returns after the last callback
        FDeviceId = 0;
    }
    std::lock_guard q(FLock);
    FOpen = false;
    FReady.notify_all();
}

bool TSDLCapture::IsOpen() const
{
    std::lock_guard lock(FLock);
    return FOpen;
}

void TSDLCapture::Captured(const uint8_t* Data, int Len)
{
    if (Len <= 0)
        return;
    std::lock_guard lock(FLock);
    FQueue.emplace_back(Data, Data + Len);
    FQueued += uint64_t(Len);
    while (FQueued > MaxQueuedBytes && FQueue.size() > 1) {
        const size_t lost = FQueue.front().size() - FHead;
        FQueued -= lost;
        FDropped += lost;
        FQueue.pop_front();
        FHead = 0;
    }
    FReady.notify_all();
}

uint32_t TSDLCapture::Read(uint8_t* Out, uint32_t MaxBytes, int TimeoutMs)
{
    MaxBytes -= MaxBytes % FFrameBytes;
    std::unique_lock lock(FLock);
    FReady.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                    [this] { return FQueued >= FFrameBytes || !FOpen || FWake; });
    FWake = false;
    // Whole frames only: a block boundary inside a frame waits for the next block.
    const uint64_t take = std::min<uint64_t>(MaxBytes, FQueued - FQueued % FFrameBytes);
    uint32_t done = 0;
    while (done < take) {
        std::vector<uint8_t>& front = FQueue.front();
        const size_t n = std::min<size_t>(take - done, front.size() - FHead);
        std::memcpy(Out + done, front.data() + FHead, n);
        done += uint32_t(n);
        FHead += n;
        if (FHead == front.size()) {
            FQueue.pop_front();
            FHead = 0;
        }
    }
    FQueued -= done;
    return done;
}

void TSDLCapture::Wake()
{
    std::lock_guard lock(FLock);
    FWake = true;
    FReady.notify_all();
}

bool TSDLCapture::Drained() const
{
    std::lock_guard lock(FLock);
    return !FOpen && FQueued < FFrameBytes;
}

uint64_t TSDLCapture::DroppedBytes() const
{
    std::lock_guard lock(FLock);
    return FDropped;
}
