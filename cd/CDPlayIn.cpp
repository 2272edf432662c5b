#include "cd/CDPlayIn.h"
#include "settings/Lang.h"
#include <algorithm>
#include <cstring>

namespace {

uint32_t EntryLba(const TTocEntry& e)
{
    return uint32_t(e.Address[0]) << 24 | uint32_t(e.Address[1]) << 16 | uint32_t(e.Address[2]) << 8 |
           uint32_t(e.Address[3]);
}

} // namespace

QString CDErrorText(int aspiError)
{
    switch (aspiError) {
    case ALERR_NODISC:
        return QStringLiteral("no disc in the drive");
    case ALERR_READERROR:
        return QStringLiteral("the disc cannot be read");
    case ALERR_INVHANDLE:
    case ALERR_NOMOREHND:
        return QStringLiteral("the drive cannot be opened");
    case ALERR_NOWNASPI:
    case ALERR_INVPARAM:
        return QStringLiteral("no such CD drive");
    default:
        return QStringLiteral("CD drive error %1").arg(aspiError);
    }
}

TCDPlayIn::TCDPlayIn(QObject* Owner) : TAuInput(Owner) {}

TCDPlayIn::~TCDPlayIn()
{
    ReleaseReaders();
    CloseHandle();
}

void TCDPlayIn::CloseHandle()
{
    if (FHandle != 0)
        CloseCDHandle(FHandle);
    FHandle = 0;
    FDrive = -1;
}

QString TCDPlayIn::SelectTrack(int drive, int track)
{
    std::lock_guard lock(FLock);
    FStart = FEnd = 0;
    // A fresh handle for every track: one left from an earlier play may have been taken
    // back by the drive layer since (a window freeing handles to get one of its own).
    CloseHandle();
    if (drive < 0 || drive > 255)
        return CDErrorText(ALERR_INVPARAM);
    THandleRequest request;
    request.HostAdapter = uint8_t(drive);
    FHandle = GetCDHandle(request);
    if (FHandle == 0)
        return CDErrorText(GetAspiLibError());
    FDrive = drive;
    TTocRecord toc;
    std::memset(&toc, 0, sizeof toc);
    if (!ModifyCDParms(FHandle, CDP_MSF, 0) || ReadTOC(FHandle, toc) != 1)
        return CDErrorText(GetAspiLibError());
    const int index = track - toc.FirstTrack;
    if (track < 1 || index < 0 || track > toc.LastTrack)
        return LangString(QStringLiteral("RES_Disc_NoSuchTrack"), QStringLiteral("光盘上没有音轨 %1")).arg(track);
    const TTocEntry& e = toc.Entries[index];
    if (e.AdrControl & 0x04)
        return LangString(QStringLiteral("RES_Cli_DataTrack"), QStringLiteral("音轨 %1 是数据音轨")).arg(track);
    // The entry after the track: the next track, or the lead-out after the last one.
    const uint32_t start = EntryLba(e);
    const uint32_t end = EntryLba(toc.Entries[index + 1]);
    if (end <= start)
        return LangString(QStringLiteral("RES_Track_Empty"), QStringLiteral("音轨 %1 是空的")).arg(track);
    FStart = start;
    FEnd = end;
    return {};
}

int TCDPlayIn::GetTotalTime()
{
    return int((FEnd - FStart) / CD_FRAMES_PER_SECOND);
}

int64_t TCDPlayIn::GetTotalSamples()
{
    return int64_t(FEnd - FStart) * CD_SECTOR_SIZE / 4;
}

void TCDPlayIn::DoInit()
{
    if (FHandle == 0 || FEnd <= FStart)
        throw EAuException("No track selected");
    FNext = FStart;
    FBufOffset = FBufLength = 0;
    FPosition = 0;
    FSize = int64_t(FEnd - FStart) * CD_SECTOR_SIZE;
    FSampleSize = 4;
    FBuffer.resize(size_t(SectorsPerRead) * CD_SECTOR_SIZE);
    FBusy = true;
}

void TCDPlayIn::DoFlush()
{
    FBusy = false;
}

void TCDPlayIn::DoGetData(void*& Buffer, uint32_t& Bytes)
{
    if (!FBusy)
        throw EAuException("The Stream is not opened");
    // Sectors are read a few at a time and handed out in pieces as small as asked for.
    if (FBufOffset >= FBufLength) {
        const uint32_t sectors = std::min(SectorsPerRead, FEnd - FNext);
        FBufOffset = FBufLength = 0;
        if (sectors == 0 || Bytes == 0) {
            Buffer = nullptr;
            Bytes = 0;
            return;
        }
        TSectorBuffer buf;
        buf.Head.StartSector = FNext;
        buf.Head.NumSectors = sectors;
        buf.Head.MaxLen = uint32_t(FBuffer.size());
        buf.Data = FBuffer.data();
        if (ReadCDAudioLBA(FHandle, buf) != 1)
            throw EAuException(CDErrorText(GetAspiLibError()));
        FBufOffset = uint32_t(std::max(buf.Head.StartOffset, 0));
        FBufLength = std::min<uint32_t>(FBufOffset + sectors * CD_SECTOR_SIZE, uint32_t(FBuffer.size()));
        FNext += sectors;
    }
    const uint32_t n = std::min(Bytes, FBufLength - FBufOffset);
    Buffer = FBuffer.data() + FBufOffset;
    Bytes = n;
    FBufOffset += n;
    FPosition += n;
}
