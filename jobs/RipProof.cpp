#include "jobs/RipProof.h"

#include "encode/CtdbRipFiles.h"
#include "metadata/CtdbLookup.h"

#include <QMetaObject>
#include <algorithm>

QStringList CtdbSampleRanges(const std::vector<int64_t>& words)
{
    std::vector<int64_t> samples;
    for (const int64_t w : words)
        samples.push_back(w / 2);
    std::sort(samples.begin(), samples.end());
    QStringList out;
    for (size_t i = 0; i < samples.size();) {
        size_t j = i;
        while (j + 1 < samples.size() && samples[j + 1] <= samples[j] + 1)
            ++j;
        out << QStringLiteral("%1-%2").arg(samples[i]).arg(samples[j]);
        i = j + 1;
    }
    return out;
}

TRipProof::TRipProof(const TOptionsSetting& settings, QObject* parent)
    : QObject(parent), FUrl(RipAuditSettings().CtdbUrl.isEmpty() ? settings.Ctdb.Url : RipAuditSettings().CtdbUrl),
      FRepair(settings.Ctdb.Repair), FHttp(CtdbHttpOptions(settings))
{
    FActive = settings.Ctdb.Use && RipAuditSettings().Ctdb;
}

namespace {

constexpr size_t kMaxQueued = 8 << 20;   // the reader waits when the check lags this far

} // namespace

void TRipProof::Add(int track, const uint8_t* data, size_t bytes)
{
    std::unique_lock lock(FQueueLock);
    if (!FFeeder.joinable())
        FFeeder = std::thread([this] { Feed(); });
    FQueueChanged.wait(lock, [this] { return FQueued < kMaxQueued || FQuit; });
    FQueue.push_back({track, std::vector<uint8_t>(data, data + bytes), false});
    FQueued += bytes;
    FQueueChanged.notify_all();
}

void TRipProof::EndTrack(int track)
{
    std::lock_guard lock(FQueueLock);
    FQueue.push_back({track, {}, true});
    FQueueChanged.notify_all();
}

void TRipProof::Feed()
{
    std::unique_lock lock(FQueueLock);
    for (;;) {
        FQueueChanged.wait(lock, [this] { return !FQueue.empty() || FQuit; });
        if (FQuit)
            return;
        TChunk chunk = std::move(FQueue.front());
        FQueue.pop_front();
        FQueued -= chunk.Data.size();
        FFeeding = true;
        FQueueChanged.notify_all();
        lock.unlock();
        if (chunk.End)
            FCheck.EndTrack(chunk.Track);
        else
            FCheck.Add(chunk.Track, chunk.Data.data(), chunk.Data.size());
        lock.lock();
        FFeeding = false;
        FQueueChanged.notify_all();
    }
}

void TRipProof::Drain() const
{
    std::unique_lock lock(FQueueLock);
    FQueueChanged.wait(lock, [this] { return (FQueue.empty() && !FFeeding) || FQuit; });
}

void TRipProof::Mark()
{
    Drain();
    FMark = FCheck;
}

void TRipProof::Rewind()
{
    Drain();
    FCheck = FMark;
}

TRipProof::~TRipProof()
{
    {
        std::lock_guard lock(FQueueLock);
        FQuit = true;
        FQueueChanged.notify_all();
    }
    if (FFeeder.joinable())
        FFeeder.join();
    Abort();
    if (FThread.joinable())
        FThread.join();
    if (FEarly.joinable())
        FEarly.join();
}

void TRipProof::LookUpEarly()
{
    if (!FActive || FEarly.joinable())
        return;
    const TCtdbToc toc = FCheck.Rip().Toc();
    FEarly = std::thread([this, toc] {
        TCtdbLookup lookup = LookupCtdb(FUrl, toc, FHttp, &FAbort);
        std::lock_guard lock(FLock);
        FEntries = std::move(lookup.Entries);
        FEarlyDone = true;
    });
}

bool TRipProof::EarlyEnded() const
{
    std::lock_guard lock(FLock);
    return FEarlyDone || !FEarly.joinable();
}

bool TRipProof::Confirmed(int track) const
{
    const int audio = FDisc.AudioIndex(track);
    Drain();
    std::lock_guard lock(FLock);
    if (!FActive || !FEarlyDone || audio < 1)
        return false;
    // The copy is offset-corrected: its track CRC is the database's where the drive's
    // offset is right.
    for (const TCtdbEntry& e : FEntries)
        if (e.Confidence >= 1 && e.TrackCrcs.size() == size_t(FCheck.Rip().Toc().Tracks())
            && FCheck.Rip().TrackCrcNear(audio, e.TrackCrcs[size_t(audio - 1)], 0))
            return true;
    return false;
}

void TRipProof::Begin(const TDiscLayout& disc)
{
    FDisc = disc;
    FCheck.Begin(disc);
    // A disc the database cannot know (too short, no audio) is not asked.
    if (!FCheck.Rip().Toc().Valid)
        FActive = false;
}

void TRipProof::Abort()
{
    FAbort.Abort();
}

