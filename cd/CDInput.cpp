#include "cd/CDInput.h"
#include "settings/IniFile.h"
#include "settings/Options.h"

#include <algorithm>

namespace {

int64_t SectorOf(const std::vector<TCRTocEntry>& toc, const TCDPosition& pos)
{
    return int64_t(toc[size_t(pos.Track - 1)].StartSector) + int64_t(pos.Minutes) * CD_FRAMES_PER_MINUTE +
           int64_t(pos.Seconds) * CD_FRAMES_PER_SECOND + pos.Frames;
}

bool IsDataEntry(const TCRTocEntry& e)
{
    return (e.Flags & CR_DATA_TRACK_FLAG) != 0;
}

} // namespace


TCDIn::TCDIn(QObject* Owner) : TAuInput(Owner)
{
    // The library's own settings file: it starts on the first drive. (The library is
    // linked, so there is no loading or initialisation that could fail here.)
    TIniFile ini(SettingsFolder() + QStringLiteral("cdr.ini"));
    ini.WriteString(QStringLiteral("CD-ROM"), QStringLiteral("nActive"), QStringLiteral("0"));
    ini.UpdateFile();
}

TCDIn::~TCDIn()
{
    if (FBusy)
        Reset();
}

int TCDIn::LockDrive()
{
    std::lock_guard lock(FDriveLock);
    if (FLockCount++ == 0)
        FActiveDrive = FCurrentDrive;
    return FActiveDrive;
}

void TCDIn::UnlockDrive()
{
    std::lock_guard lock(FDriveLock);
    FLockCount = std::max(0, FLockCount - 1);
}

#define CDIN_QUERY(drive)                     \
    const int drive = LockDrive();            \
    struct TUnlock {                          \
        TCDIn* Self;                          \
        ~TUnlock() { Self->UnlockDrive(); }   \
    } unlockAtEnd{this}

int TCDIn::DrivesCount()
{
    return CR_GetNumCDROM();
}

void TCDIn::SetCurrentDrive(int Value)
{
    if (Value >= 0 && Value < DrivesCount())
        FCurrentDrive = Value;
}

QString TCDIn::DriveName()
{
    CDIN_QUERY(drive);
    return CR_GetDriveID(drive);
}

bool TCDIn::MediaPresent()
{
    CDIN_QUERY(drive);
    return CR_IsMediaLoaded(drive) == 0;
}

bool TCDIn::ReadToc(std::vector<TCRTocEntry>& Toc)
{
    CDIN_QUERY(drive);
    return CR_ReadToc(drive, Toc) == 0 && Toc.size() >= 2;
}

int TCDIn::TracksCount()
{
    std::vector<TCRTocEntry> toc;
    return ReadToc(toc) ? int(toc.size()) - 1 : -1;
}

TCDTrackInfo TCDIn::Tracks(int n)
{
    std::vector<TCRTocEntry> toc;
    if (!ReadToc(toc) || n < 1 || n > int(toc.size()) - 1)
        throw EAuException("Track out of range.");
    const TCRTocEntry& entry = toc[size_t(n - 1)];
    const int64_t length = int64_t(toc[size_t(n)].StartSector) - entry.StartSector;
    TCDTrackInfo info;
    info.Minutes = uint8_t(length / CD_FRAMES_PER_MINUTE);
    info.Seconds = uint8_t((length / CD_FRAMES_PER_SECOND) % 60);
    info.Frames = uint8_t(length % CD_FRAMES_PER_SECOND);
    // The data bit of the control nibble; other bits (copy permitted, pre-emphasis) may
    // be set on either kind of track.
    info.TrackType = IsDataEntry(entry) ? ttData : ttAudio;
    return info;
}

TCDTextInfo TCDIn::CDText()
{
    CDIN_QUERY(drive);
    return CR_ReadCDText(drive);
}

TDiscExtras TCDIn::Extras()
{
    CDIN_QUERY(drive);
    return CR_ReadDiscExtras(drive);
}

// --- positions ------------------------------------------------------------------------

int TCDIn::StartTrack() const
{
    std::lock_guard lock(FPosLock);
    return FStartTrack;
}

int TCDIn::EndTrack() const
{
    std::lock_guard lock(FPosLock);
    return FEndTrack;
}

TCDPosition TCDIn::StartPos() const
{
    std::lock_guard lock(FPosLock);
    return FStartPos;
}

