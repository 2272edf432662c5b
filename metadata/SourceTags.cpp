#include "metadata/SourceTags.h"
#include "audio/VorbisIn.h"
#include "metadata/id3.h"
#include "settings/CDInfo.h"

#include <QFileInfo>

TFileNameTags SourceFileTags(const QString& path, int position)
{
    TFileNameTags tags;
    const QFileInfo info(path);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    tags.DefaultName = dot > 0 ? name.left(dot) : name;
    tags.TrackNumber = position;
    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("mp3")) {
        Tid3tag id3;
        if (!Tid3tag::Failed(id3.ReadTag(path))) {
            tags.Title = id3.Title().trimmed();
            tags.Artist = id3.Artist().trimmed();
            tags.Album = id3.Album().trimmed();
            tags.Year = id3.Year().trimmed();
            const int genre = Id3ToGenre(id3.Genre()) - 1;
            if (genre >= 0 && genre < GENRE_COUNT) tags.Genre = QLatin1String(GenreNames[size_t(genre)]);
            if (id3.HasTrack() && id3.Track() > 0) tags.TrackNumber = id3.Track();
        }
    } else if (suffix == QLatin1String("ogg")) {
        try {
            TVorbisIn in;
            in.SetFileName(path);
            if (in.Valid()) {
                const TVorbisTags& c = in.VorbisComments();
                tags.Title = c.Title();
                tags.Artist = c.Artist();
                tags.Album = c.Album();
                tags.Year = c.Date().left(4);
                tags.Genre = c.Genre();
                bool ok = false;
                const int track = c.Track().section(QLatin1Char('/'), 0, 0).toInt(&ok);
                if (ok && track > 0) tags.TrackNumber = track;
            }
        } catch (const std::exception&) {
            // An unreadable file names itself by its base name.
        }
    }
    if (CleanNameValue(tags.Title).isEmpty()) tags.Title = tags.DefaultName;
    return tags;
}
