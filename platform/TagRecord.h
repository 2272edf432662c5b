#pragma once
// One tag record: what every file a job makes is tagged with, whatever its format, and what
// is read back from an input file for a conversion. Texts are kept exactly as given; each
// writer maps the record onto its format's fields (ID3v2 frames, Vorbis comments, RIFF INFO,
// FFmpeg metadata keys). Empty texts and zero numbers are fields the file does not get.
#include <QByteArray>
#include <QString>
#include <cmath>

struct TTagRecord {
    QString Title;
    QString Artist;              // the track's own artist
    QString Album;
    QString AlbumArtist;         // the disc's artist
    QString Date;                // as stored ("1998", "1998-04-01")
    QString Genre;               // the genre's text; empty: no genre
    int Track = 0;
    int TrackTotal = 0;
    bool HiddenTrack = false;    // track 0, the audio before track 1: numbered 0, not "none"
    int Disc = 0;
    int DiscTotal = 0;
    QString Comment;
    QString Isrc;
    QString Catalog;             // the disc's catalogue number (MCN / barcode)
    QString MbAlbumId;           // MusicBrainz release id
    QString MbDiscId;            // MusicBrainz disc id
    QByteArray Cover;            // the front cover's bytes
    QString CoverMime;           // "image/jpeg", "image/png"
    int CoverWidth = 0;          // the picture block's fields; 0 when unknown
    int CoverHeight = 0;
    int CoverDepth = 0;          // bits per pixel
    // ReplayGain 2.0 values; NaN: not measured.
    double TrackGain = NAN;      // dB
    double TrackPeak = NAN;      // linear sample peak, 1.0 = full scale
    double AlbumGain = NAN;
    double AlbumPeak = NAN;

    bool HasTrackGain() const { return !std::isnan(TrackGain) && !std::isnan(TrackPeak); }
    bool HasAlbumGain() const { return !std::isnan(AlbumGain) && !std::isnan(AlbumPeak); }
};

// "n" or "n/N" ("" without n): the ID3v2 TRCK / TPOS form.
QString NumberOfTotal(int number, int total);
// The record's track as "n" or "n/N"; "0" or "0/N" for the hidden track.
QString TrackNumberText(const TTagRecord& tag);
// Reads "n" or "n/N" (ID3v2, Vorbis "TRACKNUMBER=3/12"); values it cannot read are 0.
void ParseNumberOfTotal(const QString& text, int& number, int& total);

// ReplayGain texts as players read them: "-6.52 dB" (two decimals) and "0.988553" (six).
QString FormatReplayGain(double gain);
QString FormatReplayPeak(double peak);
// Their values back ("-6.52 dB", "-6.52", "+1.2 dB"); NaN when the text is not a number.
double ParseReplayGain(const QString& text);
double ParseReplayPeak(const QString& text);

// The limits a tag read from a file is held to: a text longer than MaxTagText characters is
// cut there, a text is cut at its first NUL, a cover larger than MaxCoverBytes is dropped.
constexpr int MaxTagText = 4096;
constexpr qsizetype MaxCoverBytes = 16 * 1024 * 1024;
// A text of a read tag held to those limits.
QString CleanReadText(const QString& text);
