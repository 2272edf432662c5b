// Feeds arbitrary bytes to the ID3v1 reader as an MP3 file. Whatever is read must write
// back as a tag that reads again without an error, with the same track and genre, and
// without touching the bytes before the tag.
#include "metadata/id3.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
QTemporaryDir* Folder = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;
    Folder = &dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString name = Folder->filePath("fuzz.mp3");
    {
        QFile f(name);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    Tid3tag tag;
    const uint16_t status = tag.ReadTag(name);
    if (Tid3tag::Failed(status) && status != Tid3tag::StatusNoTag)
        std::abort();
    const bool hadTag = !Tid3tag::Failed(status);
    if (tag.WriteTag("=") != Tid3tag::StatusOk)
        std::abort();
    Tid3tag again;
    if (Tid3tag::Failed(again.ReadTag(name)) || again.Track() != tag.Track() || again.Genre() != tag.Genre())
        std::abort();
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray now = f.readAll();
    const qsizetype audio = qsizetype(size) - (hadTag ? Tid3tag::TagSize : 0);
    if (now.size() != audio + Tid3tag::TagSize
        || now.left(audio) != QByteArray(reinterpret_cast<const char*>(data), audio))
        std::abort();
    tag.RemoveTag();
    return 0;
}
