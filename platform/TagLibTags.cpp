#include "platform/TagLibTags.h"

#include <QFile>
#include <QFileInfo>

#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/asftag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <memory>
#include <vector>

namespace {

TagLib::String Str(const QString& text)
{
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

QString Qs(const TagLib::String& text)
{
    return CleanReadText(QString::fromStdString(text.to8Bit(true)));
}

TagLib::ByteVector Bytes(const QByteArray& data)
{
    return TagLib::ByteVector(data.constData(), unsigned(data.size()));
}

bool Fail(QString* error, const QString& path, const char* what)
{
    if (error)
        *error = QFileInfo(path).fileName() + QStringLiteral(": ") + QLatin1String(what);
    return false;
}

// TagLib opens a file it cannot write read-only and reports the failed save only as false.
bool Writable(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists())
        return Fail(error, path, "the file does not exist");
    if (!info.isWritable())
        return Fail(error, path, "the file is read-only");
    return true;
}

// ---- ID3v2 ------------------------------------------------------------------------------

void AddText(TagLib::ID3v2::Tag& tag, const char* id, const QString& value, TagLib::String::Type encoding)
{
    if (value.isEmpty())
        return;
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id), encoding);
    frame->setText(Str(value));
    tag.addFrame(frame);
}

void AddUserText(TagLib::ID3v2::Tag& tag, const char* description, const QString& value,
                 TagLib::String::Type encoding)
{
    if (value.isEmpty())
        return;
    tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String(description),
                                                                TagLib::StringList(Str(value)), encoding));
}

QString FrameText(TagLib::ID3v2::Tag& tag, const char* id)
{
    const TagLib::ID3v2::FrameList& frames = tag.frameList(TagLib::ByteVector(id));
    return frames.isEmpty() ? QString() : Qs(frames.front()->toString());
}

QString UserText(TagLib::ID3v2::Tag& tag, const char* description)
{
    auto* frame = TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, TagLib::String(description));
    if (!frame)
        return QString();
    const TagLib::StringList fields = frame->fieldList();
    return fields.size() > 1 ? Qs(fields[1]) : QString();
}

} // namespace

bool WriteId3v2Tag(const QString& path, const TTagRecord& r, int version, QString* error)
{
    if (!Writable(path, error))
        return false;
    const QByteArray name = QFile::encodeName(path);
    TagLib::MPEG::File file(name.constData(), false);
    if (!file.isValid())
        return Fail(error, path, "not an MP3 file TagLib can open");
    const TagLib::String::Type enc = version == 3 ? TagLib::String::UTF16 : TagLib::String::UTF8;
    TagLib::ID3v2::Tag& tag = *file.ID3v2Tag(true);
    // A fresh tag: frames another program left are not mixed with ours. (The pointers are
    // taken out first: a copy of the tag's own list would share its ownership and delete
    // the removed frames a second time when it goes.)
    const std::vector<TagLib::ID3v2::Frame*> old(tag.frameList().begin(), tag.frameList().end());
    for (TagLib::ID3v2::Frame* frame : old)
        tag.removeFrame(frame, true);

    AddText(tag, "TIT2", r.Title, enc);
    AddText(tag, "TPE1", r.Artist, enc);
    AddText(tag, "TALB", r.Album, enc);
    AddText(tag, "TPE2", r.AlbumArtist, enc);
    AddText(tag, "TDRC", r.Date, enc);
    AddText(tag, "TCON", r.Genre, enc);
    AddText(tag, "TRCK", TrackNumberText(r), enc);
    AddText(tag, "TPOS", NumberOfTotal(r.Disc, r.DiscTotal), enc);
    AddText(tag, "TSRC", r.Isrc, enc);
    if (!r.Comment.isEmpty()) {
        auto* comment = new TagLib::ID3v2::CommentsFrame(enc);
        comment->setLanguage(TagLib::ByteVector("eng"));
        comment->setText(Str(r.Comment));
        tag.addFrame(comment);
    }
    AddUserText(tag, "CATALOGNUMBER", r.Catalog, enc);
    AddUserText(tag, "MusicBrainz Album Id", r.MbAlbumId, enc);
    AddUserText(tag, "MusicBrainz Disc Id", r.MbDiscId, enc);
    if (r.HasTrackGain()) {
        AddUserText(tag, "REPLAYGAIN_TRACK_GAIN", FormatReplayGain(r.TrackGain), enc);
        AddUserText(tag, "REPLAYGAIN_TRACK_PEAK", FormatReplayPeak(r.TrackPeak), enc);
    }
    if (r.HasAlbumGain()) {
        AddUserText(tag, "REPLAYGAIN_ALBUM_GAIN", FormatReplayGain(r.AlbumGain), enc);
        AddUserText(tag, "REPLAYGAIN_ALBUM_PEAK", FormatReplayPeak(r.AlbumPeak), enc);
    }
    if (!r.Cover.isEmpty()) {
        auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setTextEncoding(enc);
        picture->setMimeType(Str(r.CoverMime));
        picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        picture->setPicture(Bytes(r.Cover));
        tag.addFrame(picture);
    }
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone,
                   version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate))
        return Fail(error, path, "the tag could not be written");
    return true;
}

