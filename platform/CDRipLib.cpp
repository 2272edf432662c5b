// The second CD drive library on libcdio and libcdio-paranoia.
//
// Reads go through paranoia with our wrapper around the drive's read_audio, which adds the
// simulated read faults and keeps the list of sectors a read failed to return. Paranoia
// makes up the bytes of a sector it could not read (zeros, or whatever it gave up on); the
// list tells the ripper not to hand such a sector out as audio.
#include "platform/CDRipLib.h"
#include "platform/CDImageMedia.h"
#include "platform/ReadFaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cdio/cdio.h>
#include <cdio/mmc_ll_cmds.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

namespace {

constexpr int kDefaultRetries = 20;
// Drive reads a sector may take per retry before the ripper stops feeding paranoia data:
// verifying reads overlap and read ahead, so a good sector takes a few dozen at most.
constexpr int kReadsPerRetry = 64;
std::atomic<int> jitterTestFlags{-1};   // -1: take VARNELCD_JITTER_TEST_FLAGS

int JitterTestFlags()
{
    const int flags = jitterTestFlags;
    return flags >= 0 ? flags : qEnvironmentVariableIntValue("VARNELCD_JITTER_TEST_FLAGS");
}

// This library's drives as indexes into the shared table.
std::vector<int> UsableDrives(bool rescan)
{
    std::vector<int> usable;
    const std::vector<TCDDrive> table = CDDriveTable(rescan);
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].Image || DeviceOpenError(table[i].Path) == 0)
            usable.push_back(int(i));
    return usable;
}

bool DriveAt(int drive, TCDDrive& out)
{
    const int index = CR_TableIndex(drive);
    if (index < 0)
        return false;
    const std::vector<TCDDrive> table = CDDriveTable(false);
    if (size_t(index) >= table.size())
        return false;
    out = table[size_t(index)];
    return true;
}

// Opens the drive's disc for one query; nullptr when there is none (or the tray is open).
CdIo_t* OpenDisc(const TCDDrive& drive)
{
    if (drive.Image && ImageTrayOpen(drive.Path))
        return nullptr;
    return OpenCdioSource(drive.Path, drive.Image);
}

} // namespace

int CR_TableIndex(int drive)
{
    const std::vector<int> usable = UsableDrives(false);
    return drive >= 0 && size_t(drive) < usable.size() ? usable[size_t(drive)] : -1;
}

int CR_GetNumCDROM()
{
    return int(UsableDrives(true).size());
}

QString CR_GetDriveID(int drive)
{
    TCDDrive d;
    if (!DriveAt(drive, d))
        return {};
    if (d.Image)
        return QStringLiteral("VarnelCD Disc image");
    QString text = QStringLiteral("CD-ROM drive");
    if (CdIo_t* cdio = OpenCdioSource(d.Path, false)) {
        cdio_hwinfo_t hw{};
        if (cdio_get_hwinfo(cdio, &hw)) {
            const QString vendor = QString::fromLatin1(hw.psz_vendor).trimmed();
            const QString model = QString::fromLatin1(hw.psz_model).trimmed();
            text = vendor.isEmpty() ? model : vendor + QLatin1Char(' ') + model;
        }
        cdio_destroy(cdio);
    }
    return text;
}

int CR_ReadToc(int drive, std::vector<TCRTocEntry>& toc)
{
    toc.clear();
    TCDDrive d;
    if (!DriveAt(drive, d))
        return 1;
    CdIo_t* cdio = OpenDisc(d);
    TDiscToc disc;
    const bool ok = cdio && ReadDiscToc(cdio, disc);
    if (cdio)
        cdio_destroy(cdio);
    if (!ok)
        return 1;
    for (int i = 0; i <= disc.TrackCount(); ++i) {
        TCRTocEntry e;
        e.StartSector = disc.Starts[size_t(i)];
        const bool leadOut = i == disc.TrackCount();
        e.Flags = disc.Control[size_t(leadOut ? i - 1 : i)];
        e.TrackNumber = leadOut ? 0xAA : uint8_t(disc.FirstTrack + i);
        toc.push_back(e);
    }
    return 0;
}

int CR_IsMediaLoaded(int drive)
{
    std::vector<TCRTocEntry> toc;
    return CR_ReadToc(drive, toc) == 0 ? 0 : 1;
}

