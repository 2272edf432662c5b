#include "encode/JobEntry.h"

#include "platform/ProcessInfo.h"

#include "metadata/id3.h"
#include "settings/Global.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>

TRipEntry ParseRipEntry(const QString& entry)
{
    TRipEntry r;
    bool ok = false;
    const int n = entry.left(2).toInt(&ok, 10);
    r.TrackNumber = ok && n > 0 ? n : 0;
    r.Title = entry.mid(2);
    return r;
}

QString RipEntryText(int trackNumber, const QString& title)
{
    return TwoDigits(trackNumber) + title;
}

QString ChangeFileExt(const QString& path, const QString& extension)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    // A dot in a folder name or leading a hidden file's name begins no extension.
    if (dot > slash + 1)
        return path.left(dot) + extension;
    return path + extension;
}

QString OutputPathFor(const QString& outputFolder, const QString& input, const QString& extension)
{
    return outputFolder + ChangeFileExt(QFileInfo(input).fileName(), extension);
}

bool DeleteIfFree(const QString& path)
{
    if (!QFileInfo::exists(path)) return true;
    if (IsFileInUse(path)) return false;
    return QFile::remove(path);
}

uint16_t WriteTrackTag(const QString& mp3Path, const QString& title, int trackNumber, const TCDInfo& disc)
{
    Tid3tag tag;
    tag.SetTitle(title);
    tag.SetArtist(disc.Artist);
    tag.SetAlbum(disc.Album);
    tag.SetYear(disc.Year);
    // The disc's genre is a pick-list index; the tag takes the list position.
    tag.SetGenre(GenreToId3(disc.Genre + 1));
    tag.SetComment(disc.Comment);
    tag.SetTrack(uint8_t(trackNumber > 0 && trackNumber < 256 ? trackNumber : 0));
    return tag.WriteTag(mp3Path);
}

QString TagErrorText(uint16_t status)
{
    return QStringLiteral("错误 #%1! 不能保存Tag!").arg(status);
}

int64_t WmaEstimatedTotal(int64_t elapsed, int64_t inputSize, int64_t outputSize, int ratio)
{
    int64_t total;
    if (inputSize < WMA_SMALL_INPUT) {
        total = 2;
    } else {
        if (outputSize <= 0 || ratio <= 0) return -1;
        int64_t expected = std::llround(double(inputSize) * 1000.0 / ratio);
        if (outputSize > expected) expected = outputSize;
        total = expected * elapsed / outputSize;
    }
    if (elapsed >= total) total = elapsed + 1;
    return total;
}

QString FormatExtension(int format)
{
    static const char* const ext[] = {".mp3", ".wav", ".ogg", ".wma", ".flac"};
    return QLatin1String(ext[format >= FormatMp3 && format <= FormatFlac ? format : FormatMp3]);
}

int EncoderEndCode(int format)
{
    switch (format) {
    case FormatOgg: return ProgressCode::OggWriterDone;
    case FormatWma: return ProgressCode::WmaEncoderEnd;
    case FormatFlac: return ProgressCode::FlacWriterDone;
    default: return ProgressCode::Mp3EncoderEnd;
    }
}
