#pragma once
// Disc information: artist, album, year, genre, comment and track titles of the disc in the
// drive, cached per disc in "cdinfo.dat".
//
// Genre numbering, one for every user: `Genre` is the index into GenreNames (0..147),
// -1 for none. A genre pick list shows an empty entry first, so its position is Genre + 1;
// a window stores position - 1. CDDB lookups store GenreIndexOf(name) (so -1 when unknown).
// Tag writers pass Genre + 1 to GenreToId3.
#include <QString>
#include <array>
#include <cstdint>

constexpr int MAX_TITLES = 100;
constexpr int GENRE_COUNT = 148;

struct TCDInfo {
    QString Artist;
    QString Album;
    QString Year;
    int32_t Genre = -1;
    QString Comment;
    int32_t TrackNumber = 0;
    std::array<QString, MAX_TITLES + 1> Titles;   // index 1..100 = track number; 0 unused
    QString MBRelease;                            // MusicBrainz release id the titles came from
    // The disc's position in its release and the release's disc count (0: not known).
    int32_t DiscNumber = 0;
    int32_t DiscTotal = 0;
};

// Reads section `discId` of "cdinfo.dat" into OptionsSetting.CDInfo (empty id: nothing)
// and tells whether the cache holds that section, all from one read of the file.
bool LoadCDInfo(const QString& discId);
// Writes OptionsSetting.CDInfo into section `discId` (empty id: nothing). False when the
// file could not be written.
bool SaveCDInfo(const QString& discId);
// Whether "cdinfo.dat" holds a section for `discId` (an empty id has none). A disc the cache
// knows keeps its stored titles; an unknown one may take titles from the disc itself.
bool CDInfoSectionExists(const QString& discId);
// The title of a track nobody named: "音轨 " and the two-digit track number.
QString DefaultTrackTitle(int trackNumber);
// Where "cdinfo.dat" is written (the settings folder) and read (there, else the program folder).
QString CDInfoFileName();

// The 148 genre names of the pick lists, index 0..147.
extern const std::array<const char*, GENRE_COUNT> GenreNames;
int GenreIndexOf(const QString& name);     // exact, case-sensitive; -1 when none
uint8_t GenreToId3(int position);          // pick-list position -> ID3v1 number (255 = none)
uint8_t Id3ToGenre(int number);            // ID3v1 number -> pick-list position (0 = none)
