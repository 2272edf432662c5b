// Feeds arbitrary bytes to the tag reader as an input file of a conversion: the first byte
// picks the kind (MP3, FLAC, OGG, WAV, or a file for FFmpeg), the rest is the file. Whatever
// is read must be held to the reader's limits: texts without NUL and at most MaxTagText
// characters, no cover above MaxCoverBytes. The WAV INFO parser also gets the bytes whole.
#include "metadata/TagReader.h"
#include "metadata/WavInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
QTemporaryDir* Folder = nullptr;

void Check(const QString& text)
{
    if (text.size() > MaxTagText || text.contains(QChar(0)))
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;
    Folder = &dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const char* const kinds[] = {"mp3", "flac", "ogg", "wav", "wma"};
    const QString name = Folder->filePath(QStringLiteral("fuzz.") + QLatin1String(kinds[data[0] % 5]));
    {
        QFile f(name);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data + 1), qint64(size - 1));
    }
    TTagRecord tag;
    QString message;
    ReadFileTags(name, tag, &message);
    for (const QString* text : {&tag.Title, &tag.Artist, &tag.Album, &tag.AlbumArtist, &tag.Date, &tag.Genre,
                                &tag.Comment, &tag.Isrc, &tag.Catalog, &tag.MbAlbumId, &tag.MbDiscId})
        Check(*text);
    if (tag.Cover.size() > MaxCoverBytes || tag.Track < 0 || tag.TrackTotal < 0)
        std::abort();

    TTagRecord info;
    ParseWavInfo(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), info);
    Check(info.Title);
    Check(info.Comment);
    return 0;
}
