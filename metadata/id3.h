#pragma once
// The ID3v1 tag (and its v1.1 form with a track number) in the last 128 bytes of an MP3
// file: reading, writing and removing it.
//
// Texts are single bytes of a legacy code page in the file. Reading decodes a field as
// UTF-8 when its bytes are well-formed UTF-8, else as GBK when they are valid GBK, else as
// Latin-1. Writing encodes a text as GBK when every character has a GBK form, else as
// Latin-1 when every character fits, else as UTF-8. The setters cut a text to its field's
// width in those bytes, never inside a multi-byte character.
//
// Every operation opens its own file handle and uses its own buffer, so tags of different
// files may be handled on different threads at once.
#include <QByteArray>
#include <QString>
#include <cstdint>

class Tid3tag
{
public:
    // Status words of ReadTag and WriteTag: the high byte is the error, 0 is success.
    static constexpr uint16_t StatusOk = 0x0000;
    static constexpr uint16_t StatusUnknownGenre = 0x0080;   // read, genre above 147 and not 255
    static constexpr uint16_t StatusCannotOpen = 0x0100;     // missing, or cannot be opened
    static constexpr uint16_t StatusReadOnly = 0x0200;       // owner may not write (write only)
    static constexpr uint16_t StatusReadError = 0x0300;
    static constexpr uint16_t StatusWriteError = 0x0400;
    static constexpr uint16_t StatusIoError = 0x0500;
    static constexpr uint16_t StatusNoTag = 0x1000;          // read only
    static bool Failed(uint16_t Status) { return Status > 0xFF; }

    static constexpr int TagSize = 128;
    static constexpr int TextWidth = 30;
    static constexpr int YearWidth = 4;
    static constexpr int TrackCommentWidth = 28;
    static constexpr uint8_t NoGenre = 255;
    static constexpr uint8_t LastKnownGenre = 147;

    uint16_t ReadTag(const QString& FileName);
    // "=" writes to FileName().
    uint16_t WriteTag(const QString& FileName);
    // Cuts the tag off FileName(); always 0, also when nothing could be changed.
    uint16_t RemoveTag();

    bool HasTrack() const { return FHasTrack; }
    bool ReadOnly() const { return FReadOnly; }
    const QString& FileName() const { return FFileName; }
    const QString& Title() const { return FTitle; }
    const QString& Artist() const { return FArtist; }
    const QString& Album() const { return FAlbum; }
    const QString& Year() const { return FYear; }
    const QString& Comment() const { return FComment; }
    uint8_t Genre() const { return FGenre; }
    uint8_t Track() const { return FTrack; }

    void SetTitle(const QString& Value) { FTitle = FitText(Value, TextWidth); }
    void SetArtist(const QString& Value) { FArtist = FitText(Value, TextWidth); }
    void SetAlbum(const QString& Value) { FAlbum = FitText(Value, TextWidth); }
    void SetComment(const QString& Value) { FComment = FitText(Value, TextWidth); }
    void SetYear(const QString& Value) { FYear = FitText(Value, YearWidth); }
    void SetGenre(uint8_t Value) { FGenre = Value; }
    // 0 means no track number.
    void SetTrack(uint8_t Value) { FTrack = Value; FHasTrack = Value != 0; }

    // The bytes a text is stored as (GBK, else Latin-1, else UTF-8).
    static QByteArray EncodeField(const QString& Text);
    // A field's bytes as text (UTF-8, else GBK, else Latin-1).
    static QString DecodeField(const QByteArray& Bytes);
    // The longest start of Text whose stored form has at most Width bytes.
    static QString FitText(const QString& Text, int Width);
    // Whether the owner's permission bits allow no writing (the read-only attribute).
    static bool IsReadOnlyFile(const QString& FileName);

private:
    bool FHasTrack = false;
    bool FReadOnly = false;
    QString FFileName;
    QString FTitle, FArtist, FAlbum, FYear, FComment;
    uint8_t FGenre = NoGenre;
    uint8_t FTrack = 0;
};
