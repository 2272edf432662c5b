// Feeds arbitrary bytes to the CDDB parsers as a server's reply: decoding, the query reply,
// the read reply and the entry parser, and what the entry gives the album record and the
// track list, must never crash or leave a control character or an over-long value in a
// one-line field, nor let a match's category or disc id be anything but a word and hex digits.
#include "metadata/CddbInfo.h"
#include "metadata/CddbLookup.h"
#include "metadata/CddbProtocol.h"
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
    const QString text = DecodeCddbReply(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    // A match's category and disc id go back into the read command.
    for (const TCddbQueryMatch& m : ParseCddbQueryReply(text).Matches) {
        if (m.DiscId.size() != 8 || m.Category.isEmpty() || m.Category.size() > 32)
            std::abort();
        for (const QChar c : m.Category + m.DiscId)
            if (!c.isLetterOrNumber() || c.unicode() > 127)
                std::abort();
    }
    QString entryText, reason;
    CddbReadReplyEntry(text, entryText, reason);
    const TCddbEntry entry = ParseCddbEntry(text);
    const TCDDBAlbum album = CddbAlbumOf(entry);
    if (album.TrackTitles.size() != album.TrackCount || album.TrackCount > 100)
        std::abort();
    TCDInfo info;
    QStringList rows(5);
    ApplyCddbEntry(entry, info, rows, size % 2 == 0);
    for (const QString& s : rows + QStringList{info.Artist, info.Album, info.Year}) {
        if (s.size() > 2 * 255 + 3)
            std::abort();
        for (const QChar c : s)
            if (c.category() == QChar::Other_Control)
                std::abort();
    }
    return 0;
}
