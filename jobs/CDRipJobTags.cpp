// The rip job's tags: one record per track from the disc's information as stored (the
// cleaning for file names applies to names only), its ReplayGain measured as the track was
// read, written into each file's part before it takes its name; the album's gain goes into
// every finished file once the last track is done.
#include "jobs/CDRipJob.h"

#include "encode/RipCover.h"
#include "metadata/TagWriters.h"
#include "metadata/TrackTags.h"
#include "settings/Lang.h"

#include <cmath>

namespace {

// What a file made with tagging off carries of its record: the loudness, and the cover
// where the format has always embedded it.
TTagRecord LoudnessAndCover(const TTagRecord& tags, bool cover)
{
    TTagRecord bare;
    bare.TrackGain = tags.TrackGain;
    bare.TrackPeak = tags.TrackPeak;
    if (cover) {
        bare.Cover = tags.Cover;
        bare.CoverMime = tags.CoverMime;
        bare.CoverWidth = tags.CoverWidth;
        bare.CoverHeight = tags.CoverHeight;
        bare.CoverDepth = tags.CoverDepth;
    }
    return bare;
}

} // namespace

TTagRecord TCDRipJob::TagsOf(int index) const
{
    const TRipEntry entry = ParseRipEntry(FEntries.value(index));
    TTagRecord tags = TrackTagRecord(FSettings.CDInfo, entry.TrackNumber, FDiscTracks, FTagExtras);
    // The title as the list shows it (the entry's, as typed: the cleaning for file names
    // applies to names only); when it is the stored one, the record's reading of it holds
    // (a stored "artist / title" names the track's own artist).
    const int t = entry.TrackNumber;
    const QString stored = t >= 1 && t <= MAX_TITLES ? FSettings.CDInfo.Titles[size_t(t)] : QString();
    if (!entry.Title.isEmpty() && entry.Title != stored) tags.Title = entry.Title;
    if (const auto it = FTrackGain.constFind(index); it != FTrackGain.constEnd()) {
        tags.TrackGain = it->Gain;
        tags.TrackPeak = it->Peak;
    }
    return tags;
}

std::function<QString(const QString& part)> TCDRipJob::TagWriter(int index, const QString& output) const
{
    const TTagFormat format = TagFormatOf(output);
    TTagRecord tags = TagsOf(index);
    // OGG, WMA and WAV carry the disc's texts only with tagging on (MP3 and FLAC always do);
    // the loudness and the cover go in either way.
    if (!FSettings.ID3Use && (format == TTagFormat::Ogg || format == TTagFormat::Wma || format == TTagFormat::Wav)) {
        if (format == TTagFormat::Wav) return {};
        tags = LoudnessAndCover(tags, format == TTagFormat::Ogg);
    }
    const TTagWriteOptions options = TagWriteOptionsOf(FSettings);
    return [tags, format, options](const QString& part) {
        QString error;
        if (WriteFileTags(part, format, tags, options, &error)) return QString();
        return error.isEmpty() ? part + QStringLiteral(": the tags could not be written") : error;
    };
}

TTagRecord TCDRipJob::DiscTags() const
{
    // The disc's fields of its first track's record, no track fields; one file holds the
    // whole album, so its loudness is the album's.
    TTagRecord tags = TrackTagRecord(FSettings.CDInfo, 1, FDiscTracks, FTagExtras);
    tags.Title.clear();
    tags.Artist = tags.AlbumArtist;
    tags.Track = tags.TrackTotal = 0;
    tags.Isrc.clear();
    if (FSettings.CommonOptions.ReplayGain && FGain.TrackCount() > 0) {
        const TReplayGainResult album = FGain.Album();
        tags.TrackGain = tags.AlbumGain = album.Gain;
        tags.TrackPeak = tags.AlbumPeak = album.Peak;
    }
    return tags;
}

void TCDRipJob::TagAlbumGain()
{
    if (!FSettings.CommonOptions.ReplayGain || FCue || FGain.TrackCount() == 0) return;
    const TReplayGainResult album = FGain.Album();
    const TTagWriteOptions options = TagWriteOptionsOf(FSettings);
    // Every format's file of the entry (the others' are whole even when one failed).
    std::vector<std::pair<int, QString>> files;
    for (int i = 0; i < FResults.size(); ++i) {
        if (FResults[i].Produced && !FResults[i].Output.isEmpty()) files.emplace_back(i, FResults[i].Output);
        for (const QString& other : FSlotMade.value(i)) files.emplace_back(i, other);
    }
    for (const auto& [i, output] : files) {
        if (!FTrackGain.contains(i)) continue;
        const TTagFormat format = TagFormatOf(output);
        if (format == TTagFormat::Wav) continue;   // a WAV carries no loudness
        TTagRecord tags = TagsOf(i);
        if (!FSettings.ID3Use && format != TTagFormat::Mp3 && format != TTagFormat::Flac) {
            tags = LoudnessAndCover(tags, format == TTagFormat::Ogg);
        }
        tags.AlbumGain = album.Gain;
        tags.AlbumPeak = album.Peak;
        QString error;
        if (!RetagFile(output, tags, options, &error)) FPrompter->ShowWarning(output + QStringLiteral(": ") + error);
    }
}
