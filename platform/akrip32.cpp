// The CD drive library on libcdio. Drives are the physical drives libcdio finds, then the
// disc images the user named. Handles are slots 1..kMaxHandles in a table; each handle
// opens its drive lazily and reopens it when the disc changed, so one handle follows the
// disc in its drive for the life of the program.
//
// Thread safety: the tables are guarded by one mutex; libcdio calls on a handle are
// serialised by the handle's own mutex, and a handle closed while another thread reads
// through it lives until that read returns.
#include "platform/akrip32.h"
#include <atomic>
#include "platform/CDImageMedia.h"
#include "platform/ReadFaults.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <unistd.h>
#include <memory>
#include <mutex>
#include <set>

namespace {

constexpr int kMaxHandles = MAX_CD_HANDLES;
constexpr int kAddressModeParm = CDP_MSF;

thread_local int lastError = ALERR_NOERROR;

int Fail(int code)
{
    lastError = code;
    return 0;
}

struct TDrive {
    QString Path;
    bool Image = false;
};

struct THandle {
    std::mutex Io;
    int Drive = -1;
    TDrive Source;
    bool Msf = false;
    CdIo_t* Cdio = nullptr;
    QString Token;                 // image token the open Cdio belongs to
    TDiscToc Toc;
    std::vector<int> ExtrasStarts; // the table the extras below were read for
    TDiscExtras Extras;

