#pragma once
// ReplayGain 2.0 of the tracks of one job, measured as their PCM streams by: the integrated
// loudness of ITU-R BS.1770 (K-weighting, 400 ms blocks every 100 ms, the absolute gate at
// -70 LUFS and the relative one 10 LU below) against the -18 LUFS reference, and the sample
// peak. Feed each track's 16-bit samples in chunks of any size, finish the track for its gain
// and peak, and after the last track take the album's: the loudness of all the tracks'
// blocks together and the highest peak. One object serves one job; it is fed from one thread
// at a time, in track order.
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr double REPLAYGAIN_REFERENCE_LUFS = -18.0;

struct TReplayGainResult {
    double Gain = 0.0;    // dB to the reference; 0 for silence
    double Peak = 0.0;    // linear, 1.0 = full scale
};

class TReplayGain {
public:
    explicit TReplayGain(unsigned channels = 2, unsigned long rate = 44100);

    // Interleaved 16-bit samples of the current track, whole frames (a part frame at the end
    // is not counted).
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
    // One track's measurement: the mean square of each complete 400 ms block (the
    // channels' weighted sum) and the peak.
    struct TTrack {
        std::vector<double> Blocks;
        double Peak = 0.0;
    };
    struct TBiquad {
        double B0, B1, B2, A1, A2;
    };
    // Filters `frames` frames of samples scaled to [-1, 1) and adds their weighted squares to
    // the 100 ms step under way; the channel count is a template argument where it can be.
    template <unsigned Channels>
    void Measure(const int16_t* samples, size_t frames);
    void EndStep();
    void StartTrack();
    static double Integrated(const std::vector<const std::vector<double>*>& tracks);
    static TReplayGainResult ResultOf(double loudness, double peak);

    unsigned FChannels;
    size_t FStepFrames;                  // frames in 100 ms
    TBiquad FShelf{}, FHighPass{};       // the K-weighting's two stages
    std::vector<double> FWeight;         // per channel
    // The current track: the filters' state (six values per channel), the squares of the
    // step under way and the last three steps' sums.
    std::vector<double> FState;
    double FStepSum = 0.0;
    size_t FStepFill = 0;
    double FRecent[3] = {0, 0, 0};
    int FSteps = 0;
    TTrack FCurrent;
    std::vector<TTrack> FTracks;
    std::vector<char> FPending;          // bytes of a part sample frame between FeedBytes calls
};
