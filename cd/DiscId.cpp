#include "cd/DiscId.h"

namespace {

constexpr int kOffsetOfLba0 = 150;     // sector address of LBA 0 (00:02:00)
constexpr int kFramesPerSecond = 75;
constexpr int kMaxTracks = 99;

int DigitSum(int n)
{
    int sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}

} // namespace

TCddbDiscId CddbDiscIdOf(const TCddbToc& toc)
{
    TCddbDiscId id;
    const int n = int(toc.Starts.size());
    if (n < 1 || n > kMaxTracks)
        return id;
    for (int i = 0; i < n; ++i) {
        const int next = i + 1 < n ? toc.Starts[i + 1] : toc.LeadOut;
        if (toc.Starts[i] < 0 || toc.Starts[i] >= next)
            return id;
    }
    int digits = 0;
    QString query = QString::number(n);
    for (int start : toc.Starts) {
        const int offset = start + kOffsetOfLba0;
        digits += DigitSum(offset / kFramesPerSecond);
        query += QLatin1Char(' ') + QString::number(offset);
    }
    const int firstSeconds = (toc.Starts[0] + kOffsetOfLba0) / kFramesPerSecond;
    const int discSeconds = (toc.LeadOut + kOffsetOfLba0) / kFramesPerSecond;
    query += QLatin1Char(' ') + QString::number(discSeconds);
    id.Valid = true;
    id.Id = (uint32_t(digits % 255) << 24) | (uint32_t(discSeconds - firstSeconds) << 8) | uint32_t(n);
    id.IdText = QStringLiteral("%1").arg(id.Id, 8, 16, QLatin1Char('0'));
    id.QueryString = query;
    return id;
}
