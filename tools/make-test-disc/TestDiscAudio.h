#pragma once
// The test pattern that make-test-disc writes into audio tracks, shared with the tests so
// that they can compute the expected bytes of any sector without running the tool.
//
// Every stereo frame carries its own position: the left sample holds the low 16 bits of the
// frame index within the track, the right sample the track number (high byte) and bits 16-23
// of the frame index (low byte). A test can therefore tell which track and which offset any
// ripped frame came from.
#include <cstdint>

namespace testdisc {

constexpr int kSectorBytes = 2352;
constexpr int kFramesPerSector = kSectorBytes / 4;   // 588 stereo 16-bit frames

inline int16_t PatternLeft(int /*track*/, uint32_t frameIndex)
{
    return static_cast<int16_t>(static_cast<uint16_t>(frameIndex & 0xFFFFu));
}

inline int16_t PatternRight(int track, uint32_t frameIndex)
{
    return static_cast<int16_t>(static_cast<uint16_t>(((track & 0xFF) << 8) | ((frameIndex >> 16) & 0xFFu)));
}

// Writes the 2352 bytes of sector `sectorInTrack` of audio track `track` (1-based) into out.
inline void PatternSector(int track, uint32_t sectorInTrack, uint8_t* out)
{
    const uint32_t first = sectorInTrack * kFramesPerSector;
    for (int i = 0; i < kFramesPerSector; ++i) {
        const auto l = static_cast<uint16_t>(PatternLeft(track, first + i));
        const auto r = static_cast<uint16_t>(PatternRight(track, first + i));
        out[4 * i + 0] = static_cast<uint8_t>(l & 0xFF);
        out[4 * i + 1] = static_cast<uint8_t>(l >> 8);
        out[4 * i + 2] = static_cast<uint8_t>(r & 0xFF);
        out[4 * i + 3] = static_cast<uint8_t>(r >> 8);
    }
}

// Byte `i` of user data in sector `sectorInTrack` of data track `track` (MODE1, 2048 bytes).
inline uint8_t DataByte(int track, uint32_t sectorInTrack, int i)
{
    return static_cast<uint8_t>((track * 31 + sectorInTrack * 7 + i) & 0xFF);
}

} // namespace testdisc
