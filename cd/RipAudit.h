#pragma once
// What both CD rip paths share to prove a rip: the read offset correction of the PCM
// stream, the per-disc AccurateRip lookup, and the rip log written when the job ends.
//
// A job makes one TRipAudit (a child of the job, on the main thread), calls Begin with the
// disc's table of contents when it starts (the database lookup then runs on a thread of its
// own), hands over each track's record as the track ends, and asks HoldCompletion before it
// closes: the log is written once the database has answered, without blocking the caller.
#include "cd/AccurateRip.h"
#include "cd/RipLog.h"
#include "settings/Options.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TPrompter;

constexpr int MaxReadOffset = 5880;   // samples, either way (ten sectors)
constexpr int CDSectorBytes = 2352;

// The run's choices the command line may change; the windows use the stored settings.
struct TRipAuditSettings {
    bool AccurateRip = true;
    QString Url;                   // empty: OptionsSetting.AccurateRip.Url
    bool HasOffset = false;        // Offset replaces the drive's stored read offset
    int Offset = 0;
    QString LogPath;               // empty: the "write a rip log" setting decides
    bool TestPass = false;         // read every track twice ([CDOptions] TestAndCopy too)
    bool Ctdb = true;              // false: the CUETools database is not asked ([CTDB] Use too)
    QString CtdbUrl;               // empty: OptionsSetting.Ctdb.Url
    QString Strategy;              // "secure" or "burst"; empty: [CDOptions] Strategy
};
TRipAuditSettings& RipAuditSettings();

// The key of a drive in the settings' read offsets: "vendor_model" with spaces as '_',
// "Image" for a disc image.
QString ReadOffsetKey(const QString& vendorModel, bool image);
// The key of drive `index` of the drive list (the options window's CD-ROM page).
QString ReadOffsetKeyOfDrive(int index);
// The correction for that drive: the run's --offset, else the stored value (0 when none).
int ReadOffsetFor(const QString& key);

// A disc's table of contents as the rip paths see it (LBA; lead-out last).
struct TDiscLayout {
    std::vector<int64_t> Starts;   // track t at Starts[t - 1]
    std::vector<bool> Data;
    int64_t LeadOut = 0;
    std::vector<int64_t> Pregap;      // sectors of each track's INDEX 00 before INDEX 01
    std::vector<QString> Isrc;        // per track, "" when none
    QString Catalog;                  // the disc's MCN/UPC, "" when none
    std::vector<bool> PreEmphasis;    // per track

    int Tracks() const { return int(Starts.size()); }
    bool HasData() const;
    // The audio run of tracks holding track t, as sectors [first, end): a read never
    // crosses into a data track or past the lead-out.
    void AudioSpan(int track, int64_t& first, int64_t& end) const;
    int AudioIndex(int track) const;        // 1-based among the audio tracks; 0 for data
    bool FirstAudio(int track) const;
    bool LastAudio(int track) const;
    TAccurateRipDisc Id() const;
};

// The corrected PCM of `sectors` sectors from `firstSector`: sample p of the result is
// sample p + offset of the disc. The sectors covering that stretch inside [spanFirst,
// spanEnd) are read, in order, through the source; what lies outside comes out as zeros.
class TCorrectedStream {
public:
    // Fills buffer with whole sectors read in order from ReadFirst(): the bytes given, 0 at
    // the end (or a stop), -1 on a failure (error says why).
    using TSource = std::function<int(uint8_t* buffer, int capacity, QString& error)>;

    TCorrectedStream(int64_t firstSector, int64_t sectors, int offset, int64_t spanFirst, int64_t spanEnd);
    int64_t ReadFirst() const { return FReadFirst; }
    int64_t ReadEnd() const { return FReadEnd; }       // one past the last sector to read
    int64_t TotalBytes() const { return FTotal; }
    int64_t LeadZeroSamples() const { return FLead / 4; }
    int64_t TailZeroSamples() const { return (FTotal - FLead - FMiddle) / 4; }

    void SetSource(TSource source, int chunkSectors);
    // Up to capacity bytes of the corrected stream: the bytes given, 0 at its end, -1 on a
    // read failure.
    int Read(uint8_t* buffer, int capacity, QString& error);

private:
    int64_t FTotal = 0;
    int64_t FLead = 0;       // zero bytes first
    int64_t FMiddle = 0;     // then read bytes
    int64_t FSkip = 0;       // bytes of the first read sector before the stretch
    int64_t FReadFirst = 0;
    int64_t FReadEnd = 0;
    int64_t FPos = 0;
    bool FSourceEnded = false;
    TSource FSource;
    std::vector<uint8_t> FRaw;
    size_t FRawNext = 0;
    size_t FRawValid = 0;
};

