#pragma once
// ReplayGain 2.0 of the tracks of one job, measured as their PCM streams by: EBU R128
// integrated loudness (libebur128) against the -18 LUFS reference, and the sample peak.
// Feed each track's 16-bit stereo 44100 Hz samples in chunks of any size, finish the track
// for its gain and peak, and after the last track take the album's: the loudness of all the
// tracks together and the highest peak. One object serves one job; it is fed from one
// thread at a time, in track order.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>


constexpr double REPLAYGAIN_REFERENCE_LUFS = -18.0;

struct TReplayGainResult {
    double Gain = 0.0;    // dB to the reference; 0 for silence
    double Peak = 0.0;    // linear, 1.0 = full scale
};

class TReplayGain {
public:
    explicit TReplayGain(unsigned channels = 2, unsigned long rate = 44100);
    ~TReplayGain();
    TReplayGain(const TReplayGain&) = delete;
    TReplayGain& operator=(const TReplayGain&) = delete;

    // Interleaved 16-bit samples of the current track, whole frames (a part frame at the end
    // is not counted). Throws EAuException when libebur128 runs out of memory.
    void Feed(const int16_t* samples, size_t count);
    // Little-endian PCM bytes as a WAV file or a CD holds them, in chunks of any size: a
    // part frame at the end of one chunk waits for the next.
    void FeedBytes(const char* data, size_t size);
    // Ends the current track: its gain and peak. The next Feed starts a new track.
    TReplayGainResult FinishTrack();
    // Drops the current track's samples (a track that failed is not part of the album).
    void DiscardTrack();
    // Forgets the last finished track (a track read again).
    void DropLastTrack();
    // Over every finished track; zeros before the first.
    TReplayGainResult Album() const;
    int TrackCount() const { return int(FTracks.size()); }

private:
    struct TLoudness;    // one track's measurement
    struct TLoudnessDeleter {
        void operator()(TLoudness* state) const;
    };
    using TState = std::unique_ptr<TLoudness, TLoudnessDeleter>;
    TState NewState() const;
    static TReplayGainResult ResultOf(double loudness, double peak);

    unsigned FChannels;
    unsigned long FRate;
    TState FCurrent;
    std::vector<TState> FTracks;
    std::vector<double> FPeaks;
    std::vector<char> FPending;    // bytes of a part sample frame between FeedBytes calls
};
