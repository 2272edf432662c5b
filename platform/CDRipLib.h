#pragma once
// The program's second CD drive library: drive list, media and table-of-contents queries,
// and secure audio reads through libcdio-paranoia. Its drives are those of the shared
// drive table (akrip32.h) that this user can open: the physical drives that open, then
// every disc image, in table order.
//
// Queries open the drive for the call only. A rip (TCRRipper) opens a source of its own on
// the thread that reads, so no libcdio object is shared between threads.
#include "platform/akrip32.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// A TOC entry: start sector (LBA), control nibble (bit 2 set: data track) and track number
// (0xAA for the lead-out).
struct TCRTocEntry {
    int32_t StartSector = 0;
    uint8_t Flags = 0;
    uint8_t TrackNumber = 0;
};
constexpr uint8_t CR_DATA_TRACK_FLAG = 0x04;

int CR_GetNumCDROM();
// "Vendor Product" of drive `drive`, as the first library names it; empty when none.
QString CR_GetDriveID(int drive);
// 0 when a disc with a readable table of contents is in the drive, 1 otherwise.
int CR_IsMediaLoaded(int drive);
// The entries of every track, then the lead-out. 0 on success.
int CR_ReadToc(int drive, std::vector<TCRTocEntry>& toc);
TCDTextInfo CR_ReadCDText(int drive);
// Gaps, index points, ISRC, pre-emphasis and catalogue number (empty without a disc).
TDiscExtras CR_ReadDiscExtras(int drive);
// The shared-table index of drive `drive` of this library; -1 when none.
int CR_TableIndex(int drive);

// A device node that exists but cannot be opened, and the system's error number.
struct TCRDeviceProblem {
    QString Device;
    int Error = 0;
};
// Every CD device node the system offers (libcdio's list and /dev/sr*), with the reason
// it cannot be opened; nodes that open are left out.
std::vector<TCRDeviceProblem> CR_DeviceProblems();
// Number of CD device nodes found at all (openable or not).
int CR_DeviceNodeCount();

// Test hook: paranoia's jitter simulation flags (cdrom_drive_t::i_test_flags) for the rips
// started afterwards; also VARNELCD_JITTER_TEST_FLAGS. 0: none.
void CR_SetJitterTestFlags(int flags);

struct TCRRipParams {
    bool JitterCorrection = false;
    int ReadSectors = 0;          // 0: the library's own
    int OverlapSectors = 0;       // 0: the library's own
    int MultiReadCount = 0;       // retries of a failing sector; 0: 20
    bool Paranoid = false;
    int ParanoiaMode = 0;         // with Paranoid: 0 = every check, else paranoia mode bits
    bool LockTray = false;
};

// Paranoia mode bits for these settings (never "never skip": a sector that stays
// unreadable would be retried for ever).
int CR_ParanoiaModeFor(const TCRRipParams& params);

class TCRRipper {
public:
    // abort: set by another thread to cut a rip short; must outlive the ripper.
    explicit TCRRipper(const std::atomic<bool>* abort);
    ~TCRRipper();
    TCRRipper(const TCRRipper&) = delete;
    TCRRipper& operator=(const TCRRipper&) = delete;

    // Opens drive `drive` for the sectors first .. end - 1. False (and why in error) when
    // the drive or its disc cannot be opened.
    bool Open(int drive, const TCRRipParams& params, int32_t first, int32_t end, QString& error);
    // Reads whole sectors into buffer (capacity bytes, at least one sector): the bytes
    // read, 0 at the end of the stretch or after an abort. -1 when a sector cannot be read
    // right; error then names it.
    int RipChunk(uint8_t* buffer, int capacity, QString& error);
    // Jitter the library repaired: fix-ups plus read errors a later read made good.
    int JitterErrors() const;
    // The sector every failed drive read of the stretch stopped at, in the order met
    // (repaired or not).
    std::vector<int32_t> FaultsMet() const;
    void Close();

    struct TState;

private:
    int DirectChunk(uint8_t* buffer, int capacity, QString& error);

    const std::atomic<bool>* FAbort;
    std::unique_ptr<TState> FState;
};
