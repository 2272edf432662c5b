#pragma once
// The tag record of a track of the disc, from the disc information as it is stored (the
// titles a lookup, the CD-Text or the user gave) and what the disc itself carries. The texts
// go into the tags exactly as stored: cleaning for file names applies to names only.
#include "platform/TagRecord.h"
#include "platform/akrip32.h"
#include "settings/CDInfo.h"

#include <QStringList>

// What a rip knows about the disc beyond the stored information; all optional.
struct TDiscTagExtras {
    TCDTextInfo CDText;        // the disc's CD-Text: a track PERFORMER is that track's artist
    QString MbDiscId;          // MusicBrainz disc id of the disc's table of contents
    QString Catalog;           // the disc's MCN
    QStringList Isrcs;         // index 0 = track 1
    QByteArray Cover;          // the front cover and its type
    QString CoverMime;
};

// Track `track`'s record: title as stored (the track's default title when it has none);
// artist: the track's own where a stored "artist / title" (CDDB, MusicBrainz) or the CD-Text
// track PERFORMER names one, else the disc's; album artist the disc's artist; genre the
// genre's name, none when the disc has none; track n of `trackTotal` (0: the stored count);
// the MusicBrainz release id as the album id.
TTagRecord TrackTagRecord(const TCDInfo& info, int track, int trackTotal, const TDiscTagExtras& extras = {});

// The same for a rip of the current disc (OptionsSetting.CDInfo), with its stored front
// cover when the cover setting is on and `extras` brings none.
TTagRecord RipTrackTags(int track, int trackTotal, const TDiscTagExtras& extras = {});
