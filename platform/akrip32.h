#pragma once
// The program's first CD drive library: drive list, drive handles, table of contents and
// raw audio reads, built on libcdio. Physical drives come first, then every disc image the
// user named (--disc-image PATH or VARNELCD_DISC_IMAGES), each standing in for a drive.
//
// Records keep the layout the rest of the program relies on: packed, little-endian,
// NUL-terminated 8-bit texts.

#include "platform/DiscExtras.h"
#include <cstdint>
#include <QString>
#include <QStringList>
#include <vector>

#pragma pack(push, 1)

constexpr int MAX_CD_DRIVES = 8;
constexpr int CD_SECTOR_SIZE = 2352;      // bytes of audio in one sector (frame)
constexpr int CD_FRAMES_PER_SECOND = 75;
constexpr int CD_FRAMES_PER_MINUTE = 4500;
constexpr int CD_MSF_OFFSET = 150;        // absolute address of LBA 0 (00:02:00)
constexpr int MAX_CD_HANDLES = 10;        // handles 1..MAX_CD_HANDLES can be open at once
constexpr int CDP_MSF = 36;               // ModifyCDParms: addresses as minute/second/frame (1) or LBA (0)

struct TDriveEntry {                      // 121 bytes
    uint8_t HostAdapter;                  // our drive index in the drive list
    uint8_t Target;
    uint8_t Lun;
    uint8_t Pad;
    char Identifier[65];                  // device path or image path (cut to fit)
    char Vendor[9];
    char Product[17];
    char Revision[5];
    char VendorSpecific[21];
};

struct TDriveList {                       // 970 bytes
    uint8_t Capacity;                     // set to MAX_CD_DRIVES by the caller
    uint8_t Count;                        // filled in
    TDriveEntry Entries[MAX_CD_DRIVES];
};

struct THandleRequest {                   // 12 bytes
    uint8_t Size = 12;
    uint8_t Version = 1;
    uint8_t HostAdapter = 0;
    uint8_t Target = 0;
    uint8_t Lun = 0;
    uint8_t ReadMode = 0;
    uint32_t JitterCorrection = 0;
    uint8_t JitterFrames = 0;
    uint8_t OverlapFrames = 0;
};

struct TTocEntry {                        // 8 bytes
    uint8_t Reserved1;
    uint8_t AdrControl;                   // control nibble in the low 4 bits; 0x04 = data track
    uint8_t TrackNumber;                  // 0xAA for the lead-out
    uint8_t Reserved2;
    uint8_t Address[4];                   // MSF mode: 0, minute, second, frame; LBA mode: big-endian LBA
};

struct TTocRecord {                       // 804 bytes
    uint16_t DataLength;
    uint8_t FirstTrack;
    uint8_t LastTrack;
    TTocEntry Entries[100];               // entry i = track FirstTrack+i; after the last: lead-out
};

struct TSectorBufferHead {                // 24 bytes
    uint32_t StartSector;                 // LBA of the first sector to read (track 1 of an ordinary disc: 0)
    uint32_t NumSectors;
    uint32_t MaxLen;                      // capacity of Data in bytes (NumSectors*2352 at most)
    uint32_t Len;                         // bytes returned
    uint32_t Status;
    int32_t StartOffset;                  // offset of the audio in Data
};

#pragma pack(pop)

static_assert(sizeof(TDriveEntry) == 121);
static_assert(sizeof(TDriveList) == 970);
static_assert(sizeof(THandleRequest) == 12);
static_assert(sizeof(TTocRecord) == 804);
static_assert(sizeof(TSectorBufferHead) == 24);

// A sector buffer: the head and room for the audio. Data must hold at least Head.MaxLen bytes.
struct TSectorBuffer {
    TSectorBufferHead Head{};
    uint8_t* Data = nullptr;
};

using HCDROM = uint32_t;                  // 0 = no handle

