#pragma once
// The CDDB disc id of a table of contents: the id every disc database keys on first.
#include <QString>
#include <QVector>
#include <cstdint>

// A disc's table of contents as sector numbers (LBA, the first track normally at 0): each
// track's start and the lead-out.
struct TCddbToc {
    QVector<int> Starts;
    int LeadOut = 0;
    QVector<bool> DataTracks = {};   // per track, when the source knows: a data track (CDDB ignores it)
};

struct TCddbDiscId {
    bool Valid = false;
    uint32_t Id = 0xffffffffu;
    QString IdText = QStringLiteral("ffffffff");   // 8 lower-case hex digits
    QString QueryString;                           // "N off1 .. offN seconds"; empty when not valid
};

// The published disc id: offsets count from the start of the disc (LBA + 150), a track's
// seconds are offset div 75, the length is (lead-out + 150) div 75. A table without tracks,
// with more than 99, with a start not below the next one or the lead-out, or a negative one
// gives no id ("ffffffff").
TCddbDiscId CddbDiscIdOf(const TCddbToc& toc);
