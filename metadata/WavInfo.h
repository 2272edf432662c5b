#pragma once
// The RIFF LIST "INFO" chunk of a WAV file: INAM title, IART artist, IPRD album, ICRD date,
// IGNR genre, ITRK track, ICMT comment; texts in UTF-8, each ending with a NUL.
#include "platform/TagRecord.h"

// The whole chunk ("LIST", size, "INFO", the fields), empty when the record has no field.
QByteArray WavInfoChunk(const TTagRecord& tag);
// The fields of a LIST chunk's body ("INFO" and its sub-chunks) into `tag`; false when the
// body is not an INFO list. Sub-chunks running past the end are cut off there.
bool ParseWavInfo(const QByteArray& body, TTagRecord& tag);

// Appends the record's INFO chunk to a finished WAV (part) file and sets the RIFF size to
// the new length; an INFO list already at the file's end is replaced. False with the cause.
bool AppendWavInfo(const QString& path, const TTagRecord& tag, QString* error = nullptr);
// The INFO list of a WAV file into `tag`; false with the cause when it has none.
bool ReadWavInfo(const QString& path, TTagRecord& tag, QString* error = nullptr);
