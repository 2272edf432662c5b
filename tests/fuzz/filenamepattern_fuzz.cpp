// Feeds arbitrary text as a file-name pattern and its tag values: whatever comes in, the
// path must stay inside the output folder, hold no character a file name cannot, keep
// every part within 255 bytes, end in the extension, and never repeat within a job. The
// empty pattern's plain names (a track's title, else its entry) follow the same rule, the
// double quote allowed, but may repeat when the fallback is taken too.
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
    const TFileNameTags tags{fields[1], fields[2], fields[3], fields[4], fields[5], int(size % 120),
                             fields[3], QStringLiteral("%1").arg(size % 100, 2, 10, QLatin1Char('0')) + fields[3]};
    const bool plain = fields[0].isEmpty();
    const QString ext = QStringLiteral(".flac");
    QSet<QString> used;
    for (int n = 0; n < 3; ++n) {
        const qsizetype before = used.size();
        const QString path = PatternRelativePath(fields[0], tags, ext, used);
        if ((!plain && used.size() != before + 1) || !path.endsWith(ext) || !IsSafeRelativePath(path)) abort();
        const QStringList parts = path.split(QLatin1Char('/'));
        if (plain && parts.size() != 1) abort();
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const QString& part = parts[i];
            const QString stem = i + 1 == parts.size() ? part.chopped(ext.size()) : part;
            if (stem.isEmpty() || part.startsWith(QLatin1Char('.')) || part.toUtf8().size() > 255) abort();
            if (stem.endsWith(QLatin1Char('.')) || stem.back().isSpace()) abort();
            for (QChar c : part)
                if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("\\:*?<>|").contains(c)
                    || (!plain && c == QLatin1Char('"')))
                    abort();
        }
    }
    return 0;
}
