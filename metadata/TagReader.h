#pragma once
// The tags of an input file as one record, for conversions that keep a file's tags and
// cover: MP3 (ID3v2, then ID3v1 for what the ID3v2 tag lacks), FLAC, Ogg Vorbis and Ogg Opus
// (Vorbis comments and picture), WAV (LIST INFO), and whatever else FFmpeg reads (WMA, M4A, ...).
//
// Tags of files from elsewhere are held to limits: a text is cut at its first NUL and after
// MaxTagText characters, invalid UTF-8 becomes replacement characters, a cover larger than
// MaxCoverBytes is left out with a note, and a damaged tag is read as far as it is sound.
#include "platform/TagLibTags.h"
#include "platform/TagRecord.h"

// The tag fields of (key, value) pairs: Vorbis comment names and FFmpeg's keys (case does
// not matter); later pairs of a field do not replace the first.
void TagRecordFromPairs(const TCommentList& pairs, TTagRecord& tag);

// False when the file has no tag we can read (`message` says why); true with the record,
// `message` then holding a note on what was left out (empty when nothing was).
bool ReadFileTags(const QString& path, TTagRecord& tag, QString* message = nullptr);
