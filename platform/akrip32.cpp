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
#include "platform/HttpClient.h"
#include "metadata/CddbProtocol.h"

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

    void Close()
    {
        if (Cdio)
            cdio_destroy(Cdio);
        Cdio = nullptr;
        Token.clear();
        Toc = TDiscToc();
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

void CopyText(char* dst, size_t size, const QByteArray& text)
{
    std::memset(dst, 0, size);
    // Cut on a character boundary: never leave half a UTF-8 sequence.
    qsizetype n = std::min<qsizetype>(text.size(), qsizetype(size - 1));
    if (n < text.size()) {
        while (n > 0 && (uchar(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(dst, text.constData(), size_t(n));
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
        state.AudioDisc = toc.IsAudio(0);
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
        CopyText(e.Identifier, sizeof(e.Identifier), QFile::encodeName(d.Path));
        if (d.Image) {
            CopyText(e.Vendor, sizeof(e.Vendor), "VarnelCD");
            CopyText(e.Product, sizeof(e.Product), "Disc image");
        } else {
            cdio_hwinfo_t hw{};
            CdIo_t* cdio = OpenCdioSource(d.Path, false);
            if (cdio && cdio_get_hwinfo(cdio, &hw)) {
                CopyText(e.Vendor, sizeof(e.Vendor), QByteArray(hw.psz_vendor).trimmed());
                CopyText(e.Product, sizeof(e.Product), QByteArray(hw.psz_model).trimmed());
            } else {
                CopyText(e.Vendor, sizeof(e.Vendor), "CD-ROM");
                CopyText(e.Product, sizeof(e.Product), "drive");
            }
            if (cdio)
                cdio_destroy(cdio);
        }
        CopyText(e.Revision, sizeof(e.Revision), "2.0");
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

// --- CDDB -------------------------------------------------------------------------------
// The functions speak the cddb.cgi protocol over HTTP through the program's HTTP client, on
// the calling thread. The options are global; the failure text and the abort token belong
// to the calling thread.

namespace {

struct TCddbOptions {
    QString Server = QStringLiteral("gnudb.gnudb.org");
    QString Script = QStringLiteral("/~cddb/cddb.cgi");
    QString Agent = QStringLiteral("program 1.0");
    QString User = QStringLiteral("anonymous@localhost");
    bool UseProxy = false;
    QString Proxy;
    int ProxyPort = 80;
    int IdleTimeoutMs = 10000;
    int TimeoutMs = 30000;
};

std::mutex cddbMutex;
TCddbOptions cddbOptions;
thread_local QString cddbErrorText;
thread_local THttpAbort* cddbAbort = nullptr;

int CddbFail(int code, const QString& why)
{
    cddbErrorText = why;
    return Fail(code);
}

// Sends one command; on success `reply` holds the decoded reply text.
bool CddbCommand(const QString& command, QString& reply)
{
    TCddbOptions o;
    {
        std::lock_guard lock(cddbMutex);
        o = cddbOptions;
    }
    QString client, version;
    SplitCddbClient(o.Agent, client, version);
    const QUrl url = CddbCommandUrl(o.Server, o.Script, command, CddbHelloFromEmail(o.User, client, version));
    THttpOptions http;
    http.IdleTimeoutMs = o.IdleTimeoutMs;
    http.TotalTimeoutMs = o.TimeoutMs;
    http.UseProxy = o.UseProxy;
    http.ProxyAddress = o.Proxy;
    http.ProxyPort = QString::number(o.ProxyPort);
    http.UserAgent = (client + QLatin1Char('/') + version).toUtf8();
    const THttpResult r = HttpGet(url, http, cddbAbort);
    if (!r.Ok) {
        CddbFail(cddbAbort && cddbAbort->Aborted() ? ALERR_CDDB_STOPPED : ALERR_CDDB_NETWORK, r.Error);
        return false;
    }
    reply = DecodeCddbReply(r.Body);
    return true;
}

} // namespace

void CDDBSetOption(int option, const char* text, int number)
{
    const QString t = text ? QString::fromUtf8(text) : QString();
    std::lock_guard lock(cddbMutex);
    TCddbOptions& o = cddbOptions;
    switch (option) {
    case CDDB_OPT_SERVER: o.Server = t.trimmed(); break;
    case CDDB_OPT_PROXY: o.Proxy = t.trimmed(); break;
    case CDDB_OPT_USEPROXY: o.UseProxy = number != 0; break;
    case CDDB_OPT_AGENT: o.Agent = t; break;
    case CDDB_OPT_USER: o.User = t; break;
    case CDDB_OPT_PROXYPORT: o.ProxyPort = number >= 1 && number <= 65535 ? number : 80; break;
    case CDDB_OPT_CGI: o.Script = t.trimmed(); break;
    case CDDB_OPT_IDLETIMEOUT: if (number > 0) o.IdleTimeoutMs = number; break;
    case CDDB_OPT_TIMEOUT: if (number > 0) o.TimeoutMs = number; break;
    default: break;
    }
}

int CDDBQuery(HCDROM handle, TCddbMatchList& list)
{
    const int room = std::clamp<int>(list.Count, 0, CDDB_MAX_MATCHES);
    list.Count = 0;
    cddbErrorText.clear();
    if (room > 0 && !list.Matches)
        return CddbFail(ALERR_INVPARAM, QStringLiteral("No room for matches."));
    const auto h = HandleOf(handle);
    if (!h)
        return CddbFail(ALERR_INVHANDLE, QStringLiteral("Invalid drive handle."));
    TCddbToc toc;
    {
        // The drive is free again before the network is asked.
        std::lock_guard lock(h->Io);
        if (!EnsureMedia(*h, false))
            return CddbFail(ALERR_NODISC, QStringLiteral("No disc in the drive."));
        const std::vector<int>& starts = h->Toc.Starts;
        toc.Starts = QVector<int>(starts.begin(), starts.end() - 1);
        toc.LeadOut = h->Toc.LeadOut();
    }
    const TCddbDiscId id = CddbDiscIdOf(toc);
    if (!id.Valid)
        return CddbFail(ALERR_NODISC, QStringLiteral("The table of contents gives no disc id."));
    QString text;
    if (!CddbCommand(QStringLiteral("cddb query ") + id.IdText + QLatin1Char(' ') + id.QueryString, text))
        return 0;
    const TCddbQueryReply reply = ParseCddbQueryReply(text);
    if (!reply.Ok())
        return CddbFail(ALERR_CDDB_SERVER, CddbReplyReason(text));
    if (room > 0)
        std::memset(list.Matches, 0, sizeof(TCddbMatch) * size_t(room));
    int n = 0;
    for (const TCddbQueryMatch& m : reply.Matches) {
        if (n >= room)
            break;
        // A category or id that does not fit would name another entry: skip it.
        const QByteArray cat = m.Category.toUtf8(), did = m.DiscId.toUtf8();
        if (cat.size() >= qsizetype(sizeof(TCddbMatch::Category)) || did.size() >= qsizetype(sizeof(TCddbMatch::DiscId)))
            continue;
        CopyText(list.Matches[n].Category, sizeof(TCddbMatch::Category), cat);
        CopyText(list.Matches[n].DiscId, sizeof(TCddbMatch::DiscId), did);
        CopyText(list.Matches[n].Title, sizeof(TCddbMatch::Title), m.Title.toUtf8());
        ++n;
    }
    list.Count = n;
    if (n == 0) {
        cddbErrorText = QStringLiteral("The server knows no entry for disc ") + id.IdText + QLatin1Char('.');
        lastError = ALERR_CDDB_NOMATCH;
        return 1;
    }
    lastError = ALERR_NOERROR;
    return 1;
}

int CDDBGetDiskInfo(const TCddbMatch* match, char* text, int size)
{
    cddbErrorText.clear();
    if (text && size > 0)
        text[0] = 0;
    if (!match || !text || size <= 0)
        return CddbFail(ALERR_INVPARAM, QStringLiteral("No match or no text buffer."));
    const QString category = QString::fromUtf8(match->Category, qstrnlen(match->Category, sizeof(match->Category)));
    const QString discId = QString::fromUtf8(match->DiscId, qstrnlen(match->DiscId, sizeof(match->DiscId)));
    if (category.isEmpty() || discId.isEmpty() || category.contains(QLatin1Char(' ')) || discId.contains(QLatin1Char(' ')))
        return CddbFail(ALERR_INVPARAM, QStringLiteral("Not a match of a query."));
    QString reply;
    if (!CddbCommand(QStringLiteral("cddb read ") + category + QLatin1Char(' ') + discId, reply))
        return 0;
    QString entry, reason;
    if (!CddbReadReplyEntry(reply, entry, reason))
        return CddbFail(ALERR_CDDB_SERVER, reason);
    const QByteArray bytes = entry.toUtf8();
    if (bytes.size() + 1 > size)
        return CddbFail(ALERR_BUFTOOSMALL, QStringLiteral("The entry is larger than %1 bytes.").arg(size - 1));
    std::memcpy(text, bytes.constData(), size_t(bytes.size()));
    text[bytes.size()] = 0;
    lastError = ALERR_NOERROR;
    return 1;
}

QString CDDBLastErrorText()
{
    return cddbErrorText;
}

void CDDBSetAbort(THttpAbort* abort)
{
    cddbAbort = abort;
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
            s.Audio = toc.IsAudio(0);
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
