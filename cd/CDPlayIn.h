#pragma once
// Audio of one stretch of an audio CD as a stream input: 16-bit stereo PCM at 44100 Hz read
// sector by sector through the CD drive library, on a drive handle of its own (so a player
// never shares a handle with the window or a rip).
//
// SelectTrack chooses the stretch on the main thread: the track's first sector up to the
// next track's start, the last track up to the lead-out. A data track is refused. A read
// that fails during playback (disc removed, tray opened, damaged sector) raises
// EAuException, which ends the output's run with that message.
#include "audio/AuInput.h"
#include "platform/akrip32.h"
#include <QString>
#include <vector>

class TCDPlayIn : public TAuInput
{
public:
    explicit TCDPlayIn(QObject* Owner = nullptr);
    ~TCDPlayIn() override;

    // Opens a handle on drive `drive`, reads the table of contents and sets the stretch of
    // track number `track`. Returns an empty text on
    // success, else why the track cannot be played. Not while an output reads this input.
    QString SelectTrack(int drive, int track);

    uint32_t StartSector() const { return FStart; }
    uint32_t EndSector() const { return FEnd; }     // first sector not played

    // Sectors read at once: a sixth of a second.
    static constexpr uint32_t SectorsPerRead = 12;

protected:
    int GetBitsPerSample() override { return 16; }
    int GetChannels() override { return 2; }
    int GetSampleRate() override { return 44100; }
    int GetTotalTime() override;
    int64_t GetTotalSamples() override;
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& Buffer, uint32_t& Bytes) override;

private:
    void CloseHandle();

    HCDROM FHandle = 0;
    int FDrive = -1;
    uint32_t FStart = 0;
    uint32_t FEnd = 0;
    uint32_t FNext = 0;              // next sector to read (worker)
    uint32_t FBufOffset = 0;         // next byte of FBuffer to hand out
    uint32_t FBufLength = 0;         // end of the sectors read into FBuffer
    std::vector<uint8_t> FBuffer;
};

// Why the drive library failed, as a short English text.
QString CDErrorText(int aspiError);
