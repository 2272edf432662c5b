#pragma once
// What a disc says about its tracks beyond their starts: the gap (INDEX 00) before each
// track, the further index points, the ISRC and pre-emphasis of each track and the disc's
// catalogue number. Images give them in their cue sheet; a drive gives ISRC and catalogue
// number on request and the gaps and indices in the Q sub-channel, searched here.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

struct TTrackExtras {
    int Pregap = 0;                // sectors of INDEX 00 before INDEX 01
    std::vector<int> Indices;      // INDEX 02, 03, ... as sectors after INDEX 01
    QString Isrc;                  // "" when none
    bool PreEmphasis = false;
    bool CopyPermitted = false;    // the DCP flag
};

struct TDiscExtras {
    QString Catalog;               // MCN, "" when none
    std::vector<TTrackExtras> Tracks;   // one per track of the table, in order
};

// A cue sheet's INDEX, PREGAP, ISRC, CATALOG and FLAGS lines, for a sheet of one data file
// whose INDEX 01 positions are the table's starts. `tracks` entries are made whatever the
// sheet holds; what does not parse is left out.
TDiscExtras ParseCueExtras(const QByteArray& sheet, int tracks);

// An ISRC as it must look (two letters, three letters or digits, seven digits) and a
// catalogue number (13 digits, not all zero).
bool ValidIsrc(const QString& isrc);
bool ValidCatalog(const QString& mcn);

// ---- the Q sub-channel ----------------------------------------------------------------------

// One sector's Q sub-channel, decoded. Adr 1: position (Track, Index); 2: catalogue number;
// 3: ISRC.
struct TQFrame {
    int Adr = 0;
    int Control = 0;
    int Track = 0;
    int Index = 0;
    QString Text;                  // the MCN or ISRC of an Adr 2 or 3 frame
};

// The 12 bytes of a Q frame (CRC not checked here) to and from TQFrame.
bool DecodeQ(const uint8_t* q, TQFrame& frame);
void EncodeQ(const TQFrame& frame, int relative, int absolute, uint8_t* q);

// Reads a sector's Q sub-channel; false on a read error.
class TQChannel {
public:
    virtual ~TQChannel() = default;
    virtual bool ReadQ(int lba, TQFrame& frame) = 0;
};

// Finds each track's gap and index points (and the ISRC and catalogue number met in the Q
// frames) by binary search over the sectors around each boundary. starts: the table's
// track starts (INDEX 01) then the lead-out. Sectors that cannot be read are stepped over.
// readCodes: also read the first two hundred sectors of each track for its ISRC (a drive
// gives those on request, faster).
TDiscExtras ScanQChannel(TQChannel& channel, const std::vector<int>& starts, bool readCodes = true);
