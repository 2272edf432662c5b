#pragma once
// What the track list shows of a track beyond its title, length and size: its type and a
// tooltip with its gaps, indices, ISRC and the disc's catalogue number.
#include "app/core/TrackList.h"
#include <QString>

// "音频" or "数据", with pre-emphasis named.
QString TrackTypeText(const TTrackRow& row);
// One line per fact; empty when there is nothing to say.
QString TrackToolTip(const TTrackRow& row);
// The row of the audio before track 1 (track 0), `sectors` long: its stored title, else
// "00 隐藏音轨".
TTrackRow HiddenTrackRow(int64_t sectors, const QString& storedTitle);
// Sectors as MM:SS:FF.
QString SectorsMsf(int64_t sectors);
