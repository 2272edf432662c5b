#pragma once
// The Vorbis comment fields that the encoder writes and the decoder reads, in a fixed
// order with fixed lower-case names. Clearing empties the values and keeps the names.
#include <QString>
#include <array>

class TVorbisTags
{
public:
    static constexpr int FieldCount = 13;
    // Field names as written into a file, in writing order.
    static const std::array<const char*, FieldCount> FieldNames;

    void Clear() { FValues.fill(QString()); }
    bool IsEmpty() const;

    // Value by position in FieldNames; by name (case-insensitive), empty when unknown.
    const QString& Value(int Index) const { return FValues[size_t(Index)]; }
    void SetValue(int Index, const QString& Text) { FValues[size_t(Index)] = Text; }
    QString ValueOf(const QString& Name) const;
    // False (nothing stored) when Name is none of the fields.
    bool SetValueOf(const QString& Name, const QString& Text);

    QString Album() const { return FValues[0]; }
    void SetAlbum(const QString& V) { FValues[0] = V; }
    QString Artist() const { return FValues[1]; }
    void SetArtist(const QString& V) { FValues[1] = V; }
    QString Date() const { return FValues[2]; }
    void SetDate(const QString& V) { FValues[2] = V; }
    QString Genre() const { return FValues[3]; }
    void SetGenre(const QString& V) { FValues[3] = V; }
    QString Title() const { return FValues[4]; }
    void SetTitle(const QString& V) { FValues[4] = V; }
    QString Track() const { return FValues[5]; }
    void SetTrack(const QString& V) { FValues[5] = V; }
    QString Comment() const { return FValues[12]; }
    void SetComment(const QString& V) { FValues[12] = V; }
    QString Disc() const { return FValues[6]; }
    void SetDisc(const QString& V) { FValues[6] = V; }
    QString Reference() const { return FValues[7]; }
    void SetReference(const QString& V) { FValues[7] = V; }
    QString TrackGain() const { return FValues[8]; }
    void SetTrackGain(const QString& V) { FValues[8] = V; }
    QString TrackPeak() const { return FValues[9]; }
    void SetTrackPeak(const QString& V) { FValues[9] = V; }
    QString AlbumGain() const { return FValues[10]; }
    void SetAlbumGain(const QString& V) { FValues[10] = V; }
    QString AlbumPeak() const { return FValues[11]; }
    void SetAlbumPeak(const QString& V) { FValues[11] = V; }

private:
    static int IndexOf(const QString& Name);
    std::array<QString, FieldCount> FValues;
};