TCDTextInfo CR_ReadCDText(int drive)
{
    TCDDrive d;
    if (!DriveAt(drive, d))
        return {};
    TCDTextInfo info;
    if (CdIo_t* cdio = OpenDisc(d)) {
        TDiscToc toc;
        if (ReadDiscToc(cdio, toc))
            info = ReadCdioCDText(cdio, toc);
        cdio_destroy(cdio);
    }
    return info;
}

TDiscExtras CR_ReadDiscExtras(int drive)
{
    TCDDrive d;
    if (!DriveAt(drive, d))
        return {};
    // A drive's Q sub-channel is searched once per disc (its table of contents).
    static std::mutex cacheMutex;
    static std::map<QString, std::pair<std::vector<int>, TDiscExtras>> cache;
    TDiscExtras extras;
    if (CdIo_t* cdio = OpenDisc(d)) {
        TDiscToc toc;
        if (ReadDiscToc(cdio, toc)) {
            std::unique_lock lock(cacheMutex);
            const auto it = cache.find(d.Path);
            if (!d.Image && it != cache.end() && it->second.first == toc.Starts) {
                extras = it->second.second;
            } else {
                lock.unlock();
                extras = ReadCdioExtras(cdio, toc, d.Image ? d.Path : QString());
                lock.lock();
                if (!d.Image) cache[d.Path] = {toc.Starts, extras};
            }
        }
        cdio_destroy(cdio);
    }
    return extras;
}

namespace {

// Device nodes: libcdio's list and every /dev/sr*, each once.
QStringList DeviceNodes()
{
    EnsureCdioReady();
    QStringList nodes;
    QStringList seen;
    auto add = [&](const QString& path) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        const QString key = canonical.isEmpty() ? path : canonical;
        if (!seen.contains(key)) {
            seen << key;
            nodes << path;
        }
    };
    char** devices = cdio_get_devices(DRIVER_DEVICE);
    for (char** d = devices; d && *d; ++d)
        add(QFile::decodeName(*d));
    if (devices)
        cdio_free_device_list(devices);
    const QDir dev(QStringLiteral("/dev"));
    for (const QString& name : dev.entryList({QStringLiteral("sr*")}, QDir::System | QDir::Files, QDir::Name))
        add(dev.filePath(name));
    return nodes;
}

} // namespace

std::vector<TCRDeviceProblem> CR_DeviceProblems()
{
    std::vector<TCRDeviceProblem> problems;
    for (const QString& node : DeviceNodes())
        if (const int error = DeviceOpenError(node); error != 0)
            problems.push_back({node, error});
    return problems;
}

int CR_DeviceNodeCount()
{
    return int(DeviceNodes().size());
}

void CR_SetJitterTestFlags(int flags)
{
    jitterTestFlags = std::max(0, flags);
}

int CR_ParanoiaModeFor(const TCRRipParams& params)
{
    int mode;
    if (params.Paranoid)
        mode = params.ParanoiaMode == 0 ? PARANOIA_MODE_FULL : params.ParanoiaMode;
    else
        mode = params.JitterCorrection ? (PARANOIA_MODE_OVERLAP | PARANOIA_MODE_VERIFY) : PARANOIA_MODE_DISABLE;
    return mode & ~PARANOIA_MODE_NEVERSKIP;
}

// ---------------------------------------------------------------------------------------

struct TCRRipper::TState {
    cdrom_drive_t* Drive = nullptr;              // owns its CdIo_t
    cdrom_paranoia_t* Paranoia = nullptr;
    long (*DriveRead)(cdrom_drive_t*, void*, lsn_t, long) = nullptr;
    const std::atomic<bool>* Abort = nullptr;
    int32_t First = 0;
    int32_t End = 0;
    int32_t Cursor = 0;
    int Retries = kDefaultRetries;
    int ReadBudget = 0;                          // drive reads one sector may take
    std::set<int32_t> Failed;                    // stretch sectors no read has returned yet
    std::vector<bool> Returned;                  // stretch sectors some read returned
    int32_t Skipped = -1;                        // sector paranoia gave up on in this read
    int ReadsForSector = 0;                      // drive reads since the cursor moved
    bool GivingUp = false;                       // fail every read until the cursor moves
    int Fixups = 0;
    int Repaired = 0;
    std::vector<int32_t> FaultsMet;              // first failing sector of every failed read, in order
    bool Direct = false;                         // no checks asked for: plain drive reads
    QString ImagePath;                           // image whose tray the rip holds shut
    bool DeviceLocked = false;
};

