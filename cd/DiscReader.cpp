// The two ways to the drive: the first CD library's handle (plain reads, the bad sector
// found by reading one by one) and the CD input component's library (paranoia, jitter
// repair, retries).
#include "cd/DiscReader.h"

#include "cd/CDInput.h"
#include "cd/RipLog.h"
#include "platform/CDRipLib.h"
#include "platform/akrip32.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QFile>
#include <cdio/cdio.h>

#include <atomic>
#include <set>
#include <cstring>
#include <vector>

void AddDiscExtras(TDiscLayout& disc, const TDiscExtras& extras)
{
    const size_t n = disc.Starts.size();
    disc.Pregap.assign(n, 0);
    disc.Isrc.assign(n, QString());
    disc.PreEmphasis.assign(n, false);
    disc.Catalog = extras.Catalog;
    for (size_t i = 0; i < n && i < extras.Tracks.size(); ++i) {
        disc.Pregap[i] = extras.Tracks[i].Pregap;
        disc.Isrc[i] = extras.Tracks[i].Isrc;
        disc.PreEmphasis[i] = extras.Tracks[i].PreEmphasis;
    }
}

bool TrackSectors(const TDiscLayout& disc, int track, int64_t& start, int64_t& length)
{
    const int tracks = disc.Tracks();
    if (track == 0 && tracks > 0 && disc.Starts[0] > 0 && !disc.Data[0]) {
        start = 0;
        length = disc.Starts[0];
        return true;
    }
    if (track < 1 || track > tracks) return false;
    start = disc.Starts[size_t(track - 1)];
    length = (track < tracks ? disc.Starts[size_t(track)] : disc.LeadOut) - start;
    return start >= 0 && length >= 0;
}

bool FindHiddenAudio(TDiscSource& source, THiddenAudio& hidden)
{
    hidden = THiddenAudio();
    std::unique_ptr<TDiscReader> reader = source.NewReader();
    TDiscLayout disc;
    int64_t start = 0, length = 0;
    if (!reader || reader->ReadLayout(disc) != 0) return false;
    if (!TrackSectors(disc, 0, start, length)) return true;
    hidden.Sectors = length;
    QString error;
    if (!reader->Open(start, start + length, error)) return false;
    std::vector<uint8_t> buffer(size_t(reader->ChunkSectors()) * CD_SECTOR_SIZE);
    bool ok = true;
    for (;;) {
        const int got = reader->Read(buffer.data(), int(buffer.size()), error);
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        if (std::any_of(buffer.begin(), buffer.begin() + got, [](uint8_t b) { return b != 0; })) {
            hidden.Audible = true;
            break;
        }
    }
    TRipLogTrack ignored;
    reader->Close(ignored);
    return ok || hidden.Audible;
}

QString TrackReadErrorText(const TRipLogTrack& read)
{
    QStringList ranges;
    const std::set<int64_t> bad(read.ReadErrors.begin(), read.ReadErrors.end());
    for (auto it = bad.begin(); it != bad.end();) {
        const int64_t first = *it;
        int64_t last = first;
        while (++it != bad.end() && *it == last + 1) last = *it;
        ranges << (first == last ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(last));
    }
    if (ranges.isEmpty() && read.LastSector >= read.FirstSector)
        ranges << QStringLiteral("%1-%2").arg(read.FirstSector).arg(read.LastSector);
    QString text = LangString("RES_TrackReadError", QStringLiteral("音轨 %1 读取出错：第 %2 扇区"))
                       .arg(read.Number).arg(ranges.join(QStringLiteral(", ")));
    // The reader's own words add something only when it named no sector.
    if (bad.empty() && !read.Failure.isEmpty())
        text += QStringLiteral(" (") + read.Failure + u')';
    return text;
}

namespace {

// ---- the first CD library ----------------------------------------------------------------

constexpr int AkripChunkSectors = 10;

// Sectors counted by a minute/second/frame address of the table of contents.
int64_t MsfSectors(const TTocEntry& e)
{
    return int64_t(e.Address[1]) * CD_FRAMES_PER_MINUTE + int64_t(e.Address[2]) * CD_FRAMES_PER_SECOND
           + e.Address[3];
}

class TAkripReader : public TDiscReader {
public:
    explicit TAkripReader(HCDROM handle) : FHandle(handle) {}

