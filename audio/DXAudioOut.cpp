#include "audio/DXAudioOut.h"
#include "audio/AuConverter.h"
#include "audio/AuFileIn.h"
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

constexpr uint32_t MinLatencyMs = 10;
// Space is looked for this many times before the card is taken for dead.
constexpr int MaxSpacePolls = 16;
// Longest single sleep, so that a stop is seen promptly.
constexpr int SleepSliceMs = 5;
// The play-out after the input's end polls at least this often...
constexpr uint32_t MaxDrainPollMs = 100;
// ...and gives up this long after the buffer's length.
constexpr uint32_t DrainGraceMs = 200;

} // namespace

TDXAudioOut::TDXAudioOut(QObject* Owner) : TAuOutput(Owner) {}

TDXAudioOut::~TDXAudioOut()
{
    Stop(false);
    FWrapper.Close();
}

void TDXAudioOut::SetFramesInBuffer(uint32_t Value)
{
    if (!Busy())
        FFramesInBuffer = Value;
}

void TDXAudioOut::SetVolume(int Value)
{
    FVolume = std::clamp(Value, -10000, 0);
    if (FWrapper.BufferOpen())
        FWrapper.SetVolume(FVolume);
}

TOutputEvent TDXAudioOut::OnUnderrun() const
{
    std::lock_guard lock(FEventLock);
    return FOnUnderrun;
}

void TDXAudioOut::SetOnUnderrun(TOutputEvent Handler)
{
    std::lock_guard lock(FEventLock);
    FOnUnderrun = std::move(Handler);
}

QString TDXAudioOut::DeviceDescription(int Index) const
{
    const auto& devices = FSession.Devices();
    return Index >= 0 && Index < devices.size() ? devices[Index].Description : QString();
}

void TDXAudioOut::Pause()
{
    TAuOutput::Pause();
    // Also after the input's end: the buffer may still be playing out.
    FWrapper.Stop();
}

void TDXAudioOut::Resume()
{
    if (Status() != tosPaused)
        return;
    // Before the first step the buffer has not been started; the first step starts it.
    if (!FFirstStep)
        FWrapper.Restart();
    TAuOutput::Resume();
}

void TDXAudioOut::Jump(int Offset)
{
    const bool wasPaused = Status() == tosPaused;
    Pause();
    // Before the first step the buffer is empty, and the first step fills it.
    if (!FFirstStep)
        FWrapper.FillSilence();
    if (TAuInput* in = Input()) {
        in->ClearBuffer();
        if (auto* converter = dynamic_cast<TAuConverter*>(in))
            JumpChain(converter, Offset);
        else if (auto* file = dynamic_cast<TAuFileIn*>(in))
            file->Jump(Offset);
    }
    if (!wasPaused)
        Resume();
}

void TDXAudioOut::Prepare()
{
    FDone = false;
    const int device = FDeviceNumber;
    if (device < 0 || device >= DeviceCount())
        throw EAuException("Invalid device number");
    TAuInput* in = Input();
    in->Init();
    FChannels = in->Channels();
    FSampleRate = in->SampleRate();
    FBitsPerSample = in->BitsPerSample();
    const float speed = FSpeedFactor;
    if (speed != 1.0f) {
        const double rate = double(FSampleRate) * double(speed);
        // Not a rate at all (NaN, zero, negative, absurd) fails the format check below.
        FSampleRate = std::isfinite(rate) && rate > 0 && rate <= 2.0 * TDSWrapper::MaxRate
                          ? int(std::lround(rate)) : 0;
    }
    const uint32_t rate = uint32_t(std::max(FSampleRate, 0));
    if (uint32_t latency = FLatency; latency != 0) {
        latency = std::max(latency, MinLatencyMs);
        FLatency = latency;
        FFramesInBuffer = uint32_t(std::min<uint64_t>(uint64_t(latency) * rate / 1000, UINT32_MAX));
        FPollingInterval = latency / 3;
    } else {
        // A buffer of (almost) nothing or a polling interval of 0 cannot be run: the
        // refill would divide by zero or give up at once.
        const uint32_t minFrames = MinLatencyMs * rate / 1000;
        if (FFramesInBuffer < minFrames)
            FFramesInBuffer = minFrames;
        if (FPollingInterval == 0)
            FPollingInterval = 1;
    }

    FWrapper.Init();
    if (FWrapper.OpenDevice(FSession.Devices()[device]) != DSResult::Ok)
        throw EAuException("Failed to create DirectSound device");
    auto bufferError = [](uint32_t result) {
        return EAuException(QStringLiteral("Failed to create DirectSound buffer")
                            + QStringLiteral("%1").arg(result, 8, 16, QLatin1Char('0')).toUpper());
    };
    if (const uint32_t r = TDSWrapper::CheckFormat(FBitsPerSample, FChannels, FSampleRate); r != DSResult::Ok)
        throw bufferError(r);
    const uint32_t frames = FFramesInBuffer;
    const uint32_t period = TDSWrapper::PeriodFrames(frames, FPollingInterval, FSampleRate);
    if (const uint32_t r = FWrapper.OpenBuffer(FBitsPerSample, FChannels, FSampleRate, frames, period);
        r != DSResult::Ok)
        throw bufferError(r);
    FFrameBytes = FWrapper.Ring().BytesPerFrame();
    FBufferSize = FWrapper.Ring().Size();
    FTransfer.assign(FBufferSize, 0);
    FCarry.clear();
    FDataEnd = 0;
    FDrainedMs = 0;
    FDrainStarted = false;
    FFirstStep = true;
    FEndOfInput = false;
    FLastUnderrun = 0;
}