namespace {

// The rip whose paranoia read runs on this thread: the read callbacks carry no context.
thread_local TCRRipper::TState* currentRip = nullptr;

struct TCurrentRip {
    explicit TCurrentRip(TCRRipper::TState* s) { currentRip = s; }
    ~TCurrentRip() { currentRip = nullptr; }
};

long HookedRead(cdrom_drive_t* d, void* p, lsn_t begin, long sectors)
{
    TCRRipper::TState* s = currentRip;
    if (!s || s->Drive != d || !s->DriveRead)
        return -1;
    // After an abort every read fails at once, so that paranoia's retries end quickly.
    // The same when one sector has taken far more reads than its retries allow: paranoia
    // can go on "fixing" a sector a drive never returns (it compares the zeros it put in
    // its place) and would never give up on it.
    if (s->Abort && s->Abort->load())
        return -1;
    if (s->GivingUp || ++s->ReadsForSector > s->ReadBudget) {
        s->GivingUp = true;
        return -1;
    }
    // A simulated fault ends the read at the first failing sector, as a drive's would.
    const int64_t fault = ReadFaultAt(begin, sectors);
    const long wanted = fault < 0 ? sectors : long(fault - begin);
    long got = wanted > 0 ? s->DriveRead(d, p, begin, wanted) : -1;
    got = std::clamp(got, 0L, wanted);
    if (got < sectors && begin + got >= s->First && begin + got < s->End)
        s->FaultsMet.push_back(int32_t(begin + got));
    for (long i = 0; i < sectors; ++i) {
        const int32_t sector = int32_t(begin + i);
        if (sector < s->First || sector >= s->End)
            continue;                             // read-ahead outside the stretch
        const size_t at = size_t(sector - s->First);
        if (i < got) {
            s->Returned[at] = true;
            if (!s->Failed.empty() && s->Failed.erase(sector))
                ++s->Repaired;
        } else if (!s->Returned[at]) {
            s->Failed.insert(sector);
        }
    }
    return got == 0 ? -1 : got;
}

void ReadCallback(long, paranoia_cb_mode_t mode)
{
    TCRRipper::TState* s = currentRip;
    if (!s)
        return;
    switch (mode) {
    case PARANOIA_CB_FIXUP_EDGE:
    case PARANOIA_CB_FIXUP_ATOM:
    case PARANOIA_CB_FIXUP_DROPPED:
    case PARANOIA_CB_FIXUP_DUPED:
        ++s->Fixups;
        break;
    case PARANOIA_CB_SKIP:
        // Paranoia gave up on the sector it is about to hand out.
        if (s->Skipped < 0)
            s->Skipped = s->Cursor;
        break;
    default:
        break;
    }
}

} // namespace

TCRRipper::TCRRipper(const std::atomic<bool>* abort) : FAbort(abort) {}

TCRRipper::~TCRRipper()
{
    Close();
}

bool TCRRipper::Open(int drive, const TCRRipParams& params, int32_t first, int32_t end, QString& error)
{
    Close();
    TCDDrive d;
    if (!DriveAt(drive, d)) {
        error = QStringLiteral("No such drive");
        return false;
    }
    CdIo_t* cdio = OpenDisc(d);
    if (!cdio) {
        error = QStringLiteral("No disc in the drive");
        return false;
    }
    cdrom_drive_t* cd = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr);
    if (!cd) {
        cdio_destroy(cdio);
        error = QStringLiteral("Not an audio disc");
        return false;
    }
    if (cdio_cddap_open(cd) != 0) {
        cdio_cddap_close(cd);
        error = QStringLiteral("The disc cannot be opened for reading");
        return false;
    }
    auto s = std::make_unique<TState>();
    s->Drive = cd;
    s->Abort = FAbort;
    s->First = first;
    s->End = std::max(first, end);
    s->Cursor = first;
    s->Returned.assign(size_t(s->End - s->First), false);
    s->Retries = params.MultiReadCount > 0 ? params.MultiReadCount : kDefaultRetries;
    s->ReadBudget = kReadsPerRetry * (std::min(s->Retries, 1 << 20) + 1);
    // Paranoia would guess the byte order from the audio and swap a whole stretch that
    // happens to look big-endian: audio CDs are little-endian, always.
    cd->bigendianp = 0;
    if (params.ReadSectors > 0)
        cd->nsectors = params.ReadSectors;
    cd->i_test_flags = JitterTestFlags();
    s->DriveRead = cd->read_audio;
    cd->read_audio = HookedRead;
    s->Paranoia = cdio_paranoia_init(cd);
    if (!s->Paranoia) {
        cd->read_audio = s->DriveRead;
        cdio_cddap_close(cd);
        error = QStringLiteral("Out of memory");
        return false;
    }
    const int mode = CR_ParanoiaModeFor(params);
    cdio_paranoia_modeset(s->Paranoia, mode);
    // Without checks paranoia would only copy each sector once more: read straight from the
    // drive (through the same wrapper) in the drive's own read size.
    s->Direct = mode == PARANOIA_MODE_DISABLE;
    if (params.OverlapSectors > 0)
        cdio_paranoia_overlapset(s->Paranoia, params.OverlapSectors);
    // The range also places the cursor. A seek afterwards would widen the range to the
    // track, and paranoia would then insist on verifying against sectors past the stretch.
    cdio_paranoia_set_range(s->Paranoia, s->First, std::max(s->First, s->End - 1));
    if (params.LockTray) {
        if (d.Image) {
            LockImageTray(d.Path, true);
            s->ImagePath = d.Path;
        } else {
            s->DeviceLocked = mmc_prevent_allow_medium_removal(cdio, false, true, 0) == DRIVER_OP_SUCCESS;
        }
    }
    FState = std::move(s);
    return true;
}

