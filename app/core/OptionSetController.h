#pragma once
// What the options window decides, without its widgets: the values its controls show,
// filled from the settings record, checked and stored back on OK, and the drive list of
// its CD-ROM page. The window copies these values to and from its controls; tests drive
// the controller alone or through the window.
#include "platform/Prompter.h"
#include "settings/Options.h"
#include <QString>
#include <QStringList>
#include <functional>

// The control values of the options window, as item indexes, ticks and texts.
struct TOptionSetFields {
    // Output page.
    QString OutputDir;
    int OutputFormat = 0;          // item of cbOutputFormat
    bool DeleteWav = true;         // ckbKeepWav: the inverse of IsKeepWav
    QString FileNamePattern;       // editFileNamePattern
    bool Normalize = false;
    int NormalizePercent = 95;     // 0..100
    bool EnableRipTime = false;
    QString RipTime = QStringLiteral("0");
    // MP3 page (bitrates as items of the MP3 bitrate list).
    bool SelectVBR = false;
    bool VBRHead = false;
    int BitRate = 8;
    int MaxBitRate = 13;
    int VBRQuality = 4;
    int MpegQuality = 0;
    int StereoMode = 1;
    // OGG page.
    bool UseCompress = true;
    int Compression = 30;          // 30..100
    int OggNomBit = 0;
    int OggMaxBit = 0;
    int OggMinBit = 0;
    // WMA page.
    int WMABitrate = DEFAULT_WMA_PROFILE;
    // FLAC page.
    int FlacLevel = 5;             // 0..8
    bool FlacCuesheet = false;
    // ID3 Tag page.
    bool UseID3 = false;
    QString Artist;
    QString Album;
    QString Year;
    int GenrePosition = 0;         // 0 = the empty entry, else GenreNames index + 1
    QString Comment;
    int DiscNumber = 0;            // 0 = not known
    int DiscTotal = 0;
    // CD-ROM page.
    int DriveItem = -1;            // selected item of cbCDList; -1 = none
    bool CDDb = false;
};

// The number of items of the window's fixed lists.
constexpr int VBR_QUALITY_COUNT = 10;
constexpr int MPEG_QUALITY_COUNT = 3;
constexpr int STEREO_MODE_COUNT = 5;
constexpr int COMPRESS_MIN = 30;
constexpr int COMPRESS_MAX = 100;

// The item of the MP3 bitrate list nearest to `kbps` (a tie goes to the lower bitrate).
int NearestMp3BitRateItem(int kbps);
// The song length typed in: a whole number 0..2147483647 after trimming blanks; false
// for anything else ("abc", "-5", "", a number too large).
bool ParseRipTime(const QString& text, int32_t& seconds);
// The folder typed in, absolute and cleaned with a trailing "/" ("~/" at the start is the
// home folder); empty when it is not an existing folder.
QString ExistingOutputFolder(const QString& text);
// The folder at which the folder browser opens: the typed folder when it exists, else
// the home folder.
QString BrowseStartFolder(const QString& text);

// The values of the controls for a record: values outside a control's range show the
// field's default, texts show whole.
TOptionSetFields FieldsFromOptions(const TOptionsSetting& options);
// Stores the values into the record (everything but the drive, which Accept handles).
// The rip length must have been checked.
void StoreFields(const TOptionSetFields& fields, TOptionsSetting& options);

// What the options window needs from the main window.
struct TOptionSetHost {
    // The names of the drives, in drive order (the CD-ROM page's list).
    std::function<QStringList()> DriveNames;
    // Reach drive `index` and list its disc, after storing the listed disc's titles and
    // tag fields in the disc cache.
    std::function<void(int index)> UseDrive;
    // The main window keeps its status text as the one to restore after playback.
    std::function<void()> KeepStatus;
};

class TOptionSetController {
public:
    TOptionSetController(TOptionsSetting& options, TPrompter& prompter, TOptionSetHost host);

    TOptionSetFields Fields;

    // Fills Fields from the record and notes the drive and CD DB choice it started with.
    void Load();
    // The CD-ROM page is shown: the drive names afresh (each drive once however often the
    // page is shown); selects the starting drive when the list has it.
    const QStringList& ListDrives();
    const QStringList& Drives() const { return FDrives; }

    void SetMp3Defaults();
    void SetWMADefault() { Fields.WMABitrate = DEFAULT_WMA_PROFILE; }

    // OK: checks the output folder and the song length (a refusal is shown through the
    // prompter and stores nothing), stores every field, and reaches another drive when
    // the choice changed. Returns what was refused.
    enum class TRefusal { None, OutputFolder, RipTime };
    TRefusal Accept();

    int StartDrive() const { return FStartDrive; }
    bool StartCDDb() const { return FStartCDDb; }

private:
    TOptionsSetting& FOptions;
    TPrompter& FPrompter;
    TOptionSetHost FHost;
    QStringList FDrives;
    int FStartDrive = 0;
    bool FStartCDDb = false;
};
