#pragma once
// libcdio helpers behind the drive library: opening a drive or a disc image, reading its
// table of contents into plain values, and the CD-Text fix-up. Only platform code uses it.
#include "platform/DiscExtras.h"
#include "platform/akrip32.h"
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

typedef struct _CdIo CdIo_t;

// The table of contents as the drive library needs it.
struct TDiscToc {
    int FirstTrack = 0;
    int LastTrack = 0;
    std::vector<int> Starts;       // LBA of each track, then the lead-out
    std::vector<uint8_t> Control;  // control nibble of each track (0x04 = data)
    int TrackCount() const { return LastTrack - FirstTrack + 1; }
    int LeadOut() const { return Starts.empty() ? 0 : Starts.back(); }
    bool IsAudio(int index) const { return (Control[size_t(index)] & 0x04) == 0; }
    // Whether any track holds audio: a mixed-mode disc starts with its data track.
    bool HasAudio() const
    {
        for (size_t i = 0; i < Control.size(); ++i)
            if (IsAudio(int(i))) return true;
        return false;
    }
};

// Sets up libcdio once: its default log handler ends the process on errors (which a
// garbled cue sheet triggers), so ours only logs.
void EnsureCdioReady();

// Opens a disc image by its extension (.cue, .bin, .toc, .nrg; anything else is left to
// libcdio's guess) or a physical device. nullptr when libcdio refuses it.
CdIo_t* OpenCdioSource(const QString& path, bool image);

// Reads and checks the TOC; false for a disc without a sensible one.
bool ReadDiscToc(CdIo_t* cdio, TDiscToc& toc);

// A token that changes when the image file changes (canonical path, size, modification
// time); empty when the file does not exist.
QString ImageFileToken(const QString& path);

// Gaps, indices, ISRC, pre-emphasis and catalogue number of an open source: from the cue
// sheet of an image (imagePath), else from libcdio and, for a drive, its Q sub-channel.
TDiscExtras ReadCdioExtras(CdIo_t* cdio, const TDiscToc& toc, const QString& imagePath);

// CD-Text of an open source (empty texts when the disc carries none).
TCDTextInfo ReadCdioCDText(CdIo_t* cdio, const TDiscToc& toc);

// libcdio hands cue-sheet CD-Text back as UTF-8 converted from Latin-1, whatever the sheet
// was written in. The Latin-1 bytes are the sheet's own: they are read again like any text
// file of the program (UTF-8 when valid, else GBK; bytes that are neither stay Latin-1).
QString DecodeCdText(const char* text);

// The FILE lines of a cue sheet: the data files (as paths, relative names taken from the
// sheet's folder) and their types ("BINARY", "WAVE", ...), upper case.
struct TCueSheetFiles {
    bool Readable = false;
    QStringList Files;
    QStringList Types;
    int LongestLine = 0;           // bytes
};
TCueSheetFiles ReadCueSheetFiles(const QString& cuePath);
bool IsRawDataType(const QString& type);   // BINARY or MOTOROLA: sectors as they are
// The first word of a cue-sheet line, taken off `rest`; a quoted word loses its quotes.
QString TakeCueWord(QString& rest);

// The data file of a cue sheet: the one its FILE line names when that is there, else the
// .bin of the same base name (where libcdio itself looks).
QString CueDataFile(const QString& cuePath);

// The path to hand to libcdio for a cue sheet: the sheet itself, or links of matching
// names in a private temporary folder when its one data file has another base name.
QString CueSheetForCdio(const QString& cuePath);

// Why a disc image cannot be read (called once reading it failed).
// libcdio gives up on cue-sheet lines longer than its line buffer (4 KiB with the break).
constexpr int MaxCueLineLength = 4094;
enum class TImageProblem {
    Missing,           // no such file
    NotAFile,          // a folder or a device
    SeveralFiles,      // a cue sheet with more than one FILE line
    NotBinary,         // a cue sheet whose FILE is not raw sectors (WAVE, MP3, ...)
    DataFileMissing,   // the data file of a cue sheet is not there
    LineTooLong,       // a cue-sheet line longer than libcdio reads
    Unreadable,        // anything else: not a disc image libcdio understands
};
TImageProblem DiagnoseImage(const QString& path);