    int ReadLayout(TDiscLayout& disc) override
    {
        if (!ModifyCDParms(FHandle, CDP_MSF, 1)) return 1;
        TTocRecord toc{};
        if (ReadTOC(FHandle, toc) != 1) return 2;
        const int tracks = int(toc.LastTrack) - int(toc.FirstTrack) + 1;
        if (tracks < 1 || tracks > 99) return 2;
        // The table counts the 150 sectors of the lead-in; the reads do not.
        disc = TDiscLayout{};
        for (int i = 0; i < tracks; ++i) {
            disc.Starts.push_back(MsfSectors(toc.Entries[i]) - CD_MSF_OFFSET);
            disc.Data.push_back((toc.Entries[i].AdrControl & 0x04) != 0);
        }
        disc.LeadOut = MsfSectors(toc.Entries[tracks]) - CD_MSF_OFFSET;
        AddDiscExtras(disc, ReadDiscExtras(FHandle));
        return 0;
    }

    bool Open(int64_t first, int64_t end, QString&) override
    {
        FNext = first;
        FEnd = end;
        return true;
    }

    int Read(uint8_t* buffer, int capacity, QString& error) override
    {
        const int count = int(std::min<int64_t>(capacity / CD_SECTOR_SIZE, FEnd - FNext));
        if (count <= 0 || FAbort) return 0;
        const int64_t first = FNext;
        FNext += count;
        if (ReadRun(first, count, buffer)) return count * CD_SECTOR_SIZE;
        // The sectors are tried one by one: a sector that still fails fails the track and
        // is named exactly; when each reads alone, the read has recovered.
        const size_t named = FFaults.size();
        for (int i = 0; i < count && !FAbort && FFaults.size() == named; ++i)
            if (!ReadRun(first + i, 1, buffer + size_t(i) * CD_SECTOR_SIZE)) FFaults.push_back(first + i);
        if (FFaults.size() == named && !FAbort) return count * CD_SECTOR_SIZE;
        error = FAbort ? QStringLiteral("stopped") : ReadErrorLines({FFaults.begin() + ptrdiff_t(named), FFaults.end()}).value(0);
        return FAbort ? 0 : -1;
    }

    int ChunkSectors() const override { return AkripChunkSectors; }

    void Close(TRipLogTrack& report) override
    {
        report.ReadErrors.insert(report.ReadErrors.end(), FFaults.begin(), FFaults.end());
        FFaults.clear();
    }

    void Abort() override { FAbort = true; }

private:
    bool ReadRun(int64_t sector, int n, uint8_t* into)
    {
        TSectorBuffer buf;
        buf.Head.StartSector = uint32_t(sector);
        buf.Head.NumSectors = uint32_t(n);
        buf.Head.MaxLen = uint32_t(n) * CD_SECTOR_SIZE;
        buf.Data = into;
        // The library puts the audio at StartOffset: moved to the front when it is not there.
        if (ReadCDAudioLBA(FHandle, buf) != 1 || buf.Head.StartOffset < 0
            || uint64_t(buf.Head.StartOffset) + buf.Head.Len > buf.Head.MaxLen || buf.Head.Len != buf.Head.MaxLen)
            return false;
        if (buf.Head.StartOffset > 0) std::memmove(into, into + buf.Head.StartOffset, buf.Head.Len);
        return true;
    }

    HCDROM FHandle;
    int64_t FNext = 0;
    int64_t FEnd = 0;
    std::vector<int64_t> FFaults;
    std::atomic<bool> FAbort{false};
};

class TAkripSource : public TDiscSource {
public:
    explicit TAkripSource(HCDROM handle) : FHandle(handle) {}
    bool BeginAudit(TRipAudit& audit) override
    {
        if (!::BeginAudit(audit, FHandle)) return false;
        audit.SetReadSpeed(ApplyReadSpeed(DriveOfHandle(FHandle), audit.SpeedWanted()));
        return true;
    }
    std::unique_ptr<TDiscReader> NewReader() override { return std::make_unique<TAkripReader>(FHandle); }
    int Tracks() override
    {
        TTocRecord toc{};
        if (ReadTOC(FHandle, toc) != 1 || toc.LastTrack < toc.FirstTrack) return 0;
        return toc.LastTrack - toc.FirstTrack + 1;
    }
    TCDTextInfo CDText() override { return ReadCDText(FHandle); }
    TDiscExtras Extras() override { return ReadDiscExtras(FHandle); }

private:
    HCDROM FHandle;
};

// ---- the CD input component's library --------------------------------------------------------

class TCDInReader : public TDiscReader {
public:
    TCDInReader(int drive, const TCRRipParams& params) : FDrive(drive), FParams(params) {}

