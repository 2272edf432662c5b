#pragma once
// De-emphasis of a pre-emphasised CD track: the 50/15 us treble shelf the disc was
// mastered with, undone on 16-bit stereo PCM at 44.1 kHz as it is read. A first-order
// shelf fitted to the standard curve (within 0.1 dB from 20 Hz to 20 kHz; unity at DC).
// The filter keeps its state across calls, so a track may come in pieces of any size.
#include <cstddef>
#include <cstdint>
#include <vector>

class TDeEmphasis {
public:
    // frames: stereo frames of interleaved little-endian 16-bit samples, filtered in place.
    void Process(int16_t* samples, size_t frames);
    // Bytes as the rip reads them (whole frames; a trailing part frame is left alone).
    void ProcessBytes(uint8_t* data, size_t bytes);
    void Reset();

private:
    double FIn[2] = {0, 0};     // the last input of each channel
    double FOut[2] = {0, 0};    // the last output
};

// The de-emphasis of one track's read when it is wanted: Apply gives the bytes as they are
// when off, else a de-emphasised copy (valid until the next call).
class TDeEmphasisStage {
public:
    explicit TDeEmphasisStage(bool on) : FOn(on) {}
    const uint8_t* Apply(const uint8_t* data, size_t bytes);

private:
    bool FOn;
    TDeEmphasis FFilter;
    std::vector<uint8_t> FCopy;
};
