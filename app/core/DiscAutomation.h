#pragma once
// Rip on insert and eject when done: the decisions the main window takes when a disc has
// arrived and been listed, and when a rip job has ended. Kept apart from the window so
// that they read the same wherever a rip is started from.
#include <QVector>

class TCddbTocSource;
class TJobBase;
struct TCDDBAlbum;
struct TCDInfo;
struct TCommonOptions;
struct TQueryCDDB;

// Whether the listed disc has titles of its own (from the disc cache, its CD-Text or a
// lookup): an artist or album, or a track title other than the numbered default. A disc the
// cache only knows with default titles has none.
bool DiscTitlesKnown(const TCDInfo& info, const QVector<int>& trackNumbers);

// The lookup of a disc that arrived without titles: the CDDB server of the settings, over
// HTTP. True when the server knows exactly one entry for the disc (an exact single match)
// and it was read into `album`; a list of matches to choose from is no answer here.
bool LookUpSingleMatch(TCddbTocSource& toc, const TQueryCDDB& server, TCDDBAlbum& album);

// Whether a disc that has just arrived and been listed is ripped at once: AutoRip is on, its
// titles are known, a track is ticked, and the user is not busy with another window (a rip
// running, the options open, a question asked).
bool ShouldRipOnArrival(const TCommonOptions& options, bool titlesKnown, bool anyTicked, bool busy);

// Whether the job ripped every one of its tracks: it ended without a stop and each entry
// made its file (a job with no entries ripped nothing).
bool RippedEveryTrack(const TJobBase& job);

// Whether the drive is ejected after `job`: EjectWhenDone is on and the job ripped every track.
bool ShouldEjectAfter(const TCommonOptions& options, const TJobBase& job);
