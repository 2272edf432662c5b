#include "audio/WaveFormat.h"
#include <cmath>

QString WavTypeName(TWavType Value)
{
    switch (Value) {
    case wtPCM: return QStringLiteral("Raw PCM");
    case wtDVIADPCM: return QStringLiteral("DVI IMA ADPCM");
    case wtMSADPCM: return QStringLiteral("Microsoft ADPCM");
    case wtACM: return QStringLiteral("ACM");
    case wtIEEEFloat: return QStringLiteral("IEEE Float");
    case wtExtPCM: return QStringLiteral("WaveFormatExt (PCM)");
    case wtExtIEEEFloat: return QStringLiteral("WaveFormatExt (IEEE Float)");
    case wtUnsupported: break;
    }
    return QStringLiteral("Unsupported");
}

const char* WavTypeIdent(TWavType Value)
{
    static const char* const names[] = {"wtUnsupported", "wtPCM", "wtDVIADPCM", "wtMSADPCM",
                                        "wtACM", "wtIEEEFloat", "wtExtPCM", "wtExtIEEEFloat"};
    return Value <= wtExtIEEEFloat ? names[Value] : names[0];
}

namespace Wav {

const uint8_t SubFormatPCM[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
const uint8_t SubFormatIEEEFloat[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                        0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool CodeIs(const uint8_t* Code, const char* Expected)
{
    for (int i = 0; i < 4; ++i) {
        const int a = Code[i];
        const int b = uint8_t(Expected[i]);
        if (a != b && a != b + 32 && a != b - 32)
            return false;
    }
    return true;
}

int32_t FloatToInt32(double x)
{
    if (x >= 1.0)
        return INT32_MAX;
    if (x <= -1.0)
        return INT32_MIN;
    if (x == 0.0 || std::isnan(x))
        return 0;
    return int32_t(std::floor(x * 2147483647.0));
}

} // namespace Wav
