#pragma once
// An encoder as a component: one interface for every output format that a WAV file is
// encoded into (MP3 through lame, WMA through our WMA tool, OGG through libvorbis, FLAC
// through libFLAC, Opus through libopusenc, AAC and Apple Lossless through FFmpeg's libraries). The format table (OutputFormats.h) names each format's component; a
// worker (jobs/RipPipeline.h) starts one per file and never asks which format it is.
//
// A component works on its worker's TEncodeStep: its progress (1..100) and its end (the
// format's end code) reach the step's owner as TProcessInfo events, and the owner asks the
// component what the end means. The output is written as its part file and renamed over
// the final name only when whole; an abort removes what was begun.
#include "settings/Options.h"

#include <QString>
#include <functional>
#include <memory>

class TEncodeStep;
struct TProcessInfo;

// What a track file is tagged with (none when Title is empty and TrackNumber is 0): a
// disc's track, with the disc's fields from the settings' CDInfo.
struct TTrackTags {
    QString Title;
    int TrackNumber = 0;
    int TrackTotal = 0;     // 0: the disc's
};

struct TEncodeRequest {
    QString Wav;                      // the input (the in-process encoders of Opus and MP4
                                      // also read any file FFmpeg decodes)
    QString Output;                   // the final name
    int Kind = 1;                     // the encoder processes' kind (1: no questions)
    bool Decode = false;              // the MP3 process decodes Wav (an MP3) to Output (a WAV)
    bool Tagged = false;              // a disc's track: encoder settings and comments for Tags
    TTrackTags Tags;
    std::shared_ptr<const TOptionsSetting> Settings;   // the job's settings
    // Runs on the whole part file before it takes the final name (the tags go in); a text
    // fails the entry with it and the part file goes. May run on another thread.
    std::function<QString(const QString& part)> BeforeCommit;
};

// What an encoder's end means for its entry.
struct TEncodeOutcome {
    QString Failure;                  // empty: the output is whole under its final name
    QString Message;                  // shown to the user (may differ from Failure)
};

class TEncoder {
public:
    virtual ~TEncoder() = default;
    // Starts the encoding; throws std::exception when it cannot start (nothing written).
    virtual void Start(const TEncodeRequest& request) = 0;
    // Whether it is running (an encoder process that refused to start is not).
    virtual bool Running() const = 0;
    // The end notification `end` (the format's end code), with whether progress was seen.
    virtual TEncodeOutcome Outcome(const TProcessInfo& end, bool progressSeen) = 0;
    // The file being written while it runs (for estimates); empty when none.
    virtual QString WrittenFile() const { return {}; }
    // Whether the progress must be estimated from the output's growth (no reports).
    virtual bool Estimated() const { return false; }
};

// The outcome of an in-process encoder's end: its error text (named by the output) or none.
TEncodeOutcome StreamOutcome(const TEncodeRequest& request, const TProcessInfo& end);

// The component making `format` on `step` (the format table's); null for a format with no
// encoding (WAV).
std::unique_ptr<TEncoder> MakeEncoder(int format, TEncodeStep& step);

// The components, one per format, as the format table names them.
std::unique_ptr<TEncoder> NewMp3Encoder(TEncodeStep& step);
std::unique_ptr<TEncoder> NewWmaEncoder(TEncodeStep& step);
std::unique_ptr<TEncoder> NewOggEncoder(TEncodeStep& step);
std::unique_ptr<TEncoder> NewFlacEncoder(TEncodeStep& step);
std::unique_ptr<TEncoder> NewOpusEncoder(TEncodeStep& step);
std::unique_ptr<TEncoder> NewAacEncoder(TEncodeStep& step);
std::unique_ptr<TEncoder> NewAlacEncoder(TEncodeStep& step);