bool TDXAudioOut::PollPause(uint32_t Ms)
{
    QElapsedTimer timer;
    timer.start();
    if (FPrefetchData) {
        // Read ahead a quarter more than one interval takes, so decoding stays out of the
        // refill.
        uint64_t bytes = uint64_t(Ms) * uint64_t(FSampleRate) / 1000 * FFrameBytes;
        bytes += bytes / 4;
        bytes -= bytes % std::max<uint32_t>(FFrameBytes, 1);
        if (bytes > 0)
            Input()->Prefetch(uint32_t(std::min<uint64_t>(bytes, UINT32_MAX / 2)));
    }
    for (;;) {
        if (Stopped())
            return false;
        const int64_t left = int64_t(Ms) - timer.elapsed();
        if (left <= 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, SleepSliceMs)));
    }
}

bool TDXAudioOut::WaitForSpace(uint32_t& Free)
{
    for (int attempt = 0; attempt < MaxSpacePolls; ++attempt) {
        if (!PollPause(FPollingInterval))
            return false;
        Free = FWrapper.QuerySpace();
        Free -= Free % FFrameBytes;
        if (Free > 0)
            return true;
    }
    throw EAuException("Audio output error");
}

void TDXAudioOut::WriteData(const uint8_t* Data, uint32_t Bytes)
{
    // Whole frames only: an input may hand over a frame in two pieces.
    if (!FCarry.empty()) {
        const uint32_t take = std::min<uint32_t>(Bytes, FFrameBytes - uint32_t(FCarry.size()));
        FCarry.insert(FCarry.end(), Data, Data + take);
        Data += take;
        Bytes -= take;
        if (FCarry.size() == FFrameBytes) {
            FWrapper.WriteBlock(FCarry.data(), FFrameBytes);
            FCarry.clear();
        }
    }
    // The caller asks for no more than the free space, which only grows meanwhile.
    const uint32_t whole = Bytes - Bytes % FFrameBytes;
    FWrapper.WriteBlock(Data, whole);
    FCarry.assign(Data + whole, Data + Bytes);
    FDataEnd = FWrapper.Ring().WriteOffset();
}

bool TDXAudioOut::DoOutput(bool Abort)
{
    TAuInput* in = Input();
    if (FFirstStep) {
        bool ended = false;
        const int got = in->FillBuffer(FTransfer.data(), int(FBufferSize), ended);
        WriteData(FTransfer.data(), uint32_t(std::max(got, 0)));
        FEndOfInput = ended;
        if (ended)
            FWrapper.FillSilence();
        FWrapper.SetVolume(FVolume);
        FWrapper.Start();
        FFirstStep = false;
    }
    if (Abort) {
        FWrapper.Stop();
        return false;
    }
    if (FEndOfInput)
        return DrainStep();

    uint32_t free = 0;
    try {
        if (!WaitForSpace(free))
            return true;             // stop requested: the next step aborts
    } catch (const EAuException& e) {
        FWrapper.Stop();
        SetExceptionMessage(e.Message());
        PostEvent(OnThreadException());
        return false;
    }
    const uint32_t want = std::min(free, FBufferSize);
    void* data = nullptr;
    uint32_t bytes = 0;
    if (FPrefetchData) {
        bytes = want;
        in->GetData(data, bytes);
    } else {
        bool ended = false;
        bytes = uint32_t(std::max(in->FillBuffer(FTransfer.data(), int(want), ended), 0));
        data = FTransfer.data();
    }
    FEndOfInput = bytes == 0;
    if (bytes > 0)
        WriteData(static_cast<const uint8_t*>(data), bytes);
    if (FEndOfInput)
        FWrapper.FillSilence();

    const uint32_t underruns = FWrapper.UnderrunCount();
    if (underruns != FLastUnderrun) {
        FLastUnderrun = underruns;
        FWrapper.Stop();
        FWrapper.FillSilence();
        PostEvent(OnUnderrun());
        FWrapper.Restart();
    }
    return true;
}

// One poll of the play-out after the input's end: the buffer is stopped once everything
// written has been handed to the card and one more callback period has followed (so the
// card has played it), or when that does not happen within the buffer's length and a
// little more.
bool TDXAudioOut::DrainStep()
{
    const uint64_t bytesPerSecond = uint64_t(FSampleRate) * FFrameBytes;
    const uint32_t limitMs = uint32_t((uint64_t(FBufferSize) * 1000 + bytesPerSecond - 1)
                                      / std::max<uint64_t>(bytesPerSecond, 1)) + DrainGraceMs;
    TDSRing& ring = FWrapper.Ring();
    if (ring.PlayCursor() >= FDataEnd + ring.PeriodBytes() || FDrainedMs >= limitMs) {
        FWrapper.Stop();
        return false;
    }
    const uint32_t poll = std::clamp<uint32_t>(FPollingInterval, 1, MaxDrainPollMs);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < poll) {
        if (Stopped())
            return true;             // the next step aborts
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(poll - timer.elapsed(), SleepSliceMs)));
    }
    FWrapper.FillSilence();
    FDrainedMs += poll;
    return true;
}

void TDXAudioOut::Done()
{
    if (!FDone) {
        FWrapper.Close();
        FTransfer.clear();
        FTransfer.shrink_to_fit();
        FCarry.clear();
    }
    if (TAuInput* in = Input())
        in->Flush();
    FDone = true;
}
