#include "encode/JobEntry.h"

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

QString InputFileProblem(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("does not exist");
    if (info.isDir())
        return QStringLiteral("is a folder, not a file");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot be opened: ") + file.errorString();
    if (file.size() == 0)
        return QStringLiteral("is empty");
    return {};
}

namespace {

// The length in bytes of the MPEG audio frame whose header is at h[0..3]; 0 when it is none.
int Mp3FrameBytes(const uint8_t* h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return 0;
    const int version = (h[1] >> 3) & 3;   // 0: 2.5, 2: 2, 3: 1; 1 reserved
    const int layer = (h[1] >> 1) & 3;     // 1: III, 2: II, 3: I; 0 reserved
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return 0;
    static const int kbps[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static const int rates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int rate = rates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int bitrate = kbps[mpeg1 ? 0 : 1][3 - layer][bitrateIndex] * 1000;
    const int padding = (h[2] >> 1) & 1;
    if (layer == 3)
        return (12 * bitrate / rate + padding) * 4;
    return (layer == 1 && !mpeg1 ? 72 : 144) * bitrate / rate + padding;
}

} // namespace

bool LooksLikeMp3(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(10);
    qint64 start = 0;
    if (head.size() == 10 && head.startsWith("ID3")) {
        const auto b = [&](int i) { return qint64(uint8_t(head[i]) & 0x7F); };
        start = 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9)) + ((uint8_t(head[5]) & 0x10) ? 10 : 0);
    }
    // Some encoders leave a few bytes of padding before the first frame.
    constexpr qint64 kSearch = 4096;
    if (!file.seek(start))
        return false;
    const QByteArray data = file.read(kSearch + 2 * 1441 + 4);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    for (qsizetype i = 0; i + 4 <= data.size() && i < kSearch; ++i) {
        const int length = Mp3FrameBytes(bytes + i);
        if (length >= 4 && i + length + 4 <= data.size() && Mp3FrameBytes(bytes + i + length) > 0)
            return true;
    }
    return false;
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

