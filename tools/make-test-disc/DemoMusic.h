#pragma once
// The demo disc: five short pieces synthesised from chords, a melody and a bass line.
#include <cstdint>
#include <vector>

// Number of demo pieces and their lengths in sectors.
int DemoTrackCount();
int DemoTrackSectors(int track);            // track is 1-based
const char* DemoTrackTitle(int track);

// Renders demo piece `track` as interleaved 16-bit stereo samples at 44100 Hz, exactly
// DemoTrackSectors(track) * 588 frames.
std::vector<int16_t> RenderDemoTrack(int track);
