// Feeds arbitrary bytes to the FLAC reader as a file in memory: the metadata scan, frame
// decoding, the end checks (short stream, MD5) and seeking must stay within their buffers
// and end, with damage raised as an exception and never a crash.
#include "encode/FlacIn.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <exception>

namespace {

void Drain(TAuInput& In, uint32_t Request, int64_t Limit)
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
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream stream(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    TFlacIn in;
    in.SetStream(&stream);
    if (!in.Valid())
        return 0;
    in.Comments();
    const int64_t total = in.TotalSamples();
    try {
        in.Init();
        Drain(in, 16384, 4 << 20);
    } catch (const std::exception&) {
    }
    in.Flush();
    if (total > 2) {
        try {
            in.Init();
            in.Seek(total / 2);
            Drain(in, 1000, 1 << 20);
        } catch (const std::exception&) {
        }
        in.Flush();
    }
    return 0;
}
