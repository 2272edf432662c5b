// Handing the OGG settings and the disc information to the Vorbis encoder.
#include "encode/OggOptions.h"
#include "settings/Options.h"
#include "fixtures/TestUtil.h"

#include <gtest/gtest.h>

namespace {

TEST(ApplyOggOptions, QualityOrBitratesFromTheSettings)
{
    struct Case {
        bool useCompress;
        int position, maxIndex, nomIndex, minIndex;
        float compression;
        TVorbisBitRate max, nom, min;
    };
    const Case cases[] = {
        {true, 60, 14, 8, 1, 0.5f, brAutoSelect, brAutoSelect, brAutoSelect},
        {true, 30, 0, 0, 0, 0.2f, brAutoSelect, brAutoSelect, brAutoSelect},
        {true, 100, 0, 0, 0, 0.9f, brAutoSelect, brAutoSelect, brAutoSelect},
        {false, 60, 0, 0, 0, 0.2f, brAutoSelect, brAutoSelect, brAutoSelect},
        // Each list position reaches the encoder as the rate its label names. The maximum
        // is set while the nominal is still automatic, so the nominal decides it.
        {false, 60, 14, 8, 1, 0.2f, bitrate128, bitrate128, bitrate45},
        {false, 60, 0, 1, 0, 0.2f, bitrate45, bitrate45, brAutoSelect},
        {false, 60, 0, 14, 14, 0.2f, bitrate320, bitrate320, bitrate320},
        {false, 60, 3, 0, 3, 0.2f, brAutoSelect, brAutoSelect, brAutoSelect},
        {false, 60, 99, -1, 15, 0.2f, brAutoSelect, brAutoSelect, brAutoSelect},  // out of range
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.useCompress << " " << c.position << " " << c.maxIndex
                                        << "/" << c.nomIndex << "/" << c.minIndex);
        OptionsSetting = TOptionsSetting();
        OptionsSetting.OggOptions = {c.useCompress, c.position, c.maxIndex, c.nomIndex, c.minIndex};
        TVorbisOut out;
        ApplyOggOptions(out);
        EXPECT_FLOAT_EQ(out.Compression(), c.compression);
        EXPECT_EQ(out.DesiredMaximumBitrate(), c.max);
        EXPECT_EQ(out.DesiredNominalBitrate(), c.nom);
        EXPECT_EQ(out.MinimumBitrate(), c.min);
    }
    EXPECT_EQ(OggBitRateOfIndex(8), bitrate128);
}

TEST(ApplyOggOptions, CommentsFromTheDiscOnlyWhenTagging)
{
    OptionsSetting = TOptionsSetting();
    TCDInfo& info = OptionsSetting.CDInfo;
    info.Artist = QStringLiteral("歌手");
    info.Album = "Album";
    info.Year = "2001";
    info.Comment = "Disc comment";
    info.Titles[1] = "Track one";
    TVorbisOut out;
    out.Comments().SetDisc("stale");

    OptionsSetting.ID3Use = false;
    ApplyOggOptions(out);
    EXPECT_TRUE(out.Comments().IsEmpty());

    OptionsSetting.ID3Use = true;
    const struct {
        int genre;
        QString id3;
    } genres[] = {{-1, ""}, {GenreIndexOf("Rock"), "17"}, {GenreIndexOf("Blues"), "0"}};   // no genre, no comment
    for (const auto& g : genres) {
        info.Genre = g.genre;
        ApplyOggOptions(out);
        const TVorbisTags& t = out.Comments();
        EXPECT_EQ(t.Artist(), QStringLiteral("歌手"));
        EXPECT_EQ(t.Album(), "Album");
        EXPECT_EQ(t.Date(), "2001");
        EXPECT_EQ(t.Title(), "Disc comment");
        EXPECT_EQ(t.Genre(), g.id3) << g.genre;
        EXPECT_EQ(t.Track(), QString());
    }
}

} // namespace
