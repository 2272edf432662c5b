#pragma once
// FLAC output of rips and conversions: the Vorbis comments of a disc's track, the settings
// applied to an encoder, and the sink through which the CD rip thread encodes what it reads.
#include "cd/RipSink.h"
#include "encode/FlacWriter.h"
#include "platform/DiscExtras.h"
#include "settings/CDInfo.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class TAuFileStream;
class TFlacOut;

// TITLE, TRACKNUMBER and TRACKTOTAL always; ARTIST, ALBUM, DATE, GENRE (the genre's name)
// and COMMENT when not empty. trackTotal <= 0 takes the disc's track count.
QStringList FlacTrackComments(const TCDInfo& info, int trackNumber, const QString& title, int trackTotal = 0);
// The album comments of a whole-disc file (no track fields).
QStringList FlacDiscComments(const TCDInfo& info);

// The level of the settings, the track's comments from the current disc information, and
// the disc's stored cover (RipCover).
void ApplyFlacOptions(TFlacOut& encoder, const QString& title, int trackNumber, int trackTotal = 0);
// The same from a job's copy of the settings.
struct TOptionsSetting;
void ApplyFlacOptions(TFlacOut& encoder, const TOptionsSetting& settings, const QString& title, int trackNumber,
                      int trackTotal = 0);

// The "<Artist> - <Album>.flac" name of a whole-disc file, relative to the output folder:
// cleaned as every output name is ("Unknown Artist" / "Unknown Album" for empty fields), in
// the folder of firstTrackPath (the first ticked track's path by the file-name pattern).
QString FlacDiscFileName(const TCDInfo& info, const QString& firstTrackPath = QString());

// Adds the cue sheet (the CUESHEET block and a CUESHEET comment with the text sheet) to a
// finished FLAC file; raises EAuException when the file cannot be rewritten.
void WriteFlacCueSheet(const QString& path, const TFlacCueSheet& sheet);

// The whole-disc cue sheet as TCueDisc: its block with every index point, ISRC and
// pre-emphasis flag and catalogue number, and the text sheet as the CUESHEET comment.
struct TCueDisc;
void WriteFlacCueSheet(const QString& path, const TCueDisc& disc, int64_t leadOut);

// What a whole-disc cue sheet tells beyond the tracks' offsets: the disc's table (track
// starts then the lead-out), its gaps, indices, codes and flags, and its CDDB id.
struct TWholeDiscLayout {
    std::vector<int64_t> Starts;
    TDiscExtras Extras;
    QString DiscId;
};

// Completes a whole-disc file whose audio is finished in cueFile's part file: its cue sheet
// (the disc's fields, a track per entry at its sample offset with its gap, index points,
// ISRC and flags, titles as stored) goes into the part file, which then becomes cueFile.
// Empty, or why it failed (the part file is left for the caller to discard).
QString CompleteWholeDiscFile(const QString& cueFile, int64_t leadOut, const QStringList& entries,
                              const std::vector<int64_t>& offsets, const TCDInfo& info,
                              const TWholeDiscLayout& layout = {});

// Encodes a whole-disc rip into one FLAC file, written as its part file: the tracks follow
// each other in it, each Begin recording where one starts (TrackOffsets), and FinishDisc
// ends it. The disc's stored cover (RipCover) goes in as its PICTURE block.
class TFlacRipSink : public TRipSink {
public:
    // cover: the PICTURE block's image (none: no block).
    TFlacRipSink(const QString& path, int level, const QStringList& comments, const TCoverImage& cover);
    ~TFlacRipSink() override;

    bool Begin() override;
    bool Write(const uint8_t* data, size_t bytes) override;
    bool EndTrack() override;
    void Discard() override;
    // Whole-disc file: ends it (false on failure, the file then removed). It stays the
    // part file PartPathOf(Path()) until the caller has added its cue sheet and commits it.
    bool FinishDisc();

    const QString& Path() const { return FPath; }
    QString Error() const override { return FError; }
    const std::vector<int64_t>& TrackOffsets() const { return FOffsets; }
    uint64_t Samples() const { return FWriter.SamplesWritten(); }

private:
    bool Finish();
    QString FPath;
    TFlacWriter FWriter;
    std::unique_ptr<TAuFileStream> FStream;
    std::vector<int64_t> FOffsets;
    QString FError;
};
