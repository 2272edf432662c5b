// Feeds arbitrary text as a file-name pattern and its tag values: whatever comes in, the
// path must stay inside the output folder, hold no character a file name cannot, keep
// every part within 255 bytes, end in the extension, and never repeat within a job.
#include "settings/FileNamePattern.h"

#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Fields separated by 0xFF bytes: pattern, artist, album, title, year, genre.
    QStringList fields;
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == 0xFF) {
            fields.append(QString::fromUtf8(reinterpret_cast<const char*>(data + start), qsizetype(i - start)));
            start = i + 1;
        }
    }
    while (fields.size() < 6) fields.append(QString());
    const TFileNameTags tags{fields[1], fields[2], fields[3], fields[4], fields[5], int(size % 120), fields[3], {}};
    QSet<QString> used;
    for (int n = 0; n < 3; ++n) {
        const qsizetype before = used.size();
        const QString path = PatternRelativePath(fields[0], tags, QStringLiteral(".flac"), used);
        if (fields[0].isEmpty()) return 0;   // the plain names are the jobs' own, as ever
        if (used.size() != before + 1 || !path.endsWith(QLatin1String(".flac")) || !IsSafeRelativePath(path)) abort();
        for (const QString& part : path.split(QLatin1Char('/'))) {
            if (part.isEmpty() || part.startsWith(QLatin1Char('.')) || part.toUtf8().size() > 255) abort();
            for (QChar c : part)
                if (c.unicode() < 0x20 || QStringLiteral("\\:*?\"<>|").contains(c)) abort();
        }
    }
    return 0;
}
