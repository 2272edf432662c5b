#include "platform/ReadFaults.h"

#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct TFaultRange {
    int64_t First = 0;
    int64_t Last = 0;              // inclusive
    int64_t Remaining = -1;        // reads still to fail; -1 = every read
};

std::mutex faultMutex;             // guards everything below
std::vector<TFaultRange> faults;
int64_t readDelayMs = 0;           // every read takes this long more (a slow drive)
bool loaded = false;               // the environment was read, or a list was set

bool ParseNumber(const QString& text, int64_t& value)
{
    bool ok = false;
    value = text.trimmed().toLongLong(&ok);
    return ok && value >= 0;
}

bool Parse(const QString& faultList, std::vector<TFaultRange>& out, int64_t& delayMs, QString& error)
{
    out.clear();
    delayMs = 0;
    for (const QString& rawItem : faultList.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString item = rawItem.trimmed();
        if (item.isEmpty())
            continue;
        if (item.startsWith(QLatin1String("slow:"))) {
            if (!ParseNumber(item.mid(5), delayMs) || delayMs > 10000) {
                error = QStringLiteral("\"%1\": expected slow:MILLISECONDS (at most 10000)").arg(item);
                return false;
            }
            continue;
        }
        TFaultRange range;
        QString sectors = item;
        const qsizetype at = item.indexOf(QLatin1Char('@'));
        if (at >= 0) {
            sectors = item.left(at);
            if (!ParseNumber(item.mid(at + 1), range.Remaining)) {
                error = QStringLiteral("\"%1\": the count after @ must be a number of 0 or more").arg(item);
                return false;
            }
        }
        const qsizetype dash = sectors.indexOf(QLatin1Char('-'));
        const bool ok = dash < 0 ? ParseNumber(sectors, range.First) && ParseNumber(sectors, range.Last)
                                 : ParseNumber(sectors.left(dash), range.First)
                                       && ParseNumber(sectors.mid(dash + 1), range.Last);
        if (!ok || range.Last < range.First) {
            error = QStringLiteral("\"%1\": expected LBA[-LBA][@COUNT]").arg(item);
            return false;
        }
        out.push_back(range);
    }
    return true;
}

void LoadEnvironmentLocked()
{
    if (loaded)
        return;
    loaded = true;
    const QString faultList = qEnvironmentVariable("VARNELCD_READ_FAULTS");
    QString error;
    if (!faultList.isEmpty() && !Parse(faultList, faults, readDelayMs, error)) {
        faults.clear();
        readDelayMs = 0;
        std::fprintf(stderr, "VARNELCD_READ_FAULTS ignored: %s\n", qPrintable(error));
    }
}

} // namespace

bool SetReadFaults(const QString& faultList, QString* error)
{
    std::vector<TFaultRange> parsed;
    int64_t delay = 0;
    QString why;
    if (!Parse(faultList, parsed, delay, why)) {
        if (error)
            *error = why;
        return false;
    }
    std::lock_guard lock(faultMutex);
    faults = std::move(parsed);
    readDelayMs = delay;
    loaded = true;
    return true;
}

bool ReadFaultHit(int64_t first, int64_t count)
{
    return ReadFaultAt(first, count) >= 0;
}

int64_t ReadFaultAt(int64_t first, int64_t count)
{
    if (count <= 0)
        return -1;
    std::unique_lock lock(faultMutex);
    LoadEnvironmentLocked();
    if (const int64_t delay = readDelayMs; delay > 0) {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        lock.lock();
    }
    const int64_t last = first + count - 1;
    int64_t hit = -1;
    for (TFaultRange& r : faults) {
        if (last < r.First || first > r.Last || r.Remaining == 0)
            continue;
        const int64_t at = std::max(first, r.First);
        hit = hit < 0 ? at : std::min(hit, at);
        if (r.Remaining > 0)
            --r.Remaining;
    }
    return hit;
}
