#include "app/core/TrackList.h"
#include "settings/Global.h"
#include <cmath>

namespace {

constexpr double CDAudioBytesPerSecond = 44100.0 * 2 * 2;   // 44.1 kHz, 16 bits, stereo
constexpr double BytesPerMegabyte = 1024.0 * 1024.0;

} // namespace

QString TrackLengthText(int minutes, int seconds)
{
    return TwoDigits(minutes) + ":" + TwoDigits(seconds);
}

QString TrackSizeText(int minutes, int seconds)
{
    const double bytes = (double(minutes) * 60 + seconds) * CDAudioBytesPerSecond;
    const double megabytes = bytes / BytesPerMegabyte;
    // std::nearbyint rounds halves to the even neighbour in the default rounding mode.
    const long long h = std::llround(std::nearbyint(megabytes * 100));
    return TwoDigits(int(h / 100)) + "." + TwoDigits(int(h % 100));
}

void TrackLength(const TTocRecord& toc, int index, int& minutes, int& seconds)
{
    const TTocEntry& e = toc.Entries[index];
    const TTocEntry& next = toc.Entries[index + 1];
    minutes = int(next.Address[1]) - int(e.Address[1]);
    seconds = int(next.Address[2]) - int(e.Address[2]);
    if (seconds < 0) {
        seconds += 60;
        minutes -= 1;
    }
}

int TocTrackCount(const TTocRecord& toc)
{
    if (toc.FirstTrack < 1 || toc.LastTrack > 99 || toc.FirstTrack > toc.LastTrack)
        return -1;
    return toc.LastTrack - toc.FirstTrack + 1;
}

static uint32_t MsfFrames(const TTocEntry& e)
{
    return uint32_t(e.Address[1]) * CD_FRAMES_PER_MINUTE + uint32_t(e.Address[2]) * CD_FRAMES_PER_SECOND
        + e.Address[3];
}

uint32_t DiscSerialFromToc(const TTocRecord& toc)
{
    const int count = TocTrackCount(toc);
    if (count <= 0)
        return 0;
    uint32_t serial = 0;
    for (int i = 0; i < count; ++i) {
        const TTocEntry& e = toc.Entries[i];
        serial += (uint32_t(e.Address[1]) << 16) | (uint32_t(e.Address[2]) << 8) | e.Address[3];
    }
    if (count < 3)
        serial += MsfFrames(toc.Entries[count]) - MsfFrames(toc.Entries[0]);
    return serial;
}

QString DiscIdFromToc(const TTocRecord& toc)
{
    if (TocTrackCount(toc) <= 0)
        return {};
    return QString::number(int32_t(DiscSerialFromToc(toc)));
}