    int ReadLayout(TDiscLayout& disc) override
    {
        std::vector<TCRTocEntry> toc;
        if (CR_ReadToc(FDrive, toc) != 0 || toc.size() < 2) return 2;
        disc = TDiscLayout{};
        for (size_t i = 0; i + 1 < toc.size(); ++i) {
            disc.Starts.push_back(toc[i].StartSector);
            disc.Data.push_back((toc[i].Flags & CR_DATA_TRACK_FLAG) != 0);
        }
        disc.LeadOut = toc.back().StartSector;
        AddDiscExtras(disc, CR_ReadDiscExtras(FDrive));
        return 0;
    }

    bool Open(int64_t first, int64_t end, QString& error) override
    {
        FRipper = std::make_unique<TCRRipper>(&FAbort);
        return FRipper->Open(FDrive, FParams, int32_t(first), int32_t(end), error);
    }

    int Read(uint8_t* buffer, int capacity, QString& error) override
    {
        return FRipper ? FRipper->RipChunk(buffer, capacity, error) : 0;
    }

    int ChunkSectors() const override { return CD_TRANSFER_BUFFER / CD_SECTOR_SIZE; }

    void ForceParanoia(bool full) override
    {
        FParams.Paranoid = full;
        FParams.ParanoiaMode = 0;
        FParams.JitterCorrection = full;
    }

    void Close(TRipLogTrack& report) override
    {
        if (!FRipper) return;
        report.JitterRepairs = FRipper->JitterErrors();
        for (int32_t sector : FRipper->FaultsMet()) report.ReadErrors.push_back(sector);
        FRipper.reset();
    }

    void Abort() override { FAbort = true; }

private:
    int FDrive;
    TCRRipParams FParams;
    std::atomic<bool> FAbort{false};
    std::unique_ptr<TCRRipper> FRipper;
};

class TCDInSource : public TDiscSource {
public:
    explicit TCDInSource(TCDIn& cdIn) : FCDIn(cdIn) {}
    bool BeginAudit(TRipAudit& audit) override
    {
        if (!::BeginAudit(audit, FCDIn)) return false;
        audit.SetReadSpeed(ApplyReadSpeed(CR_TableIndex(FCDIn.CurrentDrive()), audit.SpeedWanted()));
        return true;
    }
    std::unique_ptr<TDiscReader> NewReader() override
    {
        TCRRipParams params;
        params.JitterCorrection = FCDIn.EnableJitterCorrection();
        params.ReadSectors = FCDIn.ReadSectors();
        params.OverlapSectors = FCDIn.OverlapSectors();
        params.MultiReadCount = FCDIn.MultiReadCount();
        params.Paranoid = FCDIn.Paranoid();
        params.ParanoiaMode = FCDIn.ParanoiaMode();
        params.LockTray = true;
        return std::make_unique<TCDInReader>(FCDIn.CurrentDrive(), params);
    }
    int Tracks() override { return std::max(FCDIn.TracksCount(), 0); }
    TCDTextInfo CDText() override { return FCDIn.CDText(); }
    TDiscExtras Extras() override { return FCDIn.Extras(); }

private:
    TCDIn& FCDIn;
};

} // namespace

QString ApplyReadSpeed(int index, int speed)
{
    if (speed < 0 || speed > MaxReadSpeed)
        speed = 0;
    const QString path = DriveIdentifier(index);
    if (path.isEmpty())
        return QStringLiteral("not applicable (no drive)");
    if (DriveIsImage(index))
        return QStringLiteral("not applicable (disc image)");
    const QString wanted = speed == 0 ? QStringLiteral("drive default") : QStringLiteral("%1x").arg(speed);
    // A handle of its own: the speed is the drive's, whichever handle set it. 0 asks the
    // drive for its own choice again (a rip before may have slowed it).
    CdIo_t* cdio = cdio_open(QFile::encodeName(path).constData(), DRIVER_DEVICE);
    if (!cdio)
        return wanted + QStringLiteral(" not set (the drive could not be opened)");
    const driver_return_code_t rc = cdio_set_speed(cdio, speed);
    cdio_destroy(cdio);
    if (rc != DRIVER_OP_SUCCESS)
        return wanted + QStringLiteral(" refused by the drive (%1)").arg(QString::fromUtf8(cdio_driver_errmsg(rc)));
    return wanted;
}

std::unique_ptr<TDiscSource> AkripDiscSource(HCDROM handle)
{
    return std::make_unique<TAkripSource>(handle);
}

std::unique_ptr<TDiscSource> CDInDiscSource(TCDIn& cdIn)
{
    return std::make_unique<TCDInSource>(cdIn);
}
