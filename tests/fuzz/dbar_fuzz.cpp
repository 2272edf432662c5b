// Feeds arbitrary bytes to the dBAR parser as the database's reply, for the disc whose ids
// stand in the reply's first header (so that chunks do match): it must never crash, and a
// reply it accepts has one entry per matching pressing for every track.
#include "cd/AccurateRip.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TAccurateRipId id;
    if (size >= 13) {
        const auto at = [&](size_t i) { return uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 | uint32_t(data[i + 3]) << 24; };
        id = {data[0], at(1), at(5), at(9)};
    }
    const TDbarReply reply = ParseDbar(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), id);
    if (reply.Ok != reply.Error.isEmpty())
        std::abort();
    if (!reply.Ok)
        return 0;
    if (reply.Tracks.size() != size_t(id.Tracks))
        std::abort();
    for (const auto& entries : reply.Tracks)
        if (entries.size() != size_t(reply.Pressings))
            std::abort();
    TAccurateRipLookup lookup;
    lookup.Status = TAccurateRipLookup::Found;
    lookup.Reply = reply;
    for (int t = 0; t <= id.Tracks + 1; ++t)
        if (AccurateRipVerdict(lookup, t, 0, 0).Text().isEmpty())
            std::abort();
    return 0;
}