int TCRRipper::RipChunk(uint8_t* buffer, int capacity, QString& error)
{
    TState* s = FState.get();
    if (!s)
        return 0;
    TCurrentRip current(s);
    if (s->Direct)
        return DirectChunk(buffer, capacity, error);
    int bytes = 0;
    while (bytes + CD_SECTOR_SIZE <= capacity && s->Cursor < s->End) {
        if (FAbort && FAbort->load())
            break;
        s->Skipped = -1;
        s->ReadsForSector = 0;
        s->GivingUp = false;
        const int16_t* data = cdio_paranoia_read_limited(s->Paranoia, ReadCallback, s->Retries);
        if (FAbort && FAbort->load())
            break;                                // the stream just ends
        const int32_t sector = s->Cursor;
        if (!data || s->Skipped >= 0 || s->Failed.count(sector)) {
            // Name the sector a drive did not return, when there is one: paranoia may give
            // up a little before it, on a sector it could not verify for that reason.
            const auto unread = s->Failed.lower_bound(sector);
            error = QStringLiteral("Read error at sector %1").arg(unread != s->Failed.end() ? *unread : sector);
            return -1;
        }
        std::memcpy(buffer + bytes, data, CD_SECTOR_SIZE);
        bytes += CD_SECTOR_SIZE;
        ++s->Cursor;
    }
    return bytes;
}

int TCRRipper::DirectChunk(uint8_t* buffer, int capacity, QString& error)
{
    TState* s = FState.get();
    const long step = std::max(1, s->Drive->nsectors);
    long done = 0;
    const long want = std::min<long>(capacity / CD_SECTOR_SIZE, s->End - s->Cursor);
    while (done < want) {
        if (FAbort && FAbort->load())
            break;                                // the stream just ends
        const long n = std::min(step, want - done);
        s->ReadsForSector = 0;
        s->GivingUp = false;
        const long got = HookedRead(s->Drive, buffer + done * CD_SECTOR_SIZE, s->Cursor, n);
        if (got < n) {
            error = QStringLiteral("Read error at sector %1").arg(s->Cursor + std::max(0L, got));
            return -1;
        }
        done += n;
        s->Cursor += int32_t(n);
    }
    return int(done * CD_SECTOR_SIZE);
}

std::vector<int32_t> TCRRipper::FaultsMet() const
{
    return FState ? FState->FaultsMet : std::vector<int32_t>{};
}

int TCRRipper::JitterErrors() const
{
    return FState ? FState->Fixups + FState->Repaired : 0;
}

void TCRRipper::Close()
{
    if (!FState)
        return;
    TState& s = *FState;
    if (s.Paranoia)
        cdio_paranoia_free(s.Paranoia);
    if (s.Drive) {
        if (s.DeviceLocked)
            mmc_prevent_allow_medium_removal(s.Drive->p_cdio, false, false, 0);
        s.Drive->read_audio = s.DriveRead;
        cdio_cddap_close(s.Drive);
    }
    if (!s.ImagePath.isEmpty())
        LockImageTray(s.ImagePath, false);
    FState.reset();
}
