#pragma once
// The tag values of a file to convert, for its output's name.
#include "settings/FileNamePattern.h"

// The tag values of a file to convert: its ID3v1 tag (MP3) or Vorbis comments (OGG) where it
// has them; the title falls back to the file's base name, the track number to `position`.
// DefaultName is the file's name without its last extension.
TFileNameTags SourceFileTags(const QString& path, int position);
