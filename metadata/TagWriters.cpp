#include "metadata/TagWriters.h"

#include "metadata/TagReader.h"
#include "metadata/WavInfo.h"
#include "metadata/id3.h"
#include "platform/OutputFile.h"
#include "settings/CDInfo.h"
#include "settings/Options.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace {

void Add(TCommentList& list, const char* key, const QString& value)
{
    if (!value.isEmpty())
        list.append({QLatin1String(key), value});
}

void AddNumber(TCommentList& list, const char* key, int value)
{
    if (value > 0)
        list.append({QLatin1String(key), QString::number(value)});
}

void AddReplayGain(TCommentList& list, const TTagRecord& tag, const char* const keys[4])
{
    if (tag.HasTrackGain()) {
        list.append({QLatin1String(keys[0]), FormatReplayGain(tag.TrackGain)});
        list.append({QLatin1String(keys[1]), FormatReplayPeak(tag.TrackPeak)});
    }
    if (tag.HasAlbumGain()) {
        list.append({QLatin1String(keys[2]), FormatReplayGain(tag.AlbumGain)});
        list.append({QLatin1String(keys[3]), FormatReplayPeak(tag.AlbumPeak)});
    }
}

const char* const VorbisGainKeys[4] = {"REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_GAIN",
                                       "REPLAYGAIN_ALBUM_PEAK"};

TTagRecord WithoutGain(const TTagRecord& tag)
{
    TTagRecord copy = tag;
    copy.TrackGain = copy.TrackPeak = copy.AlbumGain = copy.AlbumPeak = NAN;
    return copy;
}

// Our ID3v1 tag: its own byte rules cut and encode the texts.
bool WriteId3v1(const QString& path, const TTagRecord& tag, QString* error)
{
    Tid3tag id3;
    id3.SetTitle(tag.Title);
    id3.SetArtist(tag.Artist);
    id3.SetAlbum(tag.Album);
    id3.SetYear(tag.Date.left(4));
    id3.SetComment(tag.Comment);
    id3.SetGenre(GenreToId3(GenreIndexOf(tag.Genre) + 1));
    if (tag.Track > 0 && tag.Track <= 255)
        id3.SetTrack(uint8_t(tag.Track));
    if (Tid3tag::Failed(id3.WriteTag(path))) {
        if (error)
            *error = QFileInfo(path).fileName() + QStringLiteral(": the ID3v1 tag could not be written");
        return false;
    }
    return true;
}

} // namespace

TTagFormat TagFormatOf(const QString& fileName)
{
    QString name = fileName;
    if (name.endsWith(QLatin1String(".part")))
        name.chop(5);
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QLatin1String("mp3")) return TTagFormat::Mp3;
    if (suffix == QLatin1String("wav")) return TTagFormat::Wav;
    if (suffix == QLatin1String("ogg")) return TTagFormat::Ogg;
    if (suffix == QLatin1String("flac")) return TTagFormat::Flac;
    if (suffix == QLatin1String("wma")) return TTagFormat::Wma;
    if (suffix == QLatin1String("opus")) return TTagFormat::Opus;
    if (suffix == QLatin1String("m4a")) return TTagFormat::Mp4;
    return TTagFormat::None;
}

TTagWriteOptions TagWriteOptionsOf(const TOptionsSetting& settings)
{
    TTagWriteOptions options;
    const int version = settings.ID3Version;
    options.Id3Version = version == 23 || version == 1 ? version : 24;
    options.ReplayGain = settings.CommonOptions.ReplayGain != 0;
    return options;
}

TCommentList VorbisComments(const TTagRecord& tag, bool replayGain)
{
    TCommentList list;
    Add(list, "TITLE", tag.Title);
    Add(list, "ARTIST", tag.Artist);
    Add(list, "ALBUM", tag.Album);
    Add(list, "ALBUMARTIST", tag.AlbumArtist);
    Add(list, "DATE", tag.Date);
    Add(list, "GENRE", tag.Genre);
    if (tag.HiddenTrack)
        list.append({QStringLiteral("TRACKNUMBER"), QStringLiteral("0")});
    else
        AddNumber(list, "TRACKNUMBER", tag.Track);
    AddNumber(list, "TRACKTOTAL", tag.TrackTotal);
    AddNumber(list, "DISCNUMBER", tag.Disc);
    AddNumber(list, "DISCTOTAL", tag.DiscTotal);
    Add(list, "COMMENT", tag.Comment);
    Add(list, "ISRC", tag.Isrc);
    Add(list, "CATALOGNUMBER", tag.Catalog);
    Add(list, "MUSICBRAINZ_ALBUMID", tag.MbAlbumId);
    Add(list, "MUSICBRAINZ_DISCID", tag.MbDiscId);
    if (replayGain)
        AddReplayGain(list, tag, VorbisGainKeys);
    return list;
}