bool EditId3v2Fields(const QString& path, const TId3v2Edit& edit, bool& had, QString* error)
{
    had = false;
    const QByteArray name = QFile::encodeName(path);
    TagLib::MPEG::File file(name.constData(), false);
    if (!file.isValid())
        return Fail(error, path, "not an MP3 file TagLib can open");
    if (!file.hasID3v2Tag())
        return true;
    had = true;
    if (!Writable(path, error))
        return false;
    TagLib::ID3v2::Tag& tag = *file.ID3v2Tag(false);
    const int version = tag.header()->majorVersion() == 3 ? 3 : 4;
    const TagLib::String::Type enc = version == 3 ? TagLib::String::UTF16 : TagLib::String::UTF8;
    const auto replace = [&](const char* id, const QString& value) {
        tag.removeFrames(TagLib::ByteVector(id));
        AddText(tag, id, value, enc);
    };
    const auto set = [&](const char* id, const std::optional<QString>& value) {
        if (value)
            replace(id, *value);
    };
    set("TIT2", edit.Title);
    set("TPE1", edit.Artist);
    set("TALB", edit.Album);
    set("TCON", edit.Genre);
    if (edit.Year && (edit.Year->isEmpty() || !FrameText(tag, "TDRC").startsWith(*edit.Year)))
        replace("TDRC", *edit.Year);
    if (edit.Track) {
        int track = 0, total = 0;
        ParseNumberOfTotal(FrameText(tag, "TRCK"), track, total);
        replace("TRCK", NumberOfTotal(*edit.Track, total >= *edit.Track ? total : 0));
    }
    if (edit.Comment) {
        // The editor's comment is the one without a description, in any language.
        const TagLib::ID3v2::FrameList comments = tag.frameList(TagLib::ByteVector("COMM"));
        const std::vector<TagLib::ID3v2::Frame*> plain(comments.begin(), comments.end());
        for (TagLib::ID3v2::Frame* frame : plain)
            if (static_cast<TagLib::ID3v2::CommentsFrame*>(frame)->description().isEmpty())
                tag.removeFrame(frame, true);
        if (!edit.Comment->isEmpty()) {
            auto* comment = new TagLib::ID3v2::CommentsFrame(enc);
            comment->setLanguage(TagLib::ByteVector("eng"));
            comment->setText(Str(*edit.Comment));
            tag.addFrame(comment);
        }
    }
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone,
                   version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate))
        return Fail(error, path, "the tag could not be written");
    return true;
}

