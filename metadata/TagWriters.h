#pragma once
// The tag record written into the files a job makes, in each format's own way:
//   MP3   our ID3v1 tag, and an ID3v2 tag (v2.4 UTF-8 or v2.3 UTF-16) through TagLib;
//   FLAC  Vorbis comments and a PICTURE block; OGG Vorbis comments with the picture as
//         METADATA_BLOCK_PICTURE; WAV a LIST INFO chunk; WMA the ASF attributes through
//         TagLib (WmaMetadata gives the same record as FFmpeg keys for a tool that muxes
//         them as it encodes); Opus Vorbis comments (OpusTags) with the loudness as
//         R128_TRACK_GAIN / R128_ALBUM_GAIN and the picture as METADATA_BLOCK_PICTURE;
//         M4A (AAC, Apple Lossless) the iTunes atoms with covr.
// A job calls WriteFileTags on the part file after the encoder has finished it and before
// CommitPart renames it; RetagFile updates a finished file (the album's ReplayGain, known
// only after the job's last track) through a part file of its own.
#include "platform/TagLibTags.h"
#include "platform/TagRecord.h"

struct TOptionsSetting;

enum class TTagFormat { None, Mp3, Wav, Ogg, Flac, Wma, Opus, Mp4 };
// By the name's extension (a ".part" ending is looked through).
TTagFormat TagFormatOf(const QString& fileName);

struct TTagWriteOptions {
    int Id3Version = 24;       // 24, 23, or 1 (ID3v1 only)
    bool ReplayGain = true;    // the record's ReplayGain values go into the tags
};
// From the settings ([ID3] Version, [CommonOptions] ReplayGain).
TTagWriteOptions TagWriteOptionsOf(const TOptionsSetting& settings);

// TITLE ARTIST ALBUM ALBUMARTIST DATE GENRE TRACKNUMBER TRACKTOTAL DISCNUMBER DISCTOTAL
// COMMENT ISRC CATALOGNUMBER MUSICBRAINZ_ALBUMID MUSICBRAINZ_DISCID REPLAYGAIN_*; a field
// the record lacks is not there (no GENRE without a genre).
TCommentList VorbisComments(const TTagRecord& tag, bool replayGain = true);
// Opus's loudness field from a ReplayGain gain: Q7.8 dB relative to -23 LUFS, where the
// ReplayGain gains are relative to -18 LUFS (round((gain - 5) * 256), held to 16 bits).
int R128Gain(double replayGain);
// The comments of an Opus file: VorbisComments without the REPLAYGAIN_* fields (Opus players
// do not read them) and, with `replayGain`, R128_TRACK_GAIN and R128_ALBUM_GAIN.
TCommentList OpusComments(const TTagRecord& tag, bool replayGain = true);
// The record as FFmpeg metadata keys for the ASF (WMA) muxer: title, artist (its Author),
// album_artist, album, date, genre, track, disc, comment, and the ReplayGain values. Each
// pair is one "-metadata key=value" of an ffmpeg-like tool, or one av_dict_set.
TCommentList WmaMetadata(const TTagRecord& tag, bool replayGain = true);

// Writes the record into `path` (a finished part file) as `format` wants; None writes
// nothing. False with the cause in `error` (the file is then not to be committed).
bool WriteFileTags(const QString& path, TTagFormat format, const TTagRecord& tag, const TTagWriteOptions& options,
                   QString* error = nullptr);
// A conversion keeps its source's tags: the record ReadFileTags makes of `source` (cover and
// ReplayGain included) is written into `partPath` as WriteFileTags does. A source without
// tags leaves the part file as it is (true; `message` says so). False on a failed write.
bool CopyFileTags(const QString& source, const QString& partPath, TTagFormat format, const TTagWriteOptions& options,
                  QString* message = nullptr);
// Writes the record into the finished file `finalPath`: a copy as its part file gets the
// tags and is renamed over it; the file stays as it was on any failure.
bool RetagFile(const QString& finalPath, const TTagRecord& tag, const TTagWriteOptions& options,
               QString* error = nullptr);
