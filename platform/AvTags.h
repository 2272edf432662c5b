#pragma once
// The tags of any file FFmpeg's libavformat opens (WMA/ASF, M4A, and the formats our own
// readers also know), for conversions of files the program has no tag reader of its own for.
#include "platform/TagLibTags.h"

// The container's metadata and then its first audio stream's, as (key, value) pairs with
// the keys in lower case ("title", "author", "wm/albumtitle", ...), and the attached picture
// when there is one. False with the cause when libavformat cannot open the file.
bool ReadAvMetadata(const QString& path, TCommentList& pairs, QByteArray& cover, QString& coverMime,
                    QString* error = nullptr);

// Silences FFmpeg's own messages (once for the process): about damaged input they would only
// repeat what the caller is told, and about our own encoding they are noise on the console.
void QuietAvLog();
