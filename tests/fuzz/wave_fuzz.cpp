// Feeds arbitrary bytes to the WAV reader as a file in memory: the header scan, every
// decoder (PCM, float, IMA and Microsoft ADPCM), ranges and seeking must stay within their
// buffers and end. The same bytes also go straight into the two ADPCM block decoders.
#include "audio/Adpcm.h"
#include "audio/WaveIn.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Reads at most Limit bytes in requests of Request bytes.
int64_t Drain(TAuInput& In, uint32_t Request, int64_t Limit)
{
    int64_t total = 0;
    while (total < Limit) {
        void* data = nullptr;
        uint32_t bytes = Request;
        In.GetData(data, bytes);
        if (bytes == 0)
            break;
        const auto* p = static_cast<const uint8_t*>(data);
        volatile uint8_t sink = p[0] ^ p[bytes - 1];
        (void)sink;
        total += bytes;
    }
    return total;
}

void FuzzBlockDecoders(const uint8_t* data, size_t size)
{
    if (size < 2)
        return;
    const int channels = 1 + (data[0] & 1);
    const int frames = 1 + data[1];
    const int got = int(size - 2);
    std::vector<int16_t> out(size_t(std::max(2 * got + 2, frames)) * 2 + 4);
    Adpcm::ImaDecodeBlock(data + 2, got, channels, frames, out.data());
    const Adpcm::TMsCoef coefs[7] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
    Adpcm::MsDecodeBlock(data + 2, got, channels, std::max(frames, 2), coefs, 7, out.data());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzBlockDecoders(data, size);
    TMemoryStream stream(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    TWaveIn in;
    in.SetStream(&stream);
    if (!in.Valid()) {
        in.Init();
        Drain(in, 4096, 1 << 16);
        in.Flush();
        return 0;
    }
    in.WavType();
    in.TotalTime();
    const int64_t total = in.TotalSamples();
    in.Init();
    Drain(in, 16384, 4 << 20);
    if (total > 2) {
        in.Seek(total / 2);
        Drain(in, 1000, 1 << 20);
    }
    in.Flush();
    // A range read of the middle third.
    if (total > 3) {
        in.SetStartSample(total / 3);
        in.SetEndSample(2 * total / 3);
        in.Init();
        Drain(in, 777, 4 << 20);
        in.Flush();
    }
    return 0;
}
