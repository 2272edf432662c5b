// The cue sheets of rips: layout, fields and hostile titles that must read back.
#include "encode/CueSheet.h"
#include "settings/CDInfo.h"
#include <gtest/gtest.h>

// Separate files: each gap at the end of the file before, index points, codes, flags and
// the disc's fields; a track whose predecessor was not ripped keeps no gap.
TEST(CueSheet, SeparateFilesOfARip)
{
    TDiscExtras extras;
    extras.Catalog = "1234567890123";
    extras.Tracks.resize(4);
    extras.Tracks[0].Pregap = 150;
    extras.Tracks[0].Isrc = "USABC1234567";
    extras.Tracks[1].Pregap = 100;
    extras.Tracks[1].Indices = {300};
    extras.Tracks[1].PreEmphasis = true;
    extras.Tracks[2].CopyPermitted = true;
    extras.Tracks[3].Pregap = 75;
    TCDInfo info;
    info.Artist = "Band";
    info.Album = "Album";
    info.Year = "2001";
    info.Genre = GenreIndexOf("Rock");
    info.Comment = "ripped";
    info.Titles[1] = "One";
    info.Titles[2] = "Two";
    info.Titles[4] = "Four";
    const std::vector<int64_t> starts{150, 1250, 2125, 2800, 3500};
    const TCueDisc disc = RipCueSheet({{1, "01.wav", 0}, {2, "02.wav", 0}, {4, "sub/04.wav", 0}}, starts, extras, info,
                                      "10002403", {"", "Guest"});
    EXPECT_EQ(QString::fromUtf8(WriteCueSheet(disc)),
              "REM GENRE \"Rock\"\nREM DATE \"2001\"\nREM DISCID 10002403\nREM COMMENT \"ripped\"\n"
              "CATALOG 1234567890123\nPERFORMER \"Band\"\nTITLE \"Album\"\n"
              "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    PERFORMER \"Band\"\n"
              "    ISRC USABC1234567\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    PERFORMER \"Guest\"\n    FLAGS PRE\n    INDEX 00 00:13:25\n"
              "FILE \"02.wav\" WAVE\n    INDEX 01 00:00:00\n    INDEX 02 00:04:00\n"
              "FILE \"sub/04.wav\" WAVE\n  TRACK 04 AUDIO\n    TITLE \"Four\"\n    PERFORMER \"Band\"\n    INDEX 01 00:00:00\n");
    // What is written reads back.
    const TCueDisc back = ReadCueSheet(WriteCueSheet(disc));
    ASSERT_EQ(back.Tracks.size(), 3u);
    EXPECT_EQ(back.Tracks[1].Indices.size(), 3u);
    EXPECT_EQ(back.Tracks[1].Indices[0].File, "01.wav");
    EXPECT_EQ(back.Tracks[1].Indices[0].Frames, 1000);
    EXPECT_TRUE(back.Tracks[1].PreEmphasis);
    EXPECT_EQ(back.Catalog, disc.Catalog);
    EXPECT_EQ(back.Genre, "Rock");
}

TEST(CueSheet, HostileTitlesReadBackAsCleaned)
{
    const QString cjk300 = QString(300, QChar(0x6668));
    const struct {
        QString Title, Cleaned;
    } cases[] = {
        {"Say \"hi\"", "Say 'hi'"},
        {"two\nlines\r\nTRACK 09 AUDIO", "two lines  TRACK 09 AUDIO"},
        {cjk300, cjk300},                                  // 900 bytes: kept whole
        {QString(400, QChar(0x6668)), QString(333, QChar(0x6668))},   // cut at 1000 bytes
        {"  \t padded \x01", "padded"},
        {QString::fromUtf8("emoji \xF0\x9F\x8E\xB5 ok"), QString::fromUtf8("emoji \xF0\x9F\x8E\xB5 ok")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CueText(c.Title), c.Cleaned);
        TCueDisc disc;
        disc.Title = c.Title;
        TCueTrack t;
        t.Title = c.Title;
        t.Indices.push_back({1, c.Title + ".wav", 0});
        disc.Tracks = {t, t};
        disc.Tracks[1].Number = 2;
        const TCueDisc back = ReadCueSheet(WriteCueSheet(disc));
        EXPECT_EQ(back.Title, c.Cleaned);
        ASSERT_EQ(back.Tracks.size(), 2u);
        EXPECT_EQ(back.Tracks[1].Title, c.Cleaned);
        EXPECT_EQ(back.Tracks[1].Indices[0].File, CueText(c.Title + ".wav"));
    }
}