class TRipAudit : public QObject {
    Q_OBJECT
public:
    // settings: the job's copy (none: the global ones).
    explicit TRipAudit(TPrompter* prompter, std::shared_ptr<const TOptionsSetting> settings = {},
                       QObject* parent = nullptr);
    ~TRipAudit() override;

    // The disc and how it is read; starts the database lookup unless it is switched off.
    void Begin(const TDiscLayout& disc, const QString& drive, int offset, const QString& paranoia, int retries);
    bool Begun() const { return FBegun; }
    const TDiscLayout& Disc() const { return FDisc; }
    int Offset() const { return FRecord.ReadOffset; }

    // A track's record, and the file it went to (the log goes into the deepest folder
    // that holds every file of the job).
    void AddTrack(const TRipLogTrack& track, const QString& outputFile);
    // The job's tracks, for the log's count of a stopped rip.
    void SetSelected(int tracks) { FRecord.Selected = tracks; }
    // What became of the audio before track 1 (a hidden track), for the log.
    void SetHiddenAudio(const QString& text) { FRecord.HiddenAudio = text; }
    // The user stopped the rip: the log says so.
    void SetStopped() { FRecord.Stopped = true; }
    // The read speed the job's settings ask of the drive, and what came of it for the log.
    int SpeedWanted() const { return Settings().CDOptions.Speed; }
    void SetReadSpeed(const QString& text) { FRecord.ReadSpeed = text; }
    // A burst rip: the log's read mode and paranoia say so.
    void SetBurst();
    // The AccurateRip lookup is over (answered, failed or not asked).
    bool LookupEnded() const;
    // AccurateRip has answered and confirms the track (v1 or v2, confidence >= 1).
    bool Confirmed(int track, uint32_t v1, uint32_t v2) const;
    // What the CUETools database said (and repaired), for the log.
    void SetCtdb(const TRipLogCtdb& ctdb) { FCtdb = ctdb; }
    // The log was due and could not be written (the reason was shown).
    bool LogFailed() const { return FLogFailed; }

    // The job is about to close: true when the log waits for the database and `resume`
    // will be called (queued) once it is written; false when it was written now.
    bool HoldCompletion(std::function<void()> resume);
    // Where the log goes (empty: no log).
    QString LogPath() const;
    // The record as it stands, verdicts applied when the lookup has ended.
    TRipLogRecord Record() const;

private:
    void LookupDone();
    void WriteLog();

    const TOptionsSetting& Settings() const;

    TPrompter* FPrompter;
    std::shared_ptr<const TOptionsSetting> FSettings;
    bool FBegun = false;
    bool FWritten = false;
    TDiscLayout FDisc;
    TRipLogRecord FRecord;
    TRipLogCtdb FCtdb;
    QStringList FOutputs;
    bool FLogFailed = false;
    std::function<void()> FResume;

    mutable std::mutex FLock;          // guards the two below
    bool FLookupEnded = false;
    TAccurateRipLookup FLookup;
    std::unique_ptr<THttpAbort> FAbort;
    std::thread FThread;
};

// A name for the log file from the disc information: "Artist - Album.log" by the rule of
// every output name (DiscFileName), so it sits beside a whole-disc FLAC file of the same name;
// cut so that its part file's name fits too.
QString RipLogFileName(const QString& artist, const QString& album);
// The deepest folder holding every one of the files (absolute paths).
QString CommonFolder(const QStringList& files);
// The output format and its encoder settings, as the log names them.
QString OutputFormatText(const TOptionsSetting& settings);
// A test pass and the copy that disagree: the message for the track, else empty.
QString TestCopyMismatch(const TRipLogTrack& track);

// Begins an audit of the disc behind a handle of the first CD library (its table of
// contents, drive name and stored read offset). False when the table cannot be read.
using HCDROM = uint32_t;
bool BeginAudit(TRipAudit& audit, HCDROM handle);
// The same for the drive of the CD input component; also sets its read offset.
class TCDIn;
bool BeginAudit(TRipAudit& audit, TCDIn& cdIn);
// The settings' read offset key of the drive behind a handle, or of the component's drive.
QString ReadOffsetKeyOf(HCDROM handle);
QString ReadOffsetKeyOf(TCDIn& cdIn);
