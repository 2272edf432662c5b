#include "metadata/TrackTags.h"

#include "metadata/MusicBrainz.h"
#include "settings/Options.h"

namespace {

// How CDDB entries and MusicBrainz releases store a track's own artist in its title.
const QLatin1String ArtistSeparator(" / ");

QString At(const QStringList& list, int track)
{
    return track >= 1 && track <= list.size() ? list.at(track - 1) : QString();
}

} // namespace

TTagRecord TrackTagRecord(const TCDInfo& info, int track, int trackTotal, const TDiscTagExtras& extras)
{
    TTagRecord r;
    const QString stored = track >= 1 && track <= MAX_TITLES ? info.Titles[size_t(track)] : QString();
    r.Title = stored.isEmpty() ? DefaultTrackTitle(track) : stored;
    r.Artist = info.Artist;
    const QString performer = At(extras.CDText.TrackPerformers, track);
    // A title the CD-Text gave is a title, whatever it holds; a stored "artist / title" is
    // how a lookup keeps the track's artist.
    const bool fromCdText = !stored.isEmpty() && At(extras.CDText.TrackTitles, track).trimmed() == stored;
    const qsizetype split = fromCdText ? -1 : stored.indexOf(ArtistSeparator);
    if (split > 0 && split + ArtistSeparator.size() < stored.size()) {
        r.Artist = stored.left(split).trimmed();
        r.Title = stored.mid(split + ArtistSeparator.size()).trimmed();
    } else if (!performer.isEmpty()) {
        r.Artist = performer;
    }
    r.AlbumArtist = info.Artist;
    r.Album = info.Album;
    r.Date = info.Year;
    if (info.Genre >= 0 && info.Genre < GENRE_COUNT)
        r.Genre = QString::fromLatin1(GenreNames[size_t(info.Genre)]);
    r.Comment = info.Comment;
    r.Track = track;
    r.HiddenTrack = track == 0;
    r.TrackTotal = trackTotal > 0 ? trackTotal : std::max(info.TrackNumber, track);
    r.Disc = info.DiscNumber;
    r.DiscTotal = info.DiscNumber ? info.DiscTotal : 0;
    r.Isrc = At(extras.Isrcs, track);
    r.Catalog = extras.Catalog;
    r.MbAlbumId = info.MBRelease;
    r.MbDiscId = extras.MbDiscId;
    r.Cover = extras.Cover;
    r.CoverMime = extras.CoverMime;
    const TCoverImage image = CoverImageOf(r.Cover);
    r.CoverWidth = image.Width;
    r.CoverHeight = image.Height;
    r.CoverDepth = image.Depth;
    return r;
}

TTagRecord RipTrackTags(int track, int trackTotal, const TDiscTagExtras& extras)
{
    TTagRecord r = TrackTagRecord(OptionsSetting.CDInfo, track, trackTotal, extras);
    if (r.Cover.isEmpty() && OptionsSetting.MusicBrainz.Cover) {
        const TCoverImage cover = CurrentDiscCover();
        r.Cover = cover.Bytes;
        r.CoverMime = cover.Mime;
        r.CoverWidth = cover.Width;
        r.CoverHeight = cover.Height;
        r.CoverDepth = cover.Depth;
    }
    return r;
}
