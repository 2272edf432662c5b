#include "audio/ReplayGain.h"

#include "audio/AuException.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstring>

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

TReplayGain::~TReplayGain() = default;

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
    if (!FCurrent)
        FCurrent = NewState();
    const size_t frames = count / FChannels;
    if (frames && ebur128_add_frames_short(FCurrent->State, samples, frames) != EBUR128_SUCCESS)
        throw EAuException(QStringLiteral("ReplayGain: the loudness measurement failed"));
}

void TReplayGain::FeedBytes(const char* data, size_t size)
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
        Feed(samples.data(), samples.size());
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
    if (FTracks.empty())
        return;
    FTracks.pop_back();
    if (!FPeaks.empty())
        FPeaks.pop_back();
}

void TReplayGain::DiscardTrack()
{
    FCurrent.reset();
    FPending.clear();
}

TReplayGainResult TReplayGain::Album() const
{
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