TCDPosition TCDIn::EndPos() const
{
    std::lock_guard lock(FPosLock);
    return FEndPos;
}

void TCDIn::SetStartTrack(int Value)
{
    std::lock_guard lock(FPosLock);
    if (FBusy)
        throw EAuException("The component is busy");
    FStartTrack = Value;
    FStartPos = TCDPosition{Value, 0, 0, 0};
}

void TCDIn::SetEndTrack(int Value)
{
    std::lock_guard lock(FPosLock);
    if (FBusy)
        throw EAuException("The component is busy");
    FEndTrack = Value;
    FEndPos = TCDPosition{Value + 1, 0, 0, 0};
}

void TCDIn::SetStartPos(const TCDPosition& Value)
{
    std::lock_guard lock(FPosLock);
    if (FBusy)
        throw EAuException("The component is busy");
    FStartPos = Value;
}

void TCDIn::SetEndPos(const TCDPosition& Value)
{
    TCDPosition pos = Value;
    if (pos.Track == CD_END_OF_DISC_TRACK)
        pos.Track = TracksCount() + 1;
    std::lock_guard lock(FPosLock);
    if (FBusy)
        throw EAuException("The component is busy");
    FEndPos = pos;
}

void TCDIn::AbortRead()
{
    FAbort = true;
}

// --- the stream -------------------------------------------------------------------------

TCDIn::TStretch TCDIn::CheckedStretch(const std::vector<TCRTocEntry>& toc) const
{
    const int tracks = int(toc.size()) - 1;
    TCDPosition start, end;
    {
        std::lock_guard lock(FPosLock);
        start = FStartPos;
        end = FEndPos;
    }
    if (start.Track < 1 || start.Track > tracks)
        throw EAuException("The start track out of range");
    if (IsDataEntry(toc[size_t(start.Track - 1)]))
        throw EAuException("Trying to rip a data track");
    if (end.Track < 1 || end.Track > tracks + 1)
        throw EAuException("The end track out of range");
    TStretch s;
    s.First = SectorOf(toc, start);
    // The stretch stops at the lead-out and before a data track: the library would hand
    // out made-up or data bytes there.
    int64_t limit = toc.back().StartSector;
    for (int i = 0; i < tracks; ++i)
        if (IsDataEntry(toc[size_t(i)]) && toc[size_t(i) + 1].StartSector > s.First)
            limit = std::min(limit, std::max<int64_t>(toc[size_t(i)].StartSector, s.First));
    s.First = std::min(s.First, limit);
    s.End = std::clamp(SectorOf(toc, end), s.First, limit);
    return s;
}

int64_t TCDIn::StretchBytes()
{
    std::vector<TCRTocEntry> toc;
    if (!ReadToc(toc))
        return 0;
    try {
        const TStretch s = CheckedStretch(toc);
        return (s.End - s.First) * CD_SECTOR_SIZE;
    } catch (const EAuException&) {
        return 0;
    }
}

int64_t TCDIn::GetTotalSamples()
{
    return (FBusy ? FRipBytes.load() : StretchBytes()) / 4;
}

int TCDIn::GetTotalTime()
{
    // Seconds rounded to the nearest, halves to even.
    const int64_t samples = GetTotalSamples();
    int64_t q = samples / 44100;
    const int64_t r2 = (samples % 44100) * 2;
    if (r2 > 44100 || (r2 == 44100 && (q & 1)))
        ++q;
    return int(q);
}

