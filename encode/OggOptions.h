#pragma once
// Hands the OGG settings and, with tagging on, the current disc's information to a Vorbis
// encoder that is about to run.
#include "audio/VorbisOut.h"

// The encoder bitrate for a position in the options window's OGG bitrate list
// (0 " Default", 1 " 45 kbit/s" ... 14 "320 kbit/s"): the value of the same label.
// Positions outside the list give brAutoSelect.
TVorbisBitRate OggBitRateOfIndex(int Index);

void ApplyOggOptions(TVorbisOut& Encoder);

// The same for the track `trackNumber` titled `title` of the current disc: with tagging on,
// the title and track number are the track's and the disc's comment goes to COMMENT. The
// disc's stored cover (RipCover) goes in as METADATA_BLOCK_PICTURE, tagging on or off.
void ApplyOggOptions(TVorbisOut& Encoder, const QString& Title, int TrackNumber);
