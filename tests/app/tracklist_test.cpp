// Track list rows and the disc identifier, computed from tables of contents.
#include "app/core/TrackList.h"
#include <gtest/gtest.h>
#include <cstring>
#include <initializer_list>

namespace {

// An MSF table of contents from the start addresses of the tracks and the lead-out.
TTocRecord Toc(std::initializer_list<std::array<int, 3>> starts, int firstTrack = 1)
{
    TTocRecord toc;
    std::memset(&toc, 0, sizeof toc);
    int i = 0;
    for (const auto& msf : starts) {
        TTocEntry& e = toc.Entries[i];
        e.AdrControl = 0x10;
        e.TrackNumber = uint8_t(firstTrack + i);
        e.Address[1] = uint8_t(msf[0]);
        e.Address[2] = uint8_t(msf[1]);
        e.Address[3] = uint8_t(msf[2]);
        ++i;
    }
    toc.Entries[i - 1].TrackNumber = 0xAA;
    toc.FirstTrack = uint8_t(firstTrack);
    toc.LastTrack = uint8_t(firstTrack + i - 2);
    toc.DataLength = uint16_t(2 + 8 * i);
    return toc;
}

} // namespace

TEST(TrackRows, LengthAndSizeTexts)
{
    EXPECT_EQ(TrackLengthText(4, 10), "04:10");
    EXPECT_EQ(TrackSizeText(4, 10), "42.06");     // 44100000 bytes = 42.057 MB
    EXPECT_EQ(TrackLengthText(0, 9), "00:09");
    EXPECT_EQ(TrackSizeText(0, 9), "01.51");
    EXPECT_EQ(TrackSizeText(0, 0), "00.00");
    // A long track keeps all its digits.
    EXPECT_EQ(TrackLengthText(79, 59), "79:59");
    EXPECT_EQ(TrackSizeText(79, 59), "807.33");
}

TEST(TrackRows, LengthFromTocBorrowsASecondsCarry)
{
    // 1:58 to 5:02 is 3:04 (seconds go negative and borrow a minute; frames are ignored).
    const TTocRecord toc = Toc({{1, 58, 40}, {5, 2, 10}, {9, 0, 0}});
    int m = 0, s = 0;
    TrackLength(toc, 0, m, s);
    EXPECT_EQ(TrackLengthText(m, s), "03:04");
    TrackLength(toc, 1, m, s);   // the last track ends at the lead-out
    EXPECT_EQ(TrackLengthText(m, s), "03:58");
}

TEST(TrackRows, TrackCountRejectsImpossibleTables)
{
    EXPECT_EQ(TocTrackCount(Toc({{0, 2, 0}, {4, 0, 0}})), 1);
    EXPECT_EQ(TocTrackCount(Toc({{0, 2, 0}, {4, 0, 0}, {6, 0, 0}}, 3)), 2);
    TTocRecord bad = Toc({{0, 2, 0}, {4, 0, 0}});
    bad.FirstTrack = 5;
    bad.LastTrack = 2;
    EXPECT_EQ(TocTrackCount(bad), -1);
    bad.FirstTrack = 0;
    bad.LastTrack = 0;
    EXPECT_EQ(TocTrackCount(bad), -1);
    bad.FirstTrack = 1;
    bad.LastTrack = 120;
    EXPECT_EQ(TocTrackCount(bad), -1);
    EXPECT_EQ(DiscIdFromToc(bad), "");
}

TEST(DiscId, VolumeSerialOfFourTracks)
{
    const TTocRecord toc = Toc({{0, 2, 0}, {4, 28, 50}, {10, 2, 0}, {15, 37, 10}, {20, 0, 0}});
    EXPECT_EQ(DiscSerialFromToc(toc), 0x001D453Cu);
    EXPECT_EQ(DiscIdFromToc(toc), QString::number(0x001D453C));
}

TEST(DiscId, ShortDiscsAddTheirLength)
{
    // One track, lead-out at 06:02:00: 0x200 + 27000 frames.
    EXPECT_EQ(DiscIdFromToc(Toc({{0, 2, 0}, {6, 2, 0}})), "27512");
    // Two tracks also add the length: 0x200 + 0x30000 + (5*4500 - 150).
    EXPECT_EQ(DiscSerialFromToc(Toc({{0, 2, 0}, {3, 0, 0}, {5, 0, 0}})),
              0x200u + 0x30000u + (5u * 4500 - 150u));
    // From three tracks on, the length is not added; the rule counts tracks, not numbers.
    EXPECT_EQ(DiscSerialFromToc(Toc({{0, 2, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}})),
              0x200u + 0x30000u + 0x40000u);
    EXPECT_EQ(DiscSerialFromToc(Toc({{0, 2, 0}, {3, 0, 0}, {5, 0, 0}}, 7)),
              0x200u + 0x30000u + (5u * 4500 - 150u));
    EXPECT_EQ(DiscSerialFromToc(Toc({{0, 2, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}}, 7)),
              0x200u + 0x30000u + 0x40000u);
}