bool TRipProof::Hold(const QStringList& files, const QString& why, std::function<void()> resume)
{
    if (!FActive || FThread.joinable())
        return false;
    Drain();
    if (!FCheck.Complete()) {
        // Not every track came whole and in order: nothing to ask about.
        std::lock_guard lock(FLock);
        FLog.TocId = FCheck.Rip().Toc().Id;
        FLog.Disc = QStringList{QStringLiteral("not checked (not every track of the disc was read whole)")};
        return false;
    }
    FResume = std::move(resume);
    FThread = std::thread([this, files, why] { Run(files, why); });
    return true;
}

void TRipProof::Run(QStringList files, QString why)
{
    TRipLogCtdb log;
    log.TocId = FCheck.Rip().Toc().Id;
    const TCtdbVerdict verdict = FCheck.Verify(FUrl, FHttp, &FAbort);
    log.Disc = verdict.Lines();
    const int tracks = FCheck.Rip().Toc().Tracks();
    for (int t = 1; t <= tracks; ++t)
        log.Tracks << TCtdbRipCheck::TrackText(verdict, t);
    log.Corrected.assign(size_t(tracks), {});
    const bool clean = std::any_of(verdict.Matches.begin(), verdict.Matches.end(),
                                   [](const TCtdbEntryResult& m) { return m.ErrorFree; });
    if (verdict.Status == TCtdbVerdict::Found && !clean && verdict.BestRepair() && !FAbort.Aborted()) {
        if (!FRepair)
            log.Repair << QStringLiteral("not made ([CTDB] Repair is off)");
        else if (files.isEmpty())
            log.Repair << QStringLiteral("not made (%1)").arg(why);
        else
            Repair(verdict, files, log);
    }
    {
        std::lock_guard lock(FLock);
        FLog = std::move(log);
    }
    QMetaObject::invokeMethod(this, [this] {
        if (FThread.joinable())
            FThread.join();
        if (auto resume = std::move(FResume)) {
            FResume = nullptr;
            resume();
        }
    }, Qt::QueuedConnection);
}

// Rewrites the files the repair touches (each through its part file), reads them all again
// and takes the repair only when the database's CRC is now the rip's.
void TRipProof::Repair(const TCtdbVerdict& verdict, const QStringList& files, TRipLogCtdb& log)
{
    const TCtdbEntryResult* used = nullptr;
    for (const TCtdbEntryResult& m : verdict.Matches)
        if (&m.Repair == verdict.BestRepair())
            used = &m;
    if (!used)
        return;
    const TCtdbRepair& repair = used->Repair;
    QString error;
    TRipFiles opened;
    if (!OpenRipFiles(files, opened, error)) {
        log.Repair << QStringLiteral("not made: ") + error;
        return;
    }
    const int rewritten = RepairRipFiles(opened, repair, error);
    if (rewritten < 0) {
        log.Repair << QStringLiteral("failed: ") + error;
        return;
    }
    TCtdbAccumulator again(FCheck.Rip().Toc());
    const bool read = ReadRipFiles(opened, again, error);
    const bool ok = read && again.DiscCrc(used->Offset) == used->Entry.Crc;
    log.Repair << QStringLiteral("%1 samples corrected in %2 files (offset %3); checked again: %4")
                      .arg(repair.Corrected())
                      .arg(rewritten)
                      .arg(SignedNumber(used->Offset))
                      .arg(ok ? QStringLiteral("the database's CRC now matches")
                              : read ? QStringLiteral("the CRC still differs") : QStringLiteral("cannot read the files: ") + error);
    // Each track's corrected samples, counted from the disc's first audio sample.
    const std::vector<int64_t>& starts = FCheck.Rip().Toc().TrackStarts;
    for (const QString& range : CtdbSampleRanges(repair.Words)) {
        const int64_t first = range.section(QLatin1Char('-'), 0, 0).toLongLong();
        const auto at = std::upper_bound(starts.begin(), starts.end(), first);
        const size_t track = size_t(std::max<ptrdiff_t>(1, at - starts.begin()));
        if (track <= log.Corrected.size())
            log.Corrected[track - 1] << range;
    }
    if (!ok)
        return;
    // The repaired rip's verdict from the entries that matched, without asking again.
    std::vector<TCtdbEntry> entries;
    for (const TCtdbEntryResult& m : verdict.Matches)
        entries.push_back(m.Entry);
    const TCtdbVerdict now = CtdbVerdictOf(again, entries, [](const TCtdbEntry&, QByteArray&, QString& why) {
        why = QStringLiteral("not fetched again");
        return false;
    });
    log.Disc = QStringList{QStringLiteral("after the repair: ") + now.Text()} + log.Disc;
    for (int t = 1; t <= int(log.Tracks.size()); ++t)
        log.Tracks[t - 1] = TCtdbRipCheck::TrackText(now, t) + QStringLiteral(" (after the repair)");
}

TRipLogCtdb TRipProof::Log() const
{
    std::lock_guard lock(FLock);
    return FLog;
}
