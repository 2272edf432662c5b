#pragma once
// Tags written and read through TagLib, the tag library every player's own code agrees with:
// ID3v2 in MP3 files, Vorbis comments (with their picture) in FLAC and Ogg Vorbis files, and
// the ASF attributes of WMA files.
// A file's audio and its other tags (an MP3's ID3v1 tag, a FLAC cue sheet) stay as they are.
// Every call opens the file by itself, so different files may be tagged on different
// threads at once.
#include "platform/TagRecord.h"

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

// ID3v2 version: 4 (texts in UTF-8) or 3 (texts in UTF-16).
// Replaces the MP3 file's ID3v2 tag by one made from `tag`: TIT2 TPE1 TALB TPE2 TDRC (TYER
// in v2.3) TCON TRCK TPOS COMM APIC TSRC, TXXX for the catalogue number, the MusicBrainz ids
// and the ReplayGain values. False with the cause in `error`.
bool WriteId3v2Tag(const QString& path, const TTagRecord& tag, int version, QString* error = nullptr);
// The MP3 file's ID3v2 tag into `tag` (fields it lacks are left alone). False when the file
// has none or cannot be read (`error` says which).
bool ReadId3v2Tag(const QString& path, TTagRecord& tag, QString* error = nullptr);

// The fields the ID3 editor shows, set into the MP3 file's existing ID3v2 tag. A field
// without a value is left as it is; title, artist, album, genre and comment replace their
// frames (an empty text removes the frame); the year replaces the date unless the date
// already starts with it (a full date is kept); the track number replaces n of "n/N".
// Every other frame, the tag's version and the ID3v1 tag stay. Nothing is done (true, `had`
// false) when the file has no ID3v2 tag. False with the cause in `error`.
struct TId3v2Edit {
    std::optional<QString> Title, Artist, Album, Year, Genre, Comment;
    std::optional<int> Track;
};
bool EditId3v2Fields(const QString& path, const TId3v2Edit& edit, bool& had, QString* error = nullptr);

// Replaces the WMA (ASF) file's tag by one made from `tag`: title, author, description in
// the content description; WM/AlbumTitle, WM/AlbumArtist, WM/Year, WM/Genre, WM/TrackNumber,
// WM/PartOfSet, WM/ISRC, WM/CatalogNo, the MusicBrainz ids, the ReplayGain values and the
// front cover as WM/Picture among the extended attributes.
bool WriteAsfTag(const QString& path, const TTagRecord& tag, QString* error = nullptr);

// Replaces the MP4 (.m4a) file's tag by one made from `tag` in the atoms iTunes-style players
// read: ©nam ©ART ©alb aART ©day ©gen trkn disk ©cmt, covr for the cover, and "----" atoms
// (com.apple.iTunes) for the ISRC, catalogue number, MusicBrainz ids and ReplayGain values.
bool WriteMp4Tag(const QString& path, const TTagRecord& tag, QString* error = nullptr);

// Vorbis comments as (field name, value) pairs in their order.
using TCommentList = QList<QPair<QString, QString>>;
enum class TXiphFile { Flac, OggVorbis, OggOpus };

// Replaces the file's comments by `comments` and its pictures by the cover (none when
// `cover` is empty): a FLAC PICTURE block, or an Ogg METADATA_BLOCK_PICTURE comment.
bool WriteXiphComments(const QString& path, TXiphFile kind, const TCommentList& comments,
                       const QByteArray& cover, const QString& coverMime, QString* error = nullptr,
                       int coverWidth = 0, int coverHeight = 0, int coverDepth = 0);
// The file's comments (names in upper case) and its front cover (else its first picture).
bool ReadXiphComments(const QString& path, TXiphFile kind, TCommentList& comments, QByteArray& cover,
                      QString& coverMime, QString* error = nullptr);
