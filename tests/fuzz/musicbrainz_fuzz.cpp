// Feeds arbitrary bytes to the MusicBrainz release parser as a server's reply: it must never
// crash, keep only releases with a proper id (it names a cover file), give each as many rows
// as the disc has tracks, and leave no control character or over-long value in a field the
// disc information or the track list takes.
#include "metadata/MusicBrainz.h"
#include "settings/CDInfo.h"

#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TCddbToc toc{{0, 18750, 19425}, 33225};
    QList<TMbRelease> releases;
    QString error;
    ParseMbReleases(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                    QStringLiteral("Ec7gobakzcOZVwoWZNfXCJd.Srw-"), toc, releases, error);
    for (const TMbRelease& r : releases) {
        if (r.Id.size() != 36 || r.Titles.size() != toc.Starts.size())
            std::abort();
        TCDInfo info;
        QStringList rows(2);
        ApplyMbRelease(r, info, rows);
        for (const QChar c : r.Id)
            if (!(c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) || c == QLatin1Char('-')))
                std::abort();
        // No control character, and no field longer than "artist / title" at full length.
        for (const QString& s : rows + QStringList{info.Artist, info.Album, info.Year, r.Country, r.Format, r.Date}) {
            if (s.size() > 2 * 255 + 3)
                std::abort();
            for (const QChar c : s)
                if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
                    std::abort();
        }
    }
    CoverImageOf(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
