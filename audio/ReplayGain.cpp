#include "audio/ReplayGain.h"

#include "audio/AuException.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

struct TReplayGain::TLoudness {
    ebur128_state* State = nullptr;
};

void TReplayGain::TLoudnessDeleter::operator()(TLoudness* loudness) const
{
    if (loudness->State)
        ebur128_destroy(&loudness->State);
    delete loudness;
}

TReplayGain::TReplayGain(unsigned channels, unsigned long rate)
    : FChannels(std::max(1u, channels)), FRate(rate)
{
}

struct TReplayGain::TFeeder {
    static constexpr size_t MaxQueued = 16 << 20;   // bytes: the caller waits beyond this
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<std::vector<char>> Queue;             // guarded by Lock, as the four below
    size_t Queued = 0;
    bool Busy = false;
    bool Quit = false;
    std::exception_ptr Error;
    std::thread Thread;
};

TReplayGain::~TReplayGain()
{
    if (!FFeeder)
        return;
    {
        std::lock_guard lock(FFeeder->Lock);
        FFeeder->Quit = true;
    }
    FFeeder->Changed.notify_all();
    FFeeder->Thread.join();
}

void TReplayGain::MeasureBeside()
{
    if (FFeeder)
        return;
    FFeeder = std::make_unique<TFeeder>();
    TFeeder* f = FFeeder.get();
    f->Thread = std::thread([this, f] {
        std::unique_lock lock(f->Lock);
        for (;;) {
            f->Changed.wait(lock, [f] { return f->Quit || !f->Queue.empty(); });
            if (f->Queue.empty())
                return;
            std::vector<char> chunk = std::move(f->Queue.front());
            f->Queue.pop_front();
            f->Busy = true;
            const bool failed = bool(f->Error);
            lock.unlock();
            std::exception_ptr error;
            try {
                if (!failed)
                    FeedNow(chunk.data(), chunk.size());
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            if (error && !f->Error)
                f->Error = error;
            f->Queued -= chunk.size();
            f->Busy = false;
            f->Changed.notify_all();
        }
    });
}

void TReplayGain::WaitForQueue() const
{
    if (!FFeeder)
        return;
    TFeeder& f = *FFeeder;
    std::unique_lock lock(f.Lock);
    f.Changed.wait(lock, [&f] { return f.Queue.empty() && !f.Busy; });
    if (f.Error) {
        const std::exception_ptr error = f.Error;
        f.Error = nullptr;
        std::rethrow_exception(error);
    }
}

TReplayGain::TState TReplayGain::NewState() const
{
    // The histogram mode keeps memory constant however long a track is.
    TState state(new TLoudness);
    state->State = ebur128_init(FChannels, FRate, EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_HISTOGRAM);
    if (!state->State)
        throw EAuException(QStringLiteral("ReplayGain: cannot start the loudness measurement"));
    return state;
}

void TReplayGain::Feed(const int16_t* samples, size_t count)
{
    WaitForQueue();
    FeedSamples(samples, count);
}

void TReplayGain::FeedSamples(const int16_t* samples, size_t count)
{
    if (!FCurrent)
        FCurrent = NewState();
    const size_t frames = count / FChannels;
    if (frames && ebur128_add_frames_short(FCurrent->State, samples, frames) != EBUR128_SUCCESS)
        throw EAuException(QStringLiteral("ReplayGain: the loudness measurement failed"));
}

void TReplayGain::FeedBytes(const char* data, size_t size)
{
    if (!FFeeder) {
        FeedNow(data, size);
        return;
    }
    TFeeder& f = *FFeeder;
    std::unique_lock lock(f.Lock);
    f.Changed.wait(lock, [&f] { return f.Queued < TFeeder::MaxQueued; });
    f.Queue.emplace_back(data, data + size);
    f.Queued += size;
    lock.unlock();
    f.Changed.notify_all();
}

void TReplayGain::FeedNow(const char* data, size_t size)
{
    const size_t frameBytes = 2 * size_t(FChannels);
    std::vector<int16_t> samples;
    samples.reserve((FPending.size() + size) / 2);
    const auto take = [&](const unsigned char* b) { samples.push_back(int16_t(uint16_t(b[0] | (b[1] << 8)))); };
    // Complete the frame left over from the last call first.
    while (!FPending.empty() && size > 0) {
        FPending.push_back(*data++);
        --size;
        if (FPending.size() == frameBytes) {
            for (size_t i = 0; i < frameBytes; i += 2)
                take(reinterpret_cast<const unsigned char*>(FPending.data() + i));
            FPending.clear();
        }
    }
    const size_t whole = size / frameBytes * frameBytes;
    for (size_t i = 0; i < whole; i += 2)
        take(reinterpret_cast<const unsigned char*>(data + i));
    FPending.insert(FPending.end(), data + whole, data + size);
    if (!samples.empty())
        FeedSamples(samples.data(), samples.size());
}

TReplayGainResult TReplayGain::ResultOf(double loudness, double peak)
{
    TReplayGainResult result;
    // Silence (or a track too short to gate) has no loudness: no change.
    result.Gain = std::isfinite(loudness) ? REPLAYGAIN_REFERENCE_LUFS - loudness : 0.0;
    result.Peak = peak;
    return result;
}

TReplayGainResult TReplayGain::FinishTrack()
{
    WaitForQueue();
    if (!FCurrent)
        FCurrent = NewState();
    FPending.clear();
    double loudness = 0.0;
    if (ebur128_loudness_global(FCurrent->State, &loudness) != EBUR128_SUCCESS)
        loudness = -HUGE_VAL;
    double peak = 0.0;
    for (unsigned c = 0; c < FChannels; ++c) {
        double p = 0.0;
        if (ebur128_sample_peak(FCurrent->State, c, &p) == EBUR128_SUCCESS)
            peak = std::max(peak, p);
    }
    FTracks.push_back(std::move(FCurrent));
    FPeaks.push_back(peak);
    return ResultOf(loudness, peak);
}

void TReplayGain::DropLastTrack()
{
    WaitForQueue();
    if (FTracks.empty())
        return;
    FTracks.pop_back();
    if (!FPeaks.empty())
        FPeaks.pop_back();
}

void TReplayGain::DiscardTrack()
{
    try {
        WaitForQueue();
    } catch (const std::exception&) {
        // The track is dropped anyway.
    }
    FCurrent.reset();
    FPending.clear();
}

TReplayGainResult TReplayGain::Album() const
{
    WaitForQueue();
    if (FTracks.empty())
        return {};
    std::vector<ebur128_state*> states;
    for (const TState& s : FTracks)
        states.push_back(s->State);
    double loudness = 0.0;
    if (ebur128_loudness_global_multiple(states.data(), states.size(), &loudness) != EBUR128_SUCCESS)
        loudness = -HUGE_VAL;
    return ResultOf(loudness, *std::max_element(FPeaks.begin(), FPeaks.end()));
}