bool ReadId3v2Tag(const QString& path, TTagRecord& r, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    TagLib::MPEG::File file(name.constData(), false);
    if (!file.isValid())
        return Fail(error, path, "not an MP3 file TagLib can open");
    if (!file.hasID3v2Tag())
        return Fail(error, path, "no ID3v2 tag");
    TagLib::ID3v2::Tag& tag = *file.ID3v2Tag(false);
    if (tag.frameList().isEmpty())
        return Fail(error, path, "the ID3v2 tag is empty or damaged");
    const auto take = [](QString& field, const QString& value) {
        if (!value.isEmpty())
            field = value;
    };
    take(r.Title, FrameText(tag, "TIT2"));
    take(r.Artist, FrameText(tag, "TPE1"));
    take(r.Album, FrameText(tag, "TALB"));
    take(r.AlbumArtist, FrameText(tag, "TPE2"));
    take(r.Date, FrameText(tag, "TDRC"));
    // TagLib names a genre given by its ID3v1 number ("(8)", "8").
    take(r.Genre, Qs(tag.genre()));
    take(r.Isrc, FrameText(tag, "TSRC"));
    const QString track = FrameText(tag, "TRCK");
    if (!track.isEmpty())
        ParseNumberOfTotal(track, r.Track, r.TrackTotal);
    const QString disc = FrameText(tag, "TPOS");
    if (!disc.isEmpty())
        ParseNumberOfTotal(disc, r.Disc, r.DiscTotal);
    for (TagLib::ID3v2::Frame* frame : tag.frameList(TagLib::ByteVector("COMM"))) {
        auto* comment = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(frame);
        if (comment && comment->description().isEmpty()) {
            take(r.Comment, Qs(comment->text()));
            break;
        }
    }
    take(r.Catalog, UserText(tag, "CATALOGNUMBER"));
    take(r.MbAlbumId, UserText(tag, "MusicBrainz Album Id"));
    take(r.MbDiscId, UserText(tag, "MusicBrainz Disc Id"));
    const double trackGain = ParseReplayGain(UserText(tag, "REPLAYGAIN_TRACK_GAIN"));
    const double trackPeak = ParseReplayPeak(UserText(tag, "REPLAYGAIN_TRACK_PEAK"));
    if (!std::isnan(trackGain) && !std::isnan(trackPeak))
        r.TrackGain = trackGain, r.TrackPeak = trackPeak;
    const double albumGain = ParseReplayGain(UserText(tag, "REPLAYGAIN_ALBUM_GAIN"));
    const double albumPeak = ParseReplayPeak(UserText(tag, "REPLAYGAIN_ALBUM_PEAK"));
    if (!std::isnan(albumGain) && !std::isnan(albumPeak))
        r.AlbumGain = albumGain, r.AlbumPeak = albumPeak;

    // The front cover, else the first picture; one too large to be a cover is left out.
    TagLib::ID3v2::AttachedPictureFrame* chosen = nullptr;
    for (TagLib::ID3v2::Frame* frame : tag.frameList(TagLib::ByteVector("APIC"))) {
        auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (!picture)
            continue;
        if (!chosen || picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
            chosen = picture;
        if (picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
            break;
    }
    if (chosen && chosen->picture().size() > 0) {
        r.Cover = QByteArray(chosen->picture().data(), qsizetype(chosen->picture().size()));
        r.CoverMime = Qs(chosen->mimeType());
    }
    return true;
}

// ---- Vorbis comments ----------------------------------------------------------------------

namespace {

TagLib::Ogg::XiphComment* CommentsOf(TagLib::File& file, TXiphFile kind, bool create)
{
    if (kind == TXiphFile::Flac)
        return static_cast<TagLib::FLAC::File&>(file).xiphComment(create);
    if (kind == TXiphFile::OggOpus)
        return static_cast<TagLib::Ogg::Opus::File&>(file).tag();
    return static_cast<TagLib::Ogg::Vorbis::File&>(file).tag();
}

std::unique_ptr<TagLib::File> OpenXiph(const QByteArray& name, TXiphFile kind)
{
    if (kind == TXiphFile::Flac)
        return std::make_unique<TagLib::FLAC::File>(name.constData(), false);
    if (kind == TXiphFile::OggOpus)
        return std::make_unique<TagLib::Ogg::Opus::File>(name.constData(), false);
    return std::make_unique<TagLib::Ogg::Vorbis::File>(name.constData(), false);
}

const char* XiphKindText(TXiphFile kind)
{
    switch (kind) {
    case TXiphFile::Flac: return "not a FLAC file";
    case TXiphFile::OggOpus: return "not an Ogg Opus file";
    default: return "not an Ogg Vorbis file";
    }
}

} // namespace

bool WriteXiphComments(const QString& path, TXiphFile kind, const TCommentList& comments, const QByteArray& cover,
                       const QString& coverMime, QString* error, int coverWidth, int coverHeight, int coverDepth)
{
    if (!Writable(path, error))
        return false;
    const QByteArray name = QFile::encodeName(path);
    std::unique_ptr<TagLib::File> file = OpenXiph(name, kind);
    TagLib::Ogg::XiphComment* xiph = file->isValid() ? CommentsOf(*file, kind, true) : nullptr;
    if (!xiph)
        return Fail(error, path, XiphKindText(kind));
    xiph->removeAllFields();
    for (const auto& [key, value] : comments)
        xiph->addField(Str(key), Str(value), false);
    // A FLAC file keeps pictures in blocks of their own, an Ogg file in a comment.
    if (kind == TXiphFile::Flac)
        static_cast<TagLib::FLAC::File&>(*file).removePictures();
    xiph->removeAllPictures();
    if (!cover.isEmpty()) {
        auto* picture = new TagLib::FLAC::Picture;
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        picture->setMimeType(Str(coverMime));
        picture->setData(Bytes(cover));
        picture->setWidth(coverWidth);
        picture->setHeight(coverHeight);
        picture->setColorDepth(coverDepth);
        if (kind == TXiphFile::Flac)
            static_cast<TagLib::FLAC::File&>(*file).addPicture(picture);
        else
            xiph->addPicture(picture);
    }
    if (!file->save())
        return Fail(error, path, "the comments could not be written");
    return true;
}

bool ReadXiphComments(const QString& path, TXiphFile kind, TCommentList& comments, QByteArray& cover,
                      QString& coverMime, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    std::unique_ptr<TagLib::File> file = OpenXiph(name, kind);
    TagLib::Ogg::XiphComment* xiph = file->isValid() ? CommentsOf(*file, kind, false) : nullptr;
    if (!file->isValid())
        return Fail(error, path, XiphKindText(kind));
    if (xiph) {
        const TagLib::Ogg::FieldListMap& fields = xiph->fieldListMap();
        for (const auto& [key, values] : fields)
            for (const TagLib::String& value : values)
                comments.append({Qs(key).toUpper(), Qs(value)});
    }
    TagLib::List<TagLib::FLAC::Picture*> pictures;
    if (kind == TXiphFile::Flac)
        pictures = static_cast<TagLib::FLAC::File&>(*file).pictureList();
    if (pictures.isEmpty() && xiph)
        pictures = xiph->pictureList();
    TagLib::FLAC::Picture* chosen = nullptr;
    for (TagLib::FLAC::Picture* picture : pictures) {
        if (!chosen || picture->type() == TagLib::FLAC::Picture::FrontCover)
            chosen = picture;
        if (picture->type() == TagLib::FLAC::Picture::FrontCover)
            break;
    }
    if (chosen && chosen->data().size() > 0) {
        cover = QByteArray(chosen->data().data(), qsizetype(chosen->data().size()));
        coverMime = Qs(chosen->mimeType());
    }
    return true;
}

// ---- ASF (WMA) ------------------------------------------------------------------------------

bool WriteAsfTag(const QString& path, const TTagRecord& r, QString* error)
{
    if (!Writable(path, error))
        return false;
    const QByteArray name = QFile::encodeName(path);
    TagLib::ASF::File file(name.constData(), false);
    TagLib::ASF::Tag* tag = file.isValid() ? file.tag() : nullptr;
    if (!tag)
        return Fail(error, path, "not a WMA file TagLib can open");
    // A fresh tag, as for ID3v2.
    std::vector<TagLib::String> keys;
    for (const auto& [key, values] : tag->attributeListMap())
        keys.push_back(key);
    for (const TagLib::String& key : keys)
        tag->removeItem(key);
    tag->setTitle(Str(r.Title));
    tag->setArtist(Str(r.Artist));
    tag->setComment(Str(r.Comment));
    tag->setCopyright(TagLib::String());
    tag->setRating(TagLib::String());
    const auto set = [&](const char* key, const QString& value) {
        if (!value.isEmpty())
            tag->setAttribute(TagLib::String(key), TagLib::ASF::Attribute(Str(value)));
    };
    set("WM/AlbumTitle", r.Album);
    set("WM/AlbumArtist", r.AlbumArtist);
    set("WM/Year", r.Date);
    set("WM/Genre", r.Genre);
    set("WM/TrackNumber", r.Track > 0 || r.HiddenTrack ? QString::number(r.Track) : QString());
    set("WM/PartOfSet", NumberOfTotal(r.Disc, r.DiscTotal));
    set("WM/ISRC", r.Isrc);
    set("WM/CatalogNo", r.Catalog);
    set("MusicBrainz/Album Id", r.MbAlbumId);
    set("MusicBrainz/Disc Id", r.MbDiscId);
    if (r.HasTrackGain()) {
        set("REPLAYGAIN_TRACK_GAIN", FormatReplayGain(r.TrackGain));
        set("REPLAYGAIN_TRACK_PEAK", FormatReplayPeak(r.TrackPeak));
    }
    if (r.HasAlbumGain()) {
        set("REPLAYGAIN_ALBUM_GAIN", FormatReplayGain(r.AlbumGain));
        set("REPLAYGAIN_ALBUM_PEAK", FormatReplayPeak(r.AlbumPeak));
    }
    if (!r.Cover.isEmpty()) {
        TagLib::ASF::Picture picture;
        picture.setType(TagLib::ASF::Picture::FrontCover);
        picture.setMimeType(Str(r.CoverMime));
        picture.setPicture(Bytes(r.Cover));
        tag->setAttribute(TagLib::String("WM/Picture"), TagLib::ASF::Attribute(picture));
    }
    if (!file.save())
        return Fail(error, path, "the tag could not be written");
    return true;
}

// ---- MP4 ------------------------------------------------------------------------------------

bool WriteMp4Tag(const QString& path, const TTagRecord& r, QString* error)
{
    if (!Writable(path, error))
        return false;
    const QByteArray name = QFile::encodeName(path);
    TagLib::MP4::File file(name.constData(), false);
    TagLib::MP4::Tag* tag = file.isValid() ? file.tag() : nullptr;
    if (!tag)
        return Fail(error, path, "not an MP4 file TagLib can open");
    // A fresh tag, as for ID3v2.
    std::vector<TagLib::String> keys;
    for (const auto& [key, item] : tag->itemMap())
        keys.push_back(key);
    for (const TagLib::String& key : keys)
        tag->removeItem(key);
    const auto text = [&](const char* atom, const QString& value) {
        if (!value.isEmpty())
            tag->setItem(TagLib::String(atom), TagLib::MP4::Item(TagLib::StringList(Str(value))));
    };
    // The free-form atoms players share for what iTunes has no atom of its own for.
    const auto freeForm = [&](const char* field, const QString& value) {
        if (!value.isEmpty())
            tag->setItem(TagLib::String("----:com.apple.iTunes:") + TagLib::String(field),
                         TagLib::MP4::Item(TagLib::StringList(Str(value))));
    };
    text("\251nam", r.Title);
    text("\251ART", r.Artist);
    text("\251alb", r.Album);
    text("aART", r.AlbumArtist);
    text("\251day", r.Date);
    text("\251gen", r.Genre);
    text("\251cmt", r.Comment);
    if (r.Track > 0 || r.HiddenTrack)
        tag->setItem("trkn", TagLib::MP4::Item(r.Track, r.TrackTotal));
    if (r.Disc > 0)
        tag->setItem("disk", TagLib::MP4::Item(r.Disc, r.DiscTotal));
    freeForm("ISRC", r.Isrc);
    freeForm("CATALOGNUMBER", r.Catalog);
    freeForm("MusicBrainz Album Id", r.MbAlbumId);
    freeForm("MusicBrainz Disc Id", r.MbDiscId);
    if (r.HasTrackGain()) {
        freeForm("replaygain_track_gain", FormatReplayGain(r.TrackGain));
        freeForm("replaygain_track_peak", FormatReplayPeak(r.TrackPeak));
    }
    if (r.HasAlbumGain()) {
        freeForm("replaygain_album_gain", FormatReplayGain(r.AlbumGain));
        freeForm("replaygain_album_peak", FormatReplayPeak(r.AlbumPeak));
    }
    if (!r.Cover.isEmpty()) {
        const auto format = r.CoverMime == QLatin1String("image/png") ? TagLib::MP4::CoverArt::PNG
                                                                       : TagLib::MP4::CoverArt::JPEG;
        TagLib::MP4::CoverArtList covers;
        covers.append(TagLib::MP4::CoverArt(format, Bytes(r.Cover)));
        tag->setItem("covr", TagLib::MP4::Item(covers));
    }
    if (!file.save())
        return Fail(error, path, "the tag could not be written");
    return true;
}