int R128Gain(double replayGain)
{
    return int(std::clamp<long>(std::lround((replayGain - 5.0) * 256.0), -32768, 32767));
}

TCommentList OpusComments(const TTagRecord& tag, bool replayGain)
{
    TCommentList list = VorbisComments(tag, false);
    if (replayGain && tag.HasTrackGain())
        list.append({QStringLiteral("R128_TRACK_GAIN"), QString::number(R128Gain(tag.TrackGain))});
    if (replayGain && tag.HasAlbumGain())
        list.append({QStringLiteral("R128_ALBUM_GAIN"), QString::number(R128Gain(tag.AlbumGain))});
    return list;
}

TCommentList WmaMetadata(const TTagRecord& tag, bool replayGain)
{
    TCommentList list;
    Add(list, "title", tag.Title);
    Add(list, "artist", tag.Artist);
    Add(list, "album_artist", tag.AlbumArtist);
    Add(list, "album", tag.Album);
    Add(list, "date", tag.Date);
    Add(list, "genre", tag.Genre);
    if (tag.HiddenTrack)
        list.append({QStringLiteral("track"), QStringLiteral("0")});
    else
        AddNumber(list, "track", tag.Track);
    Add(list, "disc", NumberOfTotal(tag.Disc, tag.DiscTotal));
    Add(list, "comment", tag.Comment);
    Add(list, "isrc", tag.Isrc);
    if (replayGain)
        AddReplayGain(list, tag, VorbisGainKeys);
    return list;
}

bool WriteFileTags(const QString& path, TTagFormat format, const TTagRecord& given, const TTagWriteOptions& options,
                   QString* error)
{
    const TTagRecord tag = options.ReplayGain ? given : WithoutGain(given);
    switch (format) {
    case TTagFormat::Mp3:
        if (!WriteId3v1(path, tag, error))
            return false;
        return options.Id3Version == 1 || WriteId3v2Tag(path, tag, options.Id3Version == 23 ? 3 : 4, error);
    case TTagFormat::Flac:
        return WriteXiphComments(path, TXiphFile::Flac, VorbisComments(tag), tag.Cover, tag.CoverMime, error,
                                 tag.CoverWidth, tag.CoverHeight, tag.CoverDepth);
    case TTagFormat::Ogg:
        return WriteXiphComments(path, TXiphFile::OggVorbis, VorbisComments(tag), tag.Cover, tag.CoverMime, error,
                                 tag.CoverWidth, tag.CoverHeight, tag.CoverDepth);
    case TTagFormat::Opus:
        return WriteXiphComments(path, TXiphFile::OggOpus, OpusComments(tag), tag.Cover, tag.CoverMime, error,
                                 tag.CoverWidth, tag.CoverHeight, tag.CoverDepth);
    case TTagFormat::Mp4:
        return WriteMp4Tag(path, tag, error);
    case TTagFormat::Wav:
        return AppendWavInfo(path, tag, error);
    case TTagFormat::Wma:
        return WriteAsfTag(path, tag, error);
    case TTagFormat::None:
        return true;
    }
    return true;
}

bool CopyFileTags(const QString& source, const QString& partPath, TTagFormat format, const TTagWriteOptions& options,
                  QString* message)
{
    TTagRecord tag;
    if (!ReadFileTags(source, tag, message))
        return true;
    QString error;
    if (!WriteFileTags(partPath, format, tag, options, &error)) {
        if (message)
            *message = error;
        return false;
    }
    return true;
}

bool RetagFile(const QString& finalPath, const TTagRecord& tag, const TTagWriteOptions& options, QString* error)
{
    const QString part = PartPathOf(finalPath);
    RemoveStalePart(finalPath);
    if (!QFile::copy(finalPath, part)) {
        if (error)
            *error = QFileInfo(finalPath).fileName() + QStringLiteral(": cannot be copied for its tags");
        DiscardPart(part);
        return false;
    }
    QFile::setPermissions(part, QFile::permissions(part) | QFileDevice::WriteOwner);
    if (!WriteFileTags(part, TagFormatOf(finalPath), tag, options, error)) {
        DiscardPart(part);
        return false;
    }
    return CommitPart(part, finalPath, error);
}
