#include "metadata/id3.h"
#include "audio/AuException.h"
#include "audio/AuFileStream.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr int TitleOffset = 3;
constexpr int ArtistOffset = 33;
constexpr int AlbumOffset = 63;
constexpr int YearOffset = 93;
constexpr int CommentOffset = 97;
constexpr int TrackMarkOffset = 125;
constexpr int TrackOffset = 126;
constexpr int GenreOffset = 127;

bool IsAscii(const QByteArray& Bytes)
{
    for (char c : Bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

// GBK bytes for Text, or an empty result when a character has no GBK form.
QByteArray ToGbk(const QString& Text, bool& Ok)
{
    QStringEncoder enc("GBK", QStringEncoder::Flag::Stateless);
    QStringDecoder dec("GBK", QStringDecoder::Flag::Stateless);
    Ok = false;
    if (!enc.isValid() || !dec.isValid())
        return {};
    const QByteArray bytes = enc.encode(Text);
    const QString back = dec.decode(bytes);
    Ok = !enc.hasError() && !dec.hasError() && back == Text;
    return bytes;
}

// Text for bytes that form valid GBK (checked by decoding and encoding again). Codes of
// the user-defined areas count as not GBK: they stand for no real character, and Latin-1
// text such as "\xFC\xDF" would otherwise read as them.
bool FromGbk(const QByteArray& Bytes, QString& Text)
{
    QStringDecoder dec("GBK", QStringDecoder::Flag::Stateless);
    QStringEncoder enc("GBK", QStringEncoder::Flag::Stateless);
    if (!dec.isValid() || !enc.isValid())
        return false;
    Text = dec.decode(Bytes);
    for (QChar c : Text)
        if (c.category() == QChar::Other_PrivateUse || c == QChar::ReplacementCharacter)
            return false;
    const QByteArray again = enc.encode(Text);
    return !dec.hasError() && !enc.hasError() && again == Bytes;
}

// A stored text field: it ends at the first zero byte; trailing spaces and 0xFF bytes
// (and zero bytes) are padding.
QString FieldText(const QByteArray& Tag, int Offset, int Width)
{
    QByteArray bytes = Tag.mid(Offset, Width);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    while (!bytes.isEmpty() && (bytes.back() == ' ' || uchar(bytes.back()) == 0xFF))
        bytes.chop(1);
    return Tid3tag::DecodeField(bytes);
}

void PutField(QByteArray& Tag, int Offset, int Width, const QString& Text)
{
    const QByteArray bytes = Tid3tag::EncodeField(Tid3tag::FitText(Text, Width));
    for (int i = 0; i < Width; ++i)
        Tag[Offset + i] = i < bytes.size() ? bytes[i] : '\0';
}

std::unique_ptr<TAuFileStream> OpenFile(const QString& Name, uint16_t Mode)
{
    try {
        return std::make_unique<TAuFileStream>(Name, Mode);
    } catch (const EAuException&) {
        return nullptr;
    }
}

} // namespace

QByteArray Tid3tag::EncodeField(const QString& Text)
{
    bool ok = false;
    QByteArray gbk = ToGbk(Text, ok);
    if (ok)
        return gbk;
    bool latin1 = true;
    for (QChar c : Text)
        if (c.unicode() > 0xFF)
            latin1 = false;
    return latin1 ? Text.toLatin1() : Text.toUtf8();
}

QString Tid3tag::DecodeField(const QByteArray& Bytes)
{
    if (IsAscii(Bytes))
        return QString::fromLatin1(Bytes);
    // Well-formed UTF-8 comes first: it is what a text with neither a GBK nor a Latin-1
    // form is written as, and its bytes mostly form valid GBK as well, which would turn
    // such a text into other characters. GBK and Latin-1 text is seldom valid UTF-8.
    QString text = QString::fromUtf8(Bytes);
    if (text.toUtf8() == Bytes)
        return text;
    if (FromGbk(Bytes, text))
        return text;
    return QString::fromLatin1(Bytes);
}

QString Tid3tag::FitText(const QString& Text, int Width)
{
    if (EncodeField(Text).size() <= Width)
        return Text;
    // Every character takes at least one byte, so no start longer than Width fits.
    QString best;
    qsizetype i = 0;
    int chars = 0;
    while (i < Text.size() && chars < Width) {
        i += (Text[i].isHighSurrogate() && i + 1 < Text.size()) ? 2 : 1;
        ++chars;
        const QString start = Text.left(i);
        if (EncodeField(start).size() <= Width)
            best = start;
    }
    return best;
}

bool Tid3tag::IsReadOnlyFile(const QString& FileName)
{
    struct stat st {};
    if (::stat(QFile::encodeName(FileName).constData(), &st) != 0)
        return false;
    return (st.st_mode & S_IWUSR) == 0;
}

uint16_t Tid3tag::ReadTag(const QString& FileName)
{
    if (FileName.isEmpty() || !QFileInfo::exists(FileName))
        return StatusCannotOpen;
    FReadOnly = IsReadOnlyFile(FileName);
    auto file = OpenFile(FileName, TAuFileStream::fmOpenRead | TAuFileStream::fmShareDenyNone);
    if (!file)
        return StatusCannotOpen;
    FFileName = FileName;
    const int64_t size = file->Size();
    if (size < 0)
        return StatusIoError;
    if (size < TagSize)
        return StatusNoTag;
    QByteArray tag(TagSize, '\0');
    if (file->Seek(size - TagSize, TSeekOrigin::Begin) != size - TagSize)
        return StatusIoError;
    if (file->Read(tag.data(), TagSize) != TagSize)
        return StatusReadError;
    if (!tag.startsWith("TAG"))
        return StatusNoTag;

    FTitle = FieldText(tag, TitleOffset, TextWidth);
    FArtist = FieldText(tag, ArtistOffset, TextWidth);
    FAlbum = FieldText(tag, AlbumOffset, TextWidth);
    FYear = FieldText(tag, YearOffset, YearWidth);
    if (tag[TrackMarkOffset] == '\0' && tag[TrackOffset] != '\0') {
        FTrack = uint8_t(tag[TrackOffset]);
        FHasTrack = true;
        FComment = FieldText(tag, CommentOffset, TrackCommentWidth);
    } else {
        FTrack = 0;
        FHasTrack = false;
        FComment = FieldText(tag, CommentOffset, TextWidth);
    }
    FGenre = uint8_t(tag[GenreOffset]);
    return FGenre > LastKnownGenre && FGenre != NoGenre ? StatusUnknownGenre : StatusOk;
}

uint16_t Tid3tag::WriteTag(const QString& FileName)
{
    const QString name = FileName == QLatin1String("=") ? FFileName : FileName;
    if (name.isEmpty() || !QFileInfo::exists(name))
        return StatusCannotOpen;
    if (IsReadOnlyFile(name))
        return StatusReadOnly;
    auto file = OpenFile(name, TAuFileStream::fmOpenReadWrite | TAuFileStream::fmShareDenyWrite);
    if (!file)
        return StatusCannotOpen;
    const int64_t size = file->Size();
    if (size < 0)
        return StatusIoError;
    int64_t position = size;
    if (size >= TagSize) {
        QByteArray old(TagSize, '\0');
        if (file->Seek(size - TagSize, TSeekOrigin::Begin) != size - TagSize)
            return StatusIoError;
        if (file->Read(old.data(), TagSize) != TagSize)
            return StatusReadError;
        if (old.startsWith("TAG"))
            position = size - TagSize;
    }

    QByteArray tag(TagSize, '\0');
    tag.replace(0, 3, "TAG");
    PutField(tag, TitleOffset, TextWidth, FTitle);
    PutField(tag, ArtistOffset, TextWidth, FArtist);
    PutField(tag, AlbumOffset, TextWidth, FAlbum);
    PutField(tag, YearOffset, YearWidth, FYear);
    if (FHasTrack && FTrack != 0) {
        PutField(tag, CommentOffset, TrackCommentWidth, FComment);
        tag[TrackMarkOffset] = '\0';
        tag[TrackOffset] = char(FTrack);
    } else {
        PutField(tag, CommentOffset, TextWidth, FComment);
    }
    tag[GenreOffset] = char(FGenre);

    if (file->Seek(position, TSeekOrigin::Begin) != position)
        return StatusIoError;
    if (file->Write(tag.constData(), TagSize) != TagSize) {
        // A tag that could not be appended whole is taken off again, so the audio does
        // not end in a broken block.
        if (position == size)
            file->SetSize(size);
        return StatusWriteError;
    }
    FFileName = name;
    return StatusOk;
}

uint16_t Tid3tag::RemoveTag()
{
    if (FFileName.isEmpty() || !QFileInfo::exists(FFileName) || IsReadOnlyFile(FFileName))
        return StatusOk;
    auto file = OpenFile(FFileName, TAuFileStream::fmOpenReadWrite | TAuFileStream::fmShareDenyWrite);
    if (!file)
        return StatusOk;
    const int64_t size = file->Size();
    if (size < TagSize)
        return StatusOk;
    QByteArray tag(TagSize, '\0');
    if (file->Seek(size - TagSize, TSeekOrigin::Begin) == size - TagSize
        && file->Read(tag.data(), TagSize) == TagSize && tag.startsWith("TAG"))
        file->SetSize(size - TagSize);
    return StatusOk;
}