void TCDIn::DoInit()
{
    if (FBusy)
        throw EAuException("The component is busy");
    TCRRipParams params;
    params.JitterCorrection = FEnableJitterCorrection;
    params.ReadSectors = FReadSectors;
    params.OverlapSectors = FOverlapSectors;
    params.MultiReadCount = FMultiReadCount;
    params.Paranoid = FParanoid;
    params.ParanoiaMode = FParanoiaMode;
    params.LockTray = FLockTray;

    const int drive = LockDrive();
    try {
        std::vector<TCRTocEntry> toc;
        if (CR_ReadToc(drive, toc) != 0 || toc.size() < 2)
            throw EAuException("The drive is not ready");
        const TStretch s = CheckedStretch(toc);
        // The read offset shifts the sectors read; the stream keeps the stretch's length.
        TDiscLayout disc;
        for (size_t i = 0; i + 1 < toc.size(); ++i) {
            disc.Starts.push_back(toc[i].StartSector);
            disc.Data.push_back(IsDataEntry(toc[i]));
        }
        disc.LeadOut = toc.back().StartSector;
        const int track = StartPos().Track;
        int64_t spanFirst = 0, spanEnd = 0;
        disc.AudioSpan(track, spanFirst, spanEnd);
        FStream = std::make_unique<TCorrectedStream>(s.First, s.End - s.First, FReadOffset, spanFirst, spanEnd);
        FRipper = std::make_unique<TCRRipper>(&FAbort);
        QString error;
        if (!FRipper->Open(drive, params, int32_t(FStream->ReadFirst()), int32_t(FStream->ReadEnd()), error))
            throw EAuException("The drive is not ready");
        TCRRipper* ripper = FRipper.get();
        FStream->SetSource([ripper](uint8_t* buffer, int capacity, QString& why) {
            return ripper->RipChunk(buffer, capacity, why);
        }, CD_TRANSFER_BUFFER / CD_SECTOR_SIZE);
        const bool first = disc.FirstAudio(track) && s.First == disc.Starts[size_t(track - 1)];
        // The disc's last audio track leaves its end out of the AccurateRip sums, also where a
        // data session follows (an enhanced CD): the stretch reaches the end of the run
        // holding that track.
        int lastAudio = 0;
        for (int t = 1; t <= disc.Tracks(); ++t)
            if (!disc.Data[size_t(t - 1)]) lastAudio = t;
        int64_t lastFirst = 0, lastEnd = -1;
        if (lastAudio > 0) disc.AudioSpan(lastAudio, lastFirst, lastEnd);
        const bool last = s.End == spanEnd && spanEnd == lastEnd;
        FChecksum.Reset((s.End - s.First) * CD_SECTOR_SIZE / 4, first, last);
        {
            std::lock_guard report(FReportLock);
            FReport = TRipLogTrack{};
            FReport.Number = track;
            FReport.FirstSector = s.First;
            FReport.LastSector = s.End - 1;
            FReport.LeadZeros = FStream->LeadZeroSamples();
            FReport.TailZeros = FStream->TailZeroSamples();
        }
        FRipBytes = (s.End - s.First) * CD_SECTOR_SIZE;
        FSize = FRipBytes.load();
        FPosition = 0;
        FBuffer.resize(CD_TRANSFER_BUFFER);
        FNext = 0;
        FValid = 0;
        FJitterErrors = 0;
        std::lock_guard lock(FPosLock);
        FBusy = true;
    } catch (...) {
        FRipper.reset();
        FStream.reset();
        UnlockDrive();
        throw;
    }
}

void TCDIn::DoGetData(void*& Buffer, uint32_t& Bytes)
{
    if (!FBusy || !FRipper)
        throw EAuException("The Stream is not opened");
    if (FNext >= FValid) {
        FNext = 0;
        FValid = 0;
        QString error;
        const int got = FStream->Read(FBuffer.data(), int(FBuffer.size()), error);
        if (got < 0)
            throw EAuException(error);
        FChecksum.Add(FBuffer.data(), size_t(got));
        FValid = uint32_t(got);
    }
    const uint32_t n = std::min(Bytes, FValid - FNext);
    Buffer = FBuffer.data() + FNext;
    Bytes = n;
    FNext += n;
    FPosition += n;
}

TRipLogTrack TCDIn::LastRead() const
{
    std::lock_guard report(FReportLock);
    return FReport;
}

void TCDIn::DoFlush()
{
    if (FRipper) {
        FJitterErrors = FRipper->JitterErrors();
        std::lock_guard report(FReportLock);
        FReport.Crc = FChecksum.Crc32();
        FReport.V1 = FChecksum.V1();
        FReport.V2 = FChecksum.V2();
        FReport.JitterRepairs = FJitterErrors;
        for (int32_t sector : FRipper->FaultsMet())
            FReport.ReadErrors.push_back(sector);
        FRipper.reset();
    }
    FStream.reset();
    if (FBusy) {
        UnlockDrive();
        std::lock_guard lock(FPosLock);
        FBusy = false;
    }
    FSize = 0;
    FValid = 0;
    FNext = 0;
    FAbort = false;     // an abort asked for before the rip began still ends it
}
