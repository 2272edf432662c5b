#pragma once
// libcdio helpers behind the drive library: opening a drive or a disc image, reading its
// table of contents into plain values, and the CD-Text fix-up. Only platform code uses it.
#include <QByteArray>
#include <QString>
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

// libcdio hands cue-sheet CD-Text back as UTF-8 converted from Latin-1. A UTF-8 cue sheet
// therefore comes back double-encoded; undo that when the Latin-1 bytes are valid UTF-8.
QString DecodeCdText(const char* text);
