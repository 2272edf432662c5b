#pragma once
// Shared pieces of the WAV reader and writer: the coding types, their names, chunk codes,
// little-endian helpers and the float-to-integer rule of float files.
#include <QString>
#include <cstdint>
#include <cstring>

// Coding of a WAV file. The order is fixed: the writer's WavType property stores it by name.
enum TWavType : uint8_t {
    wtUnsupported = 0,
    wtPCM = 1,
    wtDVIADPCM = 2,
    wtMSADPCM = 3,
    wtACM = 4,
    wtIEEEFloat = 5,
    wtExtPCM = 6,
    wtExtIEEEFloat = 7,
};

// "Raw PCM", "DVI IMA ADPCM", ... as the converter window shows them.
QString WavTypeName(TWavType Value);
// The property value's name ("wtPCM", ...), for storing it by name.
const char* WavTypeIdent(TWavType Value);

namespace Wav {

// Format tags of the "fmt " chunk.
constexpr uint16_t TagPCM = 0x0001;
constexpr uint16_t TagMSADPCM = 0x0002;
constexpr uint16_t TagIEEEFloat = 0x0003;
constexpr uint16_t TagDVIADPCM = 0x0011;
constexpr uint16_t TagMPEGLayer3 = 0x0055;
constexpr uint16_t TagExtensible = 0xFFFE;

// Sub-format GUIDs of extensible files: the format tag in the first two bytes, then the
// fixed tail 0000-0010-8000-00aa00389b71.
extern const uint8_t SubFormatPCM[16];
extern const uint8_t SubFormatIEEEFloat[16];

// A WAV file's sizes live in 32-bit fields.
constexpr int64_t MaxChunkSize = 0xFFFFFFFFLL;

inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void Put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void Put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
// A size for a 32-bit field: at most 0xFFFFFFFF, never negative.
inline uint32_t Clamp32(int64_t v) { return v < 0 ? 0 : v > MaxChunkSize ? 0xFFFFFFFFu : uint32_t(v); }

// Chunk codes compare character by character; a character also matches when it differs
// from the expected one by exactly 32, so case does not matter.
bool CodeIs(const uint8_t* Code, const char* Expected);

// A float sample of a float file as a signed 32-bit integer: 1 and above give the
// maximum, -1 and below the minimum, otherwise floor(x * 2147483647); NaN gives 0.
int32_t FloatToInt32(double x);

} // namespace Wav
