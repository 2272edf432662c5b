#pragma once
// Hands the OGG settings and, with tagging on, the current disc's information to a Vorbis
// encoder that is about to run.
#include "audio/VorbisOut.h"

// The encoder bitrate for a position in the options window's OGG bitrate list
// (0 " Default", 1 " 45 kbit/s" ... 14 "320 kbit/s"): the value of the same label.
// Positions outside the list give brAutoSelect.
TVorbisBitRate OggBitRateOfIndex(int Index);

// The quality or bitrates of the settings, and the disc's comments (SetOggDiscComments).
void ApplyOggOptions(TVorbisOut& Encoder);

// The current disc's comments, with tagging on (ID3Use): ARTIST, ALBUM, DATE, GENRE (the
// genre's ID3v1 number; none when the disc has no genre) and TITLE (the disc's comment).
// With tagging off, none.
void SetOggDiscComments(TVorbisTags& Tags);

// The comments of an OGG file ripped from the track `trackNumber` titled `title` of the
// current disc, whichever CD library read it: with tagging on, the disc's as above with the
// track's title, TRACKNUMBER and the disc's comment in COMMENT. The disc's stored cover
// (RipCover) goes in as METADATA_BLOCK_PICTURE, tagging on or off.
void ApplyOggRipComments(TVorbisOut& Encoder, const QString& Title, int TrackNumber);

// The settings and the comments of a rip (ApplyOggRipComments) together.
void ApplyOggOptions(TVorbisOut& Encoder, const QString& Title, int TrackNumber);

// The same from a job's copy of the settings.
struct TOptionsSetting;
void ApplyOggOptions(TVorbisOut& Encoder, const TOptionsSetting& Settings);
void SetOggDiscComments(TVorbisTags& Tags, const TOptionsSetting& Settings);
void ApplyOggRipComments(TVorbisOut& Encoder, const TOptionsSetting& Settings, const QString& Title, int TrackNumber);
// The quality value of the settings: (CompressPosition - 10) / 100 with IsUseCompress, else 0.2.
float OggCompression(const TOptionsSetting& Settings);
