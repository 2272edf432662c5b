#pragma once
// The FLAC encoder shared by the stream output and the CD rip thread: interleaved
// little-endian PCM (8-bit unsigned, 16 or 24-bit signed, 1..8 channels) in, a FLAC
// stream with its Vorbis comments out, written to a TStream.
// The stream must be seekable: the closing STREAMINFO (total samples, MD5 signature) is
// written back over the first one when the encoding finishes.
#include "audio/AuStream.h"
#include "metadata/MusicBrainz.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

// A disc image's cue sheet: track offsets in samples from the file's start.
struct TFlacCueTrack {
    int Number = 1;
    int64_t Offset = 0;
    QString Title;
    QString Performer;
};
struct TFlacCueSheet {
    QString FileName;                 // the FILE line's name
    QString Title;
    QString Performer;
    std::vector<TFlacCueTrack> Tracks;
    int64_t LeadOut = 0;              // the samples of the whole file
    bool IsEmpty() const { return Tracks.empty(); }
    // The text sheet (FILE, TRACK nn AUDIO, TITLE, PERFORMER, INDEX 01 mm:ss:ff).
    QString Text() const;
};

// "mm:ss:ff" of a sample offset at 44100 Hz (75 frames a second).
QString CueTime(int64_t samples);

class TFlacWriter {
public:
    TFlacWriter();
    ~TFlacWriter();
    TFlacWriter(const TFlacWriter&) = delete;
    TFlacWriter& operator=(const TFlacWriter&) = delete;

    int Level = 5;                    // 0..8; other values encode as 5
    QStringList Comments;             // "NAME=value", written as UTF-8 in this order
    QString FileName;                 // the file written, to name it in a write error
    TCoverImage Cover;                // a PICTURE block (front cover) when not null

    // Writes the header and metadata. totalSamples: frames expected, 0 when unknown.
    // Raises EAuException for a format FLAC cannot hold or a failing stream.
    void Open(TStream* stream, int bits, int channels, int rate, uint64_t totalSamples);
    // Whole frames of PCM; a trailing partial frame is kept for the next call.
    void Write(const uint8_t* data, size_t bytes);
    // Ends the stream and writes the final STREAMINFO; raises on failure.
    void Finish();
    // Drops the encoder without finishing (the stream's content is then not a file).
    void Abandon();
    bool IsOpen() const { return bool(FEncoder); }
    uint64_t SamplesWritten() const { return FSamples; }

private:
    QString WriteFailure(int error) const;
    class TEncoder;
    std::unique_ptr<TEncoder> FEncoder;
    std::vector<int32_t> FSamplesBuf;
    std::vector<uint8_t> FPending;    // part of a frame left from the last Write
    int FBits = 16;
    int FChannels = 2;
    uint64_t FSamples = 0;
};