    void Close()
    {
        if (Cdio)
            cdio_destroy(Cdio);
        Cdio = nullptr;
        Token.clear();
        Toc = TDiscToc();
        ExtrasStarts.clear();
    }
    ~THandle() { Close(); }
};

struct TImageState {
    QString Token;
    bool Present = false;
    bool Audio = false;
};

std::mutex tableMutex;             // guards everything below
QStringList setImages;
std::vector<QString> physicalDrives;
bool physicalScanned = false;
std::set<QString> openDoors;       // image drives whose simulated tray is open
std::map<QString, int> lockedDoors; // image drives held shut by a rip, with a count
std::array<std::shared_ptr<THandle>, kMaxHandles> handles;
std::map<QString, TImageState> imageStates;

std::vector<QString> ScanPhysicalDrives()
{
    EnsureCdioReady();
    std::vector<QString> found;
    std::set<QString> seen;
    char** devices = cdio_get_devices(DRIVER_DEVICE);
    for (char** d = devices; d && *d; ++d) {
        const QString path = QFile::decodeName(*d);
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (seen.insert(canonical.isEmpty() ? path : canonical).second)
            found.push_back(path);
    }
    if (devices)
        cdio_free_device_list(devices);
    return found;
}

QStringList ImagesLocked()
{
    QStringList all = setImages;
    const QString env = qEnvironmentVariable("VARNELCD_DISC_IMAGES");
    for (const QString& p : env.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        all << p;
    return all;
}

std::vector<TDrive> Drives(bool rescan)
{
    std::lock_guard lock(tableMutex);
    if (rescan || !physicalScanned) {
        physicalDrives = ScanPhysicalDrives();
        physicalScanned = true;
    }
    std::vector<TDrive> drives;
    for (const QString& p : physicalDrives)
        drives.push_back({p, false});
    for (const QString& p : ImagesLocked())
        drives.push_back({p, true});
    if (drives.size() > size_t(MAX_CD_DRIVES))
        drives.resize(MAX_CD_DRIVES);
    return drives;
}

bool DriveAt(int index, TDrive& drive)
{
    const std::vector<TDrive> drives = Drives(false);
    if (index < 0 || index >= int(drives.size()))
        return false;
    drive = drives[size_t(index)];
    return true;
}

bool DoorOpen(const TDrive& drive)
{
    std::lock_guard lock(tableMutex);
    return drive.Image && openDoors.count(drive.Path) > 0;
}

std::shared_ptr<THandle> HandleOf(HCDROM handle)
{
    if (handle < 1 || handle > HCDROM(kMaxHandles))
        return nullptr;
    std::lock_guard lock(tableMutex);
    return handles[handle - 1];
}

// Makes sure the handle's libcdio source shows the disc now in the drive. A physical
// drive is reopened when `reread` is set (a TOC read), since libcdio keeps the TOC it read
// first. Call with the handle's Io mutex held. Sets lastError on failure.
bool EnsureMedia(THandle& h, bool reread)
{
    if (h.Source.Image) {
        const QString token = DoorOpen(h.Source) ? QString() : ImageFileToken(h.Source.Path);
        if (token.isEmpty()) {
            h.Close();
            return Fail(ALERR_NODISC);
        }
        if (h.Cdio && token == h.Token)
            return true;
        h.Close();
        h.Cdio = OpenCdioSource(h.Source.Path, true);
        if (!h.Cdio || !ReadDiscToc(h.Cdio, h.Toc)) {
            h.Close();
            return Fail(ALERR_NODISC);
        }
        h.Token = token;
        return true;
    }
    if (h.Cdio && !reread && cdio_get_media_changed(h.Cdio) != 1)
        return true;
    h.Close();
    h.Cdio = OpenCdioSource(h.Source.Path, false);
    if (!h.Cdio || !ReadDiscToc(h.Cdio, h.Toc)) {
        h.Close();
        return Fail(ALERR_NODISC);
    }
    return true;
}

void PutAddress(TTocEntry& e, int lba, bool msf)
{
    if (msf) {
        const int a = lba + CD_MSF_OFFSET;
        e.Address[0] = 0;
        e.Address[1] = uint8_t(a / CD_FRAMES_PER_MINUTE);
        e.Address[2] = uint8_t((a / CD_FRAMES_PER_SECOND) % 60);
        e.Address[3] = uint8_t(a % CD_FRAMES_PER_SECOND);
    } else {
        const auto u = uint32_t(lba);
        e.Address[0] = uint8_t(u >> 24);
        e.Address[1] = uint8_t(u >> 16);
        e.Address[2] = uint8_t(u >> 8);
        e.Address[3] = uint8_t(u);
    }
}

// Media state of a physical drive: a TOC read, summarised as the token.
TMediaState PhysicalMediaState(const QString& path)
{
    TMediaState state;
    CdIo_t* cdio = OpenCdioSource(path, false);
    TDiscToc toc;
    if (cdio && ReadDiscToc(cdio, toc)) {
        state.DiscPresent = true;
        state.AudioDisc = toc.HasAudio();
        state.Token = path;
        for (int s : toc.Starts)
            state.Token += QLatin1Char('|') + QString::number(s);
    }
    if (cdio)
        cdio_destroy(cdio);
    return state;
}

} // namespace

int GetCDList(TDriveList& list)
{
    std::vector<TDrive> drives = Drives(true);
    if (CDInputOnly())
        drives.clear();
    const int capacity = list.Capacity ? std::min<int>(list.Capacity, MAX_CD_DRIVES) : MAX_CD_DRIVES;
    std::memset(list.Entries, 0, sizeof(list.Entries));
    int count = 0;
    for (const TDrive& d : drives) {
        if (count >= capacity)
            break;
        TDriveEntry& e = list.Entries[count];
        e.HostAdapter = uint8_t(count);
        CopyCText(e.Identifier, sizeof(e.Identifier), QFile::encodeName(d.Path));
        if (d.Image) {
            CopyCText(e.Vendor, sizeof(e.Vendor), "VarnelCD");
            CopyCText(e.Product, sizeof(e.Product), "Disc image");
        } else {
            cdio_hwinfo_t hw{};
            CdIo_t* cdio = OpenCdioSource(d.Path, false);
            if (cdio && cdio_get_hwinfo(cdio, &hw)) {
                CopyCText(e.Vendor, sizeof(e.Vendor), QByteArray(hw.psz_vendor).trimmed());
                CopyCText(e.Product, sizeof(e.Product), QByteArray(hw.psz_model).trimmed());
            } else {
                CopyCText(e.Vendor, sizeof(e.Vendor), "CD-ROM");
                CopyCText(e.Product, sizeof(e.Product), "drive");
            }
            if (cdio)
                cdio_destroy(cdio);
        }
        CopyCText(e.Revision, sizeof(e.Revision), "2.0");
        ++count;
    }
    list.Count = uint8_t(count);
    lastError = ALERR_NOERROR;
    return count;
}

HCDROM GetCDHandle(const THandleRequest& request)
{
    TDrive drive;
    if (CDInputOnly() || !DriveAt(request.HostAdapter, drive))
        return Fail(ALERR_INVPARAM);
    // A device node this user may not open (not in its group) gives no handle, so the
    // program reaches the drives the other way and explains the cause.
    if (!drive.Image && DeviceOpenError(drive.Path) != 0)
        return Fail(ALERR_NOWNASPI);
    auto h = std::make_shared<THandle>();
    h->Drive = request.HostAdapter;
    h->Source = drive;
    std::lock_guard lock(tableMutex);
    for (int i = 0; i < kMaxHandles; ++i) {
        if (!handles[size_t(i)]) {
            handles[size_t(i)] = h;
            lastError = ALERR_NOERROR;
            return HCDROM(i + 1);
        }
    }
    return Fail(ALERR_NOMOREHND);
}

bool CloseCDHandle(HCDROM handle)
{
    if (handle < 1 || handle > HCDROM(kMaxHandles))
        return Fail(ALERR_INVHANDLE);
    std::lock_guard lock(tableMutex);
    if (!handles[handle - 1])
        return Fail(ALERR_INVHANDLE);
    handles[handle - 1].reset();
    lastError = ALERR_NOERROR;
    return true;
}

bool ModifyCDParms(HCDROM handle, int which, int value)
{
    const auto h = HandleOf(handle);
    if (!h)
        return Fail(ALERR_INVHANDLE);
    if (which != kAddressModeParm)
        return Fail(ALERR_NOTSUPPORTED);
    std::lock_guard lock(h->Io);
    h->Msf = value != 0;
    lastError = ALERR_NOERROR;
    return true;
}

int ReadTOC(HCDROM handle, TTocRecord& toc)
{
    const auto h = HandleOf(handle);
    if (!h)
        return Fail(ALERR_INVHANDLE);
    std::lock_guard lock(h->Io);
    if (!EnsureMedia(*h, true))
        return 0;
    const TDiscToc& d = h->Toc;
    std::memset(&toc, 0, sizeof(toc));
    const int entries = d.TrackCount() + 1;
    toc.DataLength = uint16_t(2 + 8 * entries);
    toc.FirstTrack = uint8_t(d.FirstTrack);
    toc.LastTrack = uint8_t(d.LastTrack);
    for (int i = 0; i < entries; ++i) {
        TTocEntry& e = toc.Entries[i];
        const bool leadOut = i == entries - 1;
        e.TrackNumber = leadOut ? 0xAA : uint8_t(d.FirstTrack + i);
        e.AdrControl = uint8_t(0x10 | d.Control[size_t(leadOut ? i - 1 : i)]);
        PutAddress(e, d.Starts[size_t(i)], h->Msf);
    }
    lastError = ALERR_NOERROR;
    return 1;
}

int ReadCDAudioLBA(HCDROM handle, TSectorBuffer& buf)
{
    const auto h = HandleOf(handle);
    if (!h)
        return Fail(ALERR_INVHANDLE);
    buf.Head.Len = 0;
    buf.Head.StartOffset = 0;
    const uint64_t bytes = uint64_t(buf.Head.NumSectors) * CD_SECTOR_SIZE;
    if (buf.Head.NumSectors > 0 && !buf.Data)
        return Fail(ALERR_INVPARAM);
    if (bytes > buf.Head.MaxLen)
        return Fail(ALERR_BUFTOOSMALL);
    std::lock_guard lock(h->Io);
    if (!EnsureMedia(*h, false))
        return 0;
    const TDiscToc& d = h->Toc;
    const uint64_t start = buf.Head.StartSector;
    const uint64_t end = start + buf.Head.NumSectors;
    if (end > uint64_t(d.LeadOut()))
        return Fail(ALERR_READERROR);
    // Every track the range touches must be audio; sectors before track 1 (its pregap)
    // belong to track 1.
    for (int i = 0; i < d.TrackCount(); ++i) {
        const uint64_t tStart = i == 0 ? 0 : uint64_t(d.Starts[size_t(i)]);
        const uint64_t tEnd = uint64_t(d.Starts[size_t(i) + 1]);
        if (start < tEnd && end > tStart && !d.IsAudio(i))
            return Fail(ALERR_READERROR);
    }
    if (ReadFaultHit(int64_t(start), buf.Head.NumSectors))   // simulated faults (tests)
        return Fail(ALERR_READERROR);
    if (buf.Head.NumSectors > 0 &&
        cdio_read_audio_sectors(h->Cdio, buf.Data, lsn_t(start), buf.Head.NumSectors) != DRIVER_OP_SUCCESS)
        return Fail(ALERR_READERROR);
    buf.Head.Len = uint32_t(bytes);
    buf.Head.Status = 0;
    lastError = ALERR_NOERROR;
    return 1;
}

int GetAspiLibError() { return lastError; }

void SetAspiLibError(int code) { lastError = code; }

bool DiscStarts(HCDROM handle, std::vector<int>& starts, int& leadOut)
{
    const auto h = HandleOf(handle);
    if (!h) return Fail(ALERR_INVHANDLE);
    std::lock_guard lock(h->Io);
    if (!EnsureMedia(*h, false)) return Fail(ALERR_NODISC);
    starts.assign(h->Toc.Starts.begin(), h->Toc.Starts.end() - 1);
    leadOut = h->Toc.LeadOut();
    lastError = ALERR_NOERROR;
    return true;
}

void SetDiscImages(const QStringList& paths)
{
    std::lock_guard lock(tableMutex);
    setImages = paths;
}

namespace {
std::atomic<bool> cdInputOnlyFlag{false};
}

std::vector<TCDDrive> CDDriveTable(bool rescan)
{
    std::vector<TCDDrive> table;
    for (const TDrive& d : Drives(rescan))
        table.push_back({d.Path, d.Image});
    return table;
}

int DeviceOpenError(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

bool ImageTrayOpen(const QString& path)
{
    std::lock_guard lock(tableMutex);
    return openDoors.count(path) > 0;
}

void LockImageTray(const QString& path, bool lock)
{
    std::lock_guard guard(tableMutex);
    int& count = lockedDoors[path];
    count = std::max(0, count + (lock ? 1 : -1));
    if (count == 0)
        lockedDoors.erase(path);
}

void SetCDInputOnly(bool on)
{
    cdInputOnlyFlag = on;
}

bool CDInputOnly()
{
    return cdInputOnlyFlag || qEnvironmentVariable("VARNELCD_CD_INPUT_ONLY") == QLatin1String("1");
}

QStringList DiscImages()
{
    std::lock_guard lock(tableMutex);
    return ImagesLocked();
}

QString DriveIdentifier(int index)
{
    TDrive drive;
    return DriveAt(index, drive) ? drive.Path : QString();
}

bool DriveIsImage(int index)
{
    TDrive drive;
    return DriveAt(index, drive) && drive.Image;
}

int DriveOfHandle(HCDROM handle)
{
    const auto h = HandleOf(handle);
    return h ? h->Drive : -1;
}

TMediaState DriveMediaState(int index)
{
    TDrive drive;
    if (!DriveAt(index, drive) || DoorOpen(drive))
        return {};
    if (!drive.Image)
        return PhysicalMediaState(drive.Path);
    const QString token = ImageFileToken(drive.Path);
    if (token.isEmpty())
        return {};
    {
        std::lock_guard lock(tableMutex);
        const auto it = imageStates.find(drive.Path);
        if (it != imageStates.end() && it->second.Token == token)
            return {it->second.Present, it->second.Audio, token};
    }
    TImageState s;
    s.Token = token;
    if (CdIo_t* cdio = OpenCdioSource(drive.Path, true)) {
        TDiscToc toc;
        if (ReadDiscToc(cdio, toc)) {
            s.Present = true;
            s.Audio = toc.HasAudio();
        }
        cdio_destroy(cdio);
    }
    std::lock_guard lock(tableMutex);
    imageStates[drive.Path] = s;
    return {s.Present, s.Audio, token};
}

TCDTextInfo ReadCDText(HCDROM handle)
{
    TCDTextInfo info;
    const auto h = HandleOf(handle);
    if (!h) {
        lastError = ALERR_INVHANDLE;
        return info;
    }
    std::lock_guard lock(h->Io);
    if (!EnsureMedia(*h, false))
        return info;
    info = ReadCdioCDText(h->Cdio, h->Toc);
    lastError = ALERR_NOERROR;
    return info;
}

TDiscExtras ReadDiscExtras(HCDROM handle)
{
    const auto h = HandleOf(handle);
    if (!h) {
        lastError = ALERR_INVHANDLE;
        return {};
    }
    std::lock_guard lock(h->Io);
    if (!EnsureMedia(*h, false))
        return {};
    // A drive's Q sub-channel is searched once per disc.
    if (h->ExtrasStarts != h->Toc.Starts) {
        h->Extras = ReadCdioExtras(h->Cdio, h->Toc, h->Source.Image ? h->Source.Path : QString());
        h->ExtrasStarts = h->Toc.Starts;
    }
    lastError = ALERR_NOERROR;
    return h->Extras;
}

bool EjectDrive(int index)
{
    TDrive drive;
    if (!DriveAt(index, drive))
        return Fail(ALERR_INVPARAM);
    if (drive.Image) {
        std::lock_guard lock(tableMutex);
        if (lockedDoors.count(drive.Path))
            return Fail(ALERR_NOTSUPPORTED);
        openDoors.insert(drive.Path);
        return true;
    }
    return cdio_eject_media_drive(QFile::encodeName(drive.Path).constData()) == DRIVER_OP_SUCCESS ||
           Fail(ALERR_NOTSUPPORTED);
}

bool CloseDriveTray(int index)
{
    TDrive drive;
    if (!DriveAt(index, drive))
        return Fail(ALERR_INVPARAM);
    if (drive.Image) {
        std::lock_guard lock(tableMutex);
        openDoors.erase(drive.Path);
        return true;
    }
    driver_id_t driver = DRIVER_DEVICE;
    return cdio_close_tray(QFile::encodeName(drive.Path).constData(), &driver) == DRIVER_OP_SUCCESS ||
           Fail(ALERR_NOTSUPPORTED);
}
