// Gaps, index points and codes from cue sheets and from a Q sub-channel.
#include "platform/DiscExtras.h"
#include <gtest/gtest.h>
#include <set>

namespace {

// A disc's Q sub-channel made from what its cue sheet says: position frames everywhere
// but every 97th sector, which carries the track's ISRC or the catalogue number. Sectors
// in Bad cannot be read.
class TSimulatedQ : public TQChannel {
public:
    TSimulatedQ(std::vector<int> starts, TDiscExtras disc) : Starts(std::move(starts)), Disc(std::move(disc)) {}
    bool ReadQ(int lba, TQFrame& frame) override
    {
        ++Reads;
        if (Bad.count(lba) || lba < 0 || lba >= Starts.back()) return false;
        size_t t = 0;   // the track whose gap or body holds lba
        while (t + 1 < Starts.size() - 1 && lba >= Starts[t + 1] - Disc.Tracks[t + 1].Pregap) ++t;
        TQFrame f;
        f.Control = Disc.Tracks[t].PreEmphasis ? 1 : 0;
        if (lba % 97 == 5 && !Disc.Tracks[t].Isrc.isEmpty()) {
            f.Adr = 3;
            f.Text = Disc.Tracks[t].Isrc;
        } else if (lba % 97 == 50 && !Disc.Catalog.isEmpty()) {
            f.Adr = 2;
            f.Text = Disc.Catalog;
        } else {
            f.Adr = 1;
            f.Track = int(t) + 1;
            f.Index = lba < Starts[t] ? 0 : 1;
            for (int at : Disc.Tracks[t].Indices)
                if (lba >= Starts[t] + at) ++f.Index;
        }
        // Through the wire format, as a drive hands it over.
        uint8_t q[12];
        EncodeQ(f, 0, lba, q);
        return DecodeQ(q, frame);
    }
    std::vector<int> Starts;
    TDiscExtras Disc;
    std::set<int> Bad;
    int Reads = 0;
};

const QByteArray Sheet = "CATALOG 1234567890123\n"
                         "FILE \"x.bin\" BINARY\n"
                         "  TRACK 01 AUDIO\n    ISRC USABC1234567\n    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n"
                         "  TRACK 02 AUDIO\n    FLAGS DCP PRE\n    INDEX 00 00:15:25\n    INDEX 01 00:16:50\n"
                         "    INDEX 02 00:20:50\n    INDEX 03 00:23:25\n"
                         "  TRACK 03 AUDIO\n    isrc gbxyz9900001\n    PREGAP 00:01:00\n    INDEX 01 00:28:25\n";

} // namespace

TEST(CueExtras, EveryLineKindAndWhatIsIgnored)
{
    const TDiscExtras d = ParseCueExtras(Sheet, 3);
    ASSERT_EQ(d.Tracks.size(), 3u);
    EXPECT_EQ(d.Catalog, "1234567890123");
    EXPECT_EQ(d.Tracks[0].Pregap, 150);
    EXPECT_EQ(d.Tracks[0].Isrc, "USABC1234567");
    EXPECT_EQ(d.Tracks[1].Pregap, 100);
    EXPECT_EQ(d.Tracks[1].Indices, (std::vector<int>{300, 500}));
    EXPECT_TRUE(d.Tracks[1].PreEmphasis && d.Tracks[1].CopyPermitted);
    EXPECT_EQ(d.Tracks[2].Isrc, "GBXYZ9900001");
    EXPECT_EQ(d.Tracks[2].Pregap, 75);
    // Malformed codes and times are left out; a sheet with fewer tracks leaves the rest empty.
    const TDiscExtras bad = ParseCueExtras("CATALOG 0000000000000\nTRACK 01 AUDIO\nISRC US-ABC\n"
                                           "INDEX 00 00:99:00\nINDEX 01 00:02:00\nINDEX 02 00:01:00\n", 2);
    EXPECT_EQ(bad.Catalog, "");
    EXPECT_EQ(bad.Tracks[0].Isrc, "");
    EXPECT_EQ(bad.Tracks[0].Pregap, 0);
    EXPECT_TRUE(bad.Tracks[0].Indices.empty());
    EXPECT_EQ(bad.Tracks.size(), 2u);
}

TEST(QChannel, CodesSurviveTheWireFormat)
{
    for (const auto& [adr, text] : {std::pair{2, QString("0724384260910")}, std::pair{3, QString("USRC17607839")}}) {
        TQFrame f;
        f.Adr = adr;
        f.Text = text;
        uint8_t q[12];
        EncodeQ(f, 0, 1000, q);
        TQFrame back;
        ASSERT_TRUE(DecodeQ(q, back));
        EXPECT_EQ(back.Adr, adr);
        EXPECT_EQ(back.Text, text);
    }
}

// The search finds the image's gaps, index points and codes, also with unreadable sectors
// around the boundaries and on the code frames, in far fewer reads than the disc has sectors.
TEST(QChannel, ScanFindsWhatTheSheetSays)
{
    // INDEX 01 of the three tracks (the table's starts), then the lead-out.
    const std::vector<int> starts{150, 1250, 2125, 2800};
    const TDiscExtras sheet = ParseCueExtras(Sheet, 3);
    for (const std::set<int>& bad : {std::set<int>{}, std::set<int>{1149, 1151, 1152, 1250, 1549, 1551, 2049, 2051, 700, 199, 155}}) {
        SCOPED_TRACE(bad.size());
        TSimulatedQ q(starts, sheet);
        q.Bad = bad;
        const TDiscExtras found = ScanQChannel(q, starts);
        ASSERT_EQ(found.Tracks.size(), 3u);
        EXPECT_EQ(found.Catalog, sheet.Catalog);
        for (size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(found.Tracks[i].Pregap, sheet.Tracks[i].Pregap);
            EXPECT_EQ(found.Tracks[i].Indices, sheet.Tracks[i].Indices);
            EXPECT_EQ(found.Tracks[i].Isrc, sheet.Tracks[i].Isrc);
            EXPECT_EQ(found.Tracks[i].PreEmphasis, sheet.Tracks[i].PreEmphasis);
        }
        EXPECT_LT(q.Reads, 600);
    }
}
