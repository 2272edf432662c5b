// The demo disc's music: each piece is a chord progression played as soft electric-piano
// chords, a bass line on the chord roots and a melody picked from the chord and scale tones
// by a small deterministic random walk, then given a light echo and a fade in and out.
#include "DemoMusic.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace {

constexpr int kRate = 44100;
constexpr int kFramesPerSector = 588;
constexpr double kPi = 3.14159265358979323846;

struct TPiece {
    const char* Title;
    int Seconds;
    int Root;                   // MIDI note of the key's tonic (octave of the chords)
    bool Minor;
    int Bpm;
    int BeatsPerBar;
    std::array<int, 4> Degrees; // chord progression as scale degrees (0 = tonic)
    bool PulsedChords;          // chords on the off beats (waltz) instead of held
    uint32_t Seed;
};

const TPiece kPieces[] = {
    {"Morning Light", 36, 60, false, 96, 4, {0, 4, 5, 3}, false, 11},
    {"Walking in the Park", 32, 55, false, 118, 4, {0, 5, 1, 4}, false, 23},
    {"晨曦小调", 40, 57, true, 84, 4, {0, 5, 2, 6}, false, 37},
    {"Evening Waltz", 34, 53, false, 138, 3, {0, 3, 4, 0}, true, 41},
    {"Lullaby for a Robot", 38, 62, false, 72, 4, {0, 2, 3, 4}, false, 59},
};
constexpr int kPieceCount = int(sizeof(kPieces) / sizeof(kPieces[0]));

const int kMajor[7] = {0, 2, 4, 5, 7, 9, 11};
const int kMinor[7] = {0, 2, 3, 5, 7, 8, 10};

// One cycle of the voice's waveform: a sine with a little second and third harmonic.
class TWaveTable {
public:
    static constexpr int Size = 4096;
    TWaveTable()
    {
        for (int i = 0; i <= Size; ++i) {
            const double p = 2 * kPi * i / Size;
            table_[i] = float(std::sin(p) + 0.25 * std::sin(2 * p) + 0.08 * std::sin(3 * p));
        }
    }
    float at(double phase) const        // phase in cycles, 0..1
    {
        const double x = phase * Size;
        const int i = int(x);
        const float f = float(x - i);
        return table_[i] + (table_[i + 1] - table_[i]) * f;
    }
private:
    std::array<float, Size + 1> table_{};
};

struct TNote {
    int Start;                  // frame
    int Length;                 // frames before the release
    int Midi;
    float Amp;
    float Pan;                  // 0 = left, 1 = right
    float Decay;                // seconds for the level to fall to 1/e
};

double MidiFreq(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

int ScaleNote(const TPiece& p, int degree)
{
    const int* scale = p.Minor ? kMinor : kMajor;
    const int octave = degree >= 0 ? degree / 7 : -((-degree + 6) / 7);
    const int d = degree - octave * 7;
    return p.Root + 12 * octave + scale[d];
}

void RenderNote(const TNote& n, const TWaveTable& wave, std::vector<float>& left,
                std::vector<float>& right)
{
    const int total = int(left.size());
    const int attack = kRate / 100;             // 10 ms
    const int release = kRate / 12;             // ~80 ms
    const double step = MidiFreq(n.Midi) / kRate;
    const double decayPerFrame = std::exp(-1.0 / (n.Decay * kRate));
    const float gl = n.Amp * std::sqrt(1.0f - n.Pan);
    const float gr = n.Amp * std::sqrt(n.Pan);
    double phase = 0, env = 1;
    const int end = std::min(total, n.Start + n.Length + release);
    for (int f = n.Start; f < end; ++f) {
        const int t = f - n.Start;
        double level = env;
        if (t < attack)
            level *= double(t) / attack;
        if (t >= n.Length)
            level *= 1.0 - double(t - n.Length) / release;
        const float s = wave.at(phase) * float(level);
        left[f] += s * gl;
        right[f] += s * gr;
        phase += step;
        if (phase >= 1)
            phase -= 1;
        env *= decayPerFrame;
    }
}

} // namespace

int DemoTrackCount() { return kPieceCount; }

int DemoTrackSectors(int track)
{
    return kPieces[track - 1].Seconds * 75;
}

const char* DemoTrackTitle(int track) { return kPieces[track - 1].Title; }

