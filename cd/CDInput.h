#pragma once
// The CD input component: drive and disc queries through the second CD drive library, and
// the digital audio of a stretch of the disc as a stream input. An output pulls the audio
// on its worker thread; the main thread may ask the queries meanwhile.
//
// Drives are counted from 0; a position is a track number and a minutes/seconds/frames
// offset from the start of that track.
#include "audio/AuInput.h"
#include "cd/RipAudit.h"
#include "platform/CDRipLib.h"

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

enum TCDTrackType : uint8_t { ttAudio = 0, ttData = 1 };

// A track's length and type.
struct TCDTrackInfo {
    uint8_t Minutes = 0;
    uint8_t Seconds = 0;
    uint8_t Frames = 0;
    TCDTrackType TrackType = ttAudio;
};

struct TCDPosition {
    int32_t Track = 1;
    uint8_t Minutes = 0;
    uint8_t Seconds = 0;
    uint8_t Frames = 0;
};

// End position track meaning "the end of the disc".
constexpr int CD_END_OF_DISC_TRACK = 100;
// The transfer buffer: one second of CD audio.
constexpr int CD_TRANSFER_BUFFER = 176400;

class TCDIn : public TAuInput
{
public:
    explicit TCDIn(QObject* Owner = nullptr);
    ~TCDIn() override;

    // --- drive and disc queries -------------------------------------------------------
    int DrivesCount();
    int CurrentDrive() const { return FCurrentDrive; }
    // Values outside 0 .. DrivesCount - 1 are ignored.
    void SetCurrentDrive(int Value);
    QString DriveName();
    bool MediaPresent();
    // Number of tracks; -1 when the table of contents cannot be read.
    int TracksCount();
    // Track n (1 .. TracksCount); raises "Track out of range." otherwise.
    TCDTrackInfo Tracks(int n);
    // The table of contents: entry t - 1 is track t, the last entry the lead-out. False
    // when there is no disc or it cannot be read.
    bool ReadToc(std::vector<TCRTocEntry>& Toc);
    // The disc's CD-Text (empty when it has none).
    TCDTextInfo CDText();
    // Gaps, index points, ISRC, pre-emphasis and catalogue number of the disc.
    TDiscExtras Extras();

    // --- ripping settings ---------------------------------------------------------------
    bool EnableJitterCorrection() const { return FEnableJitterCorrection; }
    void SetEnableJitterCorrection(bool Value) { FEnableJitterCorrection = Value; }
    bool LockTray() const { return FLockTray; }
    void SetLockTray(bool Value) { FLockTray = Value; }
    int MultiReadCount() const { return FMultiReadCount; }
    void SetMultiReadCount(int Value) { FMultiReadCount = Value; }
    bool Paranoid() const { return FParanoid; }
    void SetParanoid(bool Value) { FParanoid = Value; }
    int ParanoiaMode() const { return FParanoiaMode; }
    void SetParanoiaMode(int Value) { FParanoiaMode = Value; }
    int ReadSectors() const { return FReadSectors; }
    void SetReadSectors(int Value) { FReadSectors = Value; }
    int OverlapSectors() const { return FOverlapSectors; }
    void SetOverlapSectors(int Value) { FOverlapSectors = Value; }
    // Kept for the settings it stands for; the library compares by its own rules.
    int CompareSectors() const { return FCompareSectors; }
    void SetCompareSectors(int Value) { FCompareSectors = Value; }
    // Jitter errors the library repaired in the last rip.
    int JitterErrors() const { return FJitterErrors; }
    // Read offset correction in samples for the rips started afterwards: sample p of the
    // stream is sample p + offset of the disc (zeros outside it).
    int ReadOffset() const { return FReadOffset; }
    void SetReadOffset(int Value) { FReadOffset = Value; }
    // What the last rip read: range, checksums of the stream handed out, read faults met,
    // jitter repairs, zeros outside the disc. Complete once the rip has ended.
    TRipLogTrack LastRead() const;

    // --- the stretch to rip (each setter raises "The component is busy" during a rip) ---
    int StartTrack() const;
    void SetStartTrack(int Value);        // StartPos := track Value at 0:0:0
    int EndTrack() const;
    void SetEndTrack(int Value);          // EndPos := track Value + 1 at 0:0:0
    TCDPosition StartPos() const;
    void SetStartPos(const TCDPosition& Value);
    TCDPosition EndPos() const;
    void SetEndPos(const TCDPosition& Value);   // track 100: the end of the disc

    // Any thread: ends a running rip soon; retries of a failing sector are cut short and
    // the stream ends where it is.
    void AbortRead();

protected:
    int GetBitsPerSample() override { return 16; }
    int GetChannels() override { return 2; }
    int GetSampleRate() override { return 44100; }
    int64_t GetTotalSamples() override;
    int GetTotalTime() override;
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& Buffer, uint32_t& Bytes) override;

private:
    // Nested use of the library: the first lock fixes the drive the library works on.
    int LockDrive();
    void UnlockDrive();
    struct TStretch {
        int64_t First = 0;
        int64_t End = 0;
    };
    // The sectors a rip of the current positions reads, checked against the TOC; raises the
    // component's messages.
    TStretch CheckedStretch(const std::vector<TCRTocEntry>& toc) const;
    int64_t StretchBytes();

    std::atomic<int> FCurrentDrive{0};
    std::mutex FDriveLock;               // guards the two below
    int FLockCount = 0;
    int FActiveDrive = 0;

    std::atomic<bool> FEnableJitterCorrection{false};
    std::atomic<bool> FLockTray{false};
    std::atomic<int> FMultiReadCount{0};
    std::atomic<bool> FParanoid{false};
    std::atomic<int> FParanoiaMode{0};
    std::atomic<int> FReadSectors{0};
    std::atomic<int> FOverlapSectors{0};
    std::atomic<int> FCompareSectors{0};
    std::atomic<int> FJitterErrors{0};
    std::atomic<int> FReadOffset{0};

    mutable std::mutex FPosLock;         // guards the positions
    int FStartTrack = 1;
    int FEndTrack = 1;
    TCDPosition FStartPos;
    TCDPosition FEndPos;

    std::atomic<bool> FAbort{false};
    std::unique_ptr<TCRRipper> FRipper;  // worker thread only, between DoInit and DoFlush
    std::atomic<int64_t> FRipBytes{0};
    std::unique_ptr<TCorrectedStream> FStream;   // worker thread only, as FRipper
    TTrackChecksum FChecksum;                    // worker thread only
    mutable std::mutex FReportLock;              // guards FReport
    TRipLogTrack FReport;
    std::vector<uint8_t> FBuffer;
    uint32_t FNext = 0;                  // next unread byte (0-based)
    uint32_t FValid = 0;                 // valid bytes in FBuffer
};
