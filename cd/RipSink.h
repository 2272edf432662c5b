#pragma once
// Where the rip thread hands the PCM it reads besides (or instead of) its WAV file: 16-bit
// stereo 44100 Hz little-endian frames, in disc order. Called on the rip thread only.
#include <QString>

#include <cstddef>
#include <cstdint>

class TRipSink {
public:
    virtual ~TRipSink() = default;
    // Before the track's first data; false when the destination cannot be created.
    virtual bool Begin() = 0;
    virtual bool Write(const uint8_t* data, size_t bytes) = 0;
    // The track was read whole; false when the destination could not be finished.
    virtual bool EndTrack() = 0;
    // The track was stopped or failed: nothing partial is left behind.
    virtual void Discard() = 0;
    // Why the last call failed (the plain cause when known); empty when none did.
    virtual QString Error() const { return {}; }
};