std::vector<int16_t> RenderDemoTrack(int track)
{
    static const TWaveTable wave;
    const TPiece& p = kPieces[track - 1];
    const int frames = DemoTrackSectors(track) * kFramesPerSector;
    std::vector<float> left(frames, 0.f), right(frames, 0.f);

    const int beat = kRate * 60 / p.Bpm;
    const int bar = beat * p.BeatsPerBar;
    uint32_t rng = p.Seed;
    auto random = [&rng](int n) {
        rng = rng * 1664525u + 1013904223u;
        return int((rng >> 16) % uint32_t(n));
    };

    std::vector<TNote> notes;
    int melodyDegree = 7;                           // start an octave above the tonic
    const int usable = frames - 2 * kRate;          // leave room for the last notes to ring
    for (int barIndex = 0; barIndex * bar < usable; ++barIndex) {
        const int start = barIndex * bar;
        const int degree = p.Degrees[barIndex % 4];
        const int chord[3] = {degree, degree + 2, degree + 4};
        // Chords: held for the bar, or on the beats after the first (waltz).
        for (int c = 0; c < 3; ++c) {
            const float pan = 0.3f + 0.2f * c;
            if (p.PulsedChords) {
                for (int b = 1; b < p.BeatsPerBar; ++b)
                    notes.push_back({start + b * beat, beat * 2 / 3, ScaleNote(p, chord[c]), 0.07f, pan, 0.4f});
            } else {
                notes.push_back({start, bar - beat / 8, ScaleNote(p, chord[c]), 0.075f, pan, 1.6f});
            }
        }
        // Bass: root on the first beat, fifth halfway (or the root again).
        notes.push_back({start, beat * 3 / 2, ScaleNote(p, degree - 14), 0.2f, 0.5f, 0.8f});
        if (p.BeatsPerBar == 4)
            notes.push_back({start + 2 * beat, beat * 3 / 2, ScaleNote(p, degree - 14 + (barIndex % 2 ? 4 : 0)), 0.17f, 0.5f, 0.8f});
        // Melody: eighth notes and quarter notes walking near the chord, some rests.
        if (barIndex == 0)
            continue;                               // let the first bar introduce the chords
        int pos = 0;
        while (pos < bar) {
            const int len = random(3) == 0 ? beat : beat / 2;
            if (random(7) != 0) {
                const int move = random(5) - 2;     // -2..2 scale steps
                melodyDegree = std::clamp(melodyDegree + move, 4, 13);
                if (pos == 0) {                     // land on a chord tone at the bar start
                    int best = melodyDegree, dist = 99;
                    for (int c : chord) {
                        for (int o : {c, c + 7}) {
                            if (std::abs(o - melodyDegree) < dist) {
                                dist = std::abs(o - melodyDegree);
                                best = o;
                            }
                        }
                    }
                    melodyDegree = best;
                }
                notes.push_back({start + pos, len * 9 / 10, ScaleNote(p, melodyDegree), 0.2f, 0.62f, 0.7f});
            }
            pos += len;
        }
    }
    for (const TNote& n : notes)
        RenderNote(n, wave, left, right);

    // A soft echo (330 ms, cross-fed between channels) gives a little room.
    const int delay = kRate * 33 / 100;
    for (int f = delay; f < frames; ++f) {
        left[f] += 0.22f * right[f - delay];
        right[f] += 0.22f * left[f - delay];
    }
    // Fade in and out, then scale so that the loudest sample sits well below full scale.
    const int fadeIn = kRate / 2, fadeOut = 2 * kRate;
    float peak = 1e-6f;
    for (int f = 0; f < frames; ++f) {
        float g = 1.f;
        if (f < fadeIn)
            g = float(f) / fadeIn;
        if (f > frames - fadeOut)
            g = std::min(g, float(frames - f) / fadeOut);
        left[f] *= g;
        right[f] *= g;
        peak = std::max({peak, std::fabs(left[f]), std::fabs(right[f])});
    }
    const float scale = 0.8f * 32767.f / peak;
    std::vector<int16_t> out(size_t(frames) * 2);
    for (int f = 0; f < frames; ++f) {
        out[2 * size_t(f)] = int16_t(std::lrint(left[f] * scale));
        out[2 * size_t(f) + 1] = int16_t(std::lrint(right[f] * scale));
    }
    return out;
}