// Error codes of GetAspiLibError.
enum : int {
    ALERR_NOERROR = 0,
    ALERR_NOWNASPI = 1,                   // no drive layer at all
    ALERR_NOMEM = 2,
    ALERR_BUFTOOSMALL = 3,
    ALERR_INVHANDLE = 4,
    ALERR_NOMOREHND = 5,
    ALERR_NODISC = 6,                     // drive empty or image missing/unreadable
    ALERR_INVPARAM = 7,
    ALERR_READERROR = 8,                  // read outside the disc or an I/O error
    ALERR_NOTSUPPORTED = 9,               // e.g. CDDB before that part is built
};

// --- the ten functions of the library -------------------------------------------------
int GetCDList(TDriveList& list);                       // fills Count and Entries; returns Count
HCDROM GetCDHandle(const THandleRequest& request);     // 0 on failure
bool CloseCDHandle(HCDROM handle);                     // true on success
bool ModifyCDParms(HCDROM handle, int which, int value); // (CDP_MSF, 1): addresses as minute/second/frame
int ReadTOC(HCDROM handle, TTocRecord& toc);           // 1 on success
int ReadCDAudioLBA(HCDROM handle, TSectorBuffer& buf); // 1 on success; Len and StartOffset set
int GetAspiLibError();                                 // last error code of this thread

// Sets this thread's last error code (the CDDB functions beside the library report there).
void SetAspiLibError(int code);
// The disc's track starts (LBA, data tracks included) and lead-out, for a disc id; the drive
// is free again when it returns. False (and the error code set) without a disc.
bool DiscStarts(HCDROM handle, std::vector<int>& starts, int& leadOut);

// --- drive identifiers and the extras the program needs beyond the table ---------------
// A drive is identified by its position in the drive list (0-based).

// Disc images offered as further drives: the ones set here (from --disc-image) and those
// in VARNELCD_DISC_IMAGES (':' separated). Paths are kept as given.
void SetDiscImages(const QStringList& paths);
QStringList DiscImages();

// --cd-input-only or VARNELCD_CD_INPUT_ONLY=1: the program reaches discs through the CD
// input component only; this library then reports no drive.
void SetCDInputOnly(bool on);
bool CDInputOnly();

// --- the drive table both CD libraries share --------------------------------------------
// Physical drives as libcdio finds them, then the disc images, at most MAX_CD_DRIVES. This
// library offers all of them; the CD input component offers the devices it can open.
struct TCDDrive {
    QString Path;
    bool Image = false;
};
std::vector<TCDDrive> CDDriveTable(bool rescan = false);

// errno of opening a device node for reading (0: it opens). Images are not checked here.
int DeviceOpenError(const QString& path);

// The simulated tray of an image drive: open (no disc) after EjectDrive until
// CloseDriveTray. A locked tray (a rip holding it shut) refuses to open.
bool ImageTrayOpen(const QString& path);
void LockImageTray(const QString& path, bool lock);

// Full identifier (device path or image path) of drive `index`; empty when none.
QString DriveIdentifier(int index);

// Whether drive `index` is a disc image rather than a physical drive.
bool DriveIsImage(int index);

// The drive index behind a handle; -1 for an invalid handle.
int DriveOfHandle(HCDROM handle);

// Media state of a drive, cheap enough to poll: whether a disc is in it and a token that
// changes when the disc changes (image: path + size + modification time).
struct TMediaState {
    bool DiscPresent = false;
    bool AudioDisc = false;               // some track is an audio track
    QString Token;
};
TMediaState DriveMediaState(int index);

// CD-Text of the disc behind a handle (empty texts when the disc carries none).
struct TCDTextInfo {
    bool Present = false;
    QString Title;                        // disc TITLE (album)
    QString Performer;                    // disc PERFORMER (artist)
    QStringList TrackTitles;              // index 0 = track 1; may be shorter than the track count
    QStringList TrackPerformers;          // the same for each track's PERFORMER (its own artist)
};
TCDTextInfo ReadCDText(HCDROM handle);

// Gaps, index points, ISRC, pre-emphasis and catalogue number of the disc behind a handle
// (empty without a disc).
TDiscExtras ReadDiscExtras(HCDROM handle);

// Tray control; a disc image drive simulates the door (open = no disc).
bool EjectDrive(int index);
bool CloseDriveTray(int index);
