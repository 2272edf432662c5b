// Cue sheets the program writes and reads: arbitrary bytes go to the readers (the sheet
// reader, the image sheet's gaps and codes, a Q frame), and, taken as titles, through a
// written sheet that must read back as written: every title as CueText made it, no track
// lost or added.
#include "encode/CueSheet.h"
#include "platform/DiscExtras.h"

#include <QByteArray>
#include <QList>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    ReadCueSheet(bytes);
    ParseCueExtras(bytes, 3);
    if (size >= 12) {
        TQFrame frame;
        DecodeQ(data, frame);
    }

    // Titles: the input's pieces between zero bytes.
    const QList<QByteArray> parts = bytes.split('\0');
    TCueDisc disc;
    disc.Title = QString::fromUtf8(parts.value(0));
    disc.Performer = QString::fromUtf8(parts.value(1));
    disc.Genre = QString::fromUtf8(parts.value(2));
    for (int i = 3; i < parts.size() && i < 40; ++i) {
        TCueTrack t;
        t.Number = i - 2;
        t.Title = QString::fromUtf8(parts[i]);
        t.Performer = t.Title.left(7);
        t.Indices.push_back({1, QStringLiteral("f%1.wav").arg(i), 0});
        disc.Tracks.push_back(t);
    }
    const TCueDisc back = ReadCueSheet(WriteCueSheet(disc));
    if (back.Title != CueText(disc.Title) || back.Performer != CueText(disc.Performer)
        || back.Genre != CueText(disc.Genre) || back.Tracks.size() != disc.Tracks.size())
        std::abort();
    for (size_t i = 0; i < disc.Tracks.size(); ++i)
        if (back.Tracks[i].Title != CueText(disc.Tracks[i].Title) || back.Tracks[i].Number != disc.Tracks[i].Number
            || back.Tracks[i].Indices.size() != 1 || back.Tracks[i].Indices[0].File != disc.Tracks[i].Indices[0].File)
            std::abort();
    return 0;
}
