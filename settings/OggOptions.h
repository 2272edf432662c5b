#pragma once
// Hands the OGG settings and, with tagging on, the current disc's information to a Vorbis
// encoder that is about to run.
#include "audio/VorbisOut.h"

// The encoder bitrate for a position in the options window's OGG bitrate list
// (0 " Default", 1 " 45 kbit/s" ... 14 "320 kbit/s"): the value of the same label.
// Positions outside the list give brAutoSelect.
TVorbisBitRate OggBitRateOfIndex(int Index);

void ApplyOggOptions(TVorbisOut& Encoder);
