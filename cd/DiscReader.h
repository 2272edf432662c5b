#pragma once
// What a rip needs of a disc, whichever CD library reaches the drive. A TDiscSource is
// chosen once where the disc session is opened (a handle of the first CD library, or the
// CD input component's drive); the rip job asks it for the audit of the disc and, for each
// track, for a TDiscReader that the rip thread reads through.
#include "cd/RipAudit.h"
#include "platform/akrip32.h"

#include <QString>
#include <cstdint>
#include <memory>

// The gaps, ISRC, catalogue number and pre-emphasis flags of a disc into its layout (every
// per-track member one entry per track, whatever extras holds).
void AddDiscExtras(TDiscLayout& disc, const TDiscExtras& extras);

// The message for a track whose read failed: the track and the sectors that could not be
// read (the track's own when no read named one), then what the reader said beyond that.
QString TrackReadErrorText(const TRipLogTrack& read);

// The sectors of track `track` of the layout: 1.. the table's tracks, 0 the audio before
// track 1's INDEX 01 (a hidden track). False for a track the layout does not have.
bool TrackSectors(const TDiscLayout& disc, int track, int64_t& start, int64_t& length);

// The audio before track 1's INDEX 01: its sectors (0: none) and whether any sample of it
// is not zero. False when it cannot be read.
struct THiddenAudio {
    int64_t Sectors = 0;
    bool Audible = false;
};
class TDiscSource;
bool FindHiddenAudio(TDiscSource& source, THiddenAudio& hidden);

// Asks drive `index` of the drive table to read at `speed` times 1x (0: the drive's own
// choice; values outside 0..MaxReadSpeed count as 0) and says what came of it, for the rip
// log: "drive default", "8x", "8x refused by the drive (...)", "not applicable (disc image)".
QString ApplyReadSpeed(int index, int speed);

// One read of a stretch of the disc, used on the rip thread (Abort on any thread).
class TDiscReader {
public:
    virtual ~TDiscReader() = default;
    // The disc's table of contents. 0, or why it cannot be had: 1 the drive could not be
    // set up for the read, 2 the table cannot be read.
    virtual int ReadLayout(TDiscLayout& disc) = 0;
    // Opens the sectors first .. end - 1 for reading; false with the reason in error.
    virtual bool Open(int64_t first, int64_t end, QString& error) = 0;
    // Whole sectors in order from where the last read ended, at most capacity bytes: the
    // bytes read, 0 at the end or after Abort, -1 when a sector cannot be read (error then
    // names it by its number).
    virtual int Read(uint8_t* buffer, int capacity, QString& error) = 0;
    // Sectors a read takes at once.
    virtual int ChunkSectors() const = 0;
    // After the read: the sectors whose reads failed (repaired or not) and the jitter the
    // reader repaired, added to report.
    virtual void Close(TRipLogTrack& report) = 0;
    // Any thread: ends the read soon (retries cut short).
    virtual void Abort() = 0;
    // Before Open: reads without paranoia (false) or with every check (true) instead of
    // the drive's settings. Readers without paranoia ignore it.
    virtual void ForceParanoia(bool full) { (void)full; }
};

class TDiscSource {
public:
    virtual ~TDiscSource() = default;
    // Main thread, as a job begins: the audit of the disc in the drive (its table, the
    // drive's name and read offset, how it reads). False when the table cannot be read.
    virtual bool BeginAudit(TRipAudit& audit) = 0;
    // A reader for one track's read.
    virtual std::unique_ptr<TDiscReader> NewReader() = 0;
    // The disc's track count (0 when unknown).
    virtual int Tracks() = 0;
    // The disc's CD-Text (empty when it has none).
    virtual TCDTextInfo CDText() = 0;
    // The disc's gaps, index points, ISRC, flags and catalogue number.
    virtual TDiscExtras Extras() { return {}; }
};

// The disc behind a handle of the first CD library.
using HCDROM = uint32_t;
std::unique_ptr<TDiscSource> AkripDiscSource(HCDROM handle);
// The current drive of the CD input component (which must outlive the source); its
// ripping settings apply, the tray locked while a read runs.
class TCDIn;
std::unique_ptr<TDiscSource> CDInDiscSource(TCDIn& cdIn);
