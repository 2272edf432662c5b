#pragma once
// What the track list shows of a track beyond its title, length and size: its type and a
// tooltip with its gaps, indices, ISRC and the disc's catalogue number.
#include "app/core/TrackList.h"
#include <QString>

// "音频" or "数据", with pre-emphasis named.
QString TrackTypeText(const TTrackRow& row);
// One line per fact; empty when there is nothing to say.
QString TrackToolTip(const TTrackRow& row);
// Sectors as MM:SS:FF.
QString SectorsMsf(int64_t sectors);
