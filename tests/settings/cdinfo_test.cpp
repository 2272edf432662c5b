// Disc information cache: loading defaults and partial sections, saving without losing
// other discs, odd values in the file, and the genre tables.
#include "fixtures/TestUtil.h"
#include "settings/CDInfo.h"
#include "settings/Global.h"
#include "settings/IniFile.h"
#include "settings/Options.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>
#include <set>

namespace {

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class CDInfoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FHome.isValid());
        FOldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", FHome.path().toUtf8());
        OptionsSetting.CDInfo = TCDInfo{};
    }
    void TearDown() override
    {
        qputenv("XDG_CONFIG_HOME", FOldConfig);
        OptionsSetting.CDInfo = TCDInfo{};
    }

    TCDInfo& Info() { return OptionsSetting.CDInfo; }

    QTemporaryDir FHome;
    QByteArray FOldConfig;
};

TEST_F(CDInfoTest, UnknownDiscGetsDefaultsAndHundredNumberedTitles)
{
    Info().Artist = "previous";
    Info().Genre = 7;
    Info().Titles[42] = "previous title";
    LoadCDInfo("12345");
    EXPECT_EQ(Info().Artist, "");
    EXPECT_EQ(Info().Genre, -1);
    EXPECT_EQ(Info().TrackNumber, 100);
    EXPECT_EQ(Info().Titles[1], QString("音轨 01"));
    EXPECT_EQ(Info().Titles[42], QString("音轨 42"));
    EXPECT_EQ(Info().Titles[100], QString("音轨 100"));
    EXPECT_FALSE(CDInfoSectionExists("12345"));
}

TEST_F(CDInfoTest, EmptyDiscIdTouchesNeitherRecordNorFile)
{
    Info().Artist = "kept";
    Info().TrackNumber = 2;
    LoadCDInfo("");
    EXPECT_EQ(Info().Artist, "kept");
    EXPECT_EQ(Info().TrackNumber, 2);
    EXPECT_TRUE(SaveCDInfo(""));
    EXPECT_FALSE(QFileInfo::exists(CDInfoFileName()));
    EXPECT_FALSE(CDInfoSectionExists(""));
}

TEST_F(CDInfoTest, PartialSectionsLeaveHigherTitlesAndFillEmptyOnes)
{
    WriteBytes(CDInfoFileName(), "[777]\nArtist=A\nAlbum=B\nYear=1999\nGenre=17\nComment=C\n"
                                 "TrackNumber=6\n1=One\n2=Two\n3=Three\n5=\n7=Stale\n");
    for (int n = 1; n <= MAX_TITLES; ++n)
        Info().Titles[n] = QString("before %1").arg(n);
    LoadCDInfo("777");
    EXPECT_EQ(Info().Year, "1999");
    EXPECT_EQ(Info().Genre, 17);
    EXPECT_EQ(Info().TrackNumber, 6);
    EXPECT_EQ(Info().Titles[3], "Three");
    EXPECT_EQ(Info().Titles[4], QString("音轨 04"));   // missing key
    EXPECT_EQ(Info().Titles[5], QString("音轨 05"));   // present but empty
    EXPECT_EQ(Info().Titles[7], "before 7");             // above TrackNumber: untouched
    EXPECT_EQ(Info().Titles[100], "before 100");
    EXPECT_TRUE(CDInfoSectionExists("777"));
}

TEST_F(CDInfoTest, OddTrackNumbersNeverReachPastTheTitles)
{
    WriteBytes(CDInfoFileName(), "[0]\nTrackNumber=0\n1=x\n"
                                 "[-5]\nTrackNumber=-5\n1=x\n"
                                 "[huge]\nTrackNumber=100000\n1=first\n100=last\n"
                                 "[junk]\nthis line is junk\n=\n\x01\xff\nGenre=abc\nTrackNumber=two\n"
                                 "[hex]\nGenre=0x10\nTrackNumber=0x2\n1=h1\n");
    Info().Titles[1] = "kept";
    LoadCDInfo("0");
    EXPECT_EQ(Info().TrackNumber, 0);
    EXPECT_EQ(Info().Titles[1], "kept");
    LoadCDInfo("-5");
    EXPECT_EQ(Info().TrackNumber, 0);
    EXPECT_EQ(Info().Titles[1], "kept");

    LoadCDInfo("huge");
    EXPECT_EQ(Info().TrackNumber, 100);
    EXPECT_EQ(Info().Titles[1], "first");
    EXPECT_EQ(Info().Titles[99], QString("音轨 99"));
    EXPECT_EQ(Info().Titles[100], "last");

    LoadCDInfo("junk");
    EXPECT_EQ(Info().Genre, -1);
    EXPECT_EQ(Info().TrackNumber, 100);

    LoadCDInfo("hex");
    EXPECT_EQ(Info().Genre, 16);
    EXPECT_EQ(Info().TrackNumber, 2);
    EXPECT_EQ(Info().Titles[1], "h1");
}

TEST_F(CDInfoTest, GenreOutsideTheListLoadsAsNone)
{
    const struct {
        const char* stored;
        int loaded;
    } cases[] = {{"-1", -1}, {"0", 0}, {"147", 147}, {"148", -1}, {"-2", -1},
                 {"2147483647", -1}, {"0xFFFFFFFF", -1}, {"-2147483648", -1}};
    for (const auto& c : cases) {
        WriteBytes(CDInfoFileName(), QByteArray("[9]\nGenre=") + c.stored + "\n");
        Info().Genre = 5;
        EXPECT_TRUE(LoadCDInfo("9"));
        EXPECT_EQ(Info().Genre, c.loaded) << c.stored;
    }
    EXPECT_FALSE(LoadCDInfo("10"));   // no such section
}

TEST_F(CDInfoTest, ReadsGbkFilesFromTheWindowsProgram)
{
    // "中文" in GBK; the bytes are no valid UTF-8.
    WriteBytes(CDInfoFileName(), "[1]\r\nArtist=\xD6\xD0\xCE\xC4\r\nTrackNumber=1\r\n1=\xD6\xD0\r\n");
    LoadCDInfo("1");
    EXPECT_EQ(Info().Artist, QString("中文"));
    EXPECT_EQ(Info().Titles[1], QString("中"));
}

TEST_F(CDInfoTest, SaveAndLoadRoundTrip)
{
    Info().Artist = "王菲";
    Info().Album = "  spaced album  ";
    Info().Year = "1998";
    Info().Genre = 97;
    Info().Comment = "\"quoted\"";
    Info().TrackNumber = 12;
    for (int n = 1; n <= 12; ++n)
        Info().Titles[n] = QString("第%1首 song").arg(n);
    Info().Titles[5] = "line one\nTrackNumber=1\r\n[2]";
    const TCDInfo saved = Info();
    ASSERT_TRUE(SaveCDInfo("-123456"));

    Info() = TCDInfo{};
    LoadCDInfo("-123456");
    EXPECT_EQ(Info().Artist, saved.Artist);
    EXPECT_EQ(Info().Album, saved.Album);
    EXPECT_EQ(Info().Year, saved.Year);
    EXPECT_EQ(Info().Genre, saved.Genre);
    EXPECT_EQ(Info().Comment, saved.Comment);
    EXPECT_EQ(Info().TrackNumber, 12);   // a title cannot smuggle in keys or sections
    for (int n = 1; n <= 12; ++n) {
        if (n == 5)
            continue;
        EXPECT_EQ(Info().Titles[n], saved.Titles[n]) << n;
    }
    EXPECT_TRUE(Info().Titles[5].startsWith("line one"));
    EXPECT_FALSE(CDInfoSectionExists("2"));

    const TIniFile ini(CDInfoFileName());
    QStringList expected{"Artist", "Album", "Year", "Genre", "Comment", "TrackNumber"};
    for (int n = 1; n <= 12; ++n)
        expected << QString::number(n);
    EXPECT_EQ(ini.ReadSection("-123456"), expected);
}

TEST_F(CDInfoTest, SaveKeepsOtherDiscsAndStaleTitles)
{
    WriteBytes(CDInfoFileName(), "; my notes\n[999]\nArtist=Other\nTrackNumber=1\n1=Keep\n"
                                 "[5]\nTrackNumber=12\n1=a\n11=eleven\n12=twelve\n");
    Info().TrackNumber = 3;
    Info().Titles[1] = "x";
    ASSERT_TRUE(SaveCDInfo("5"));
    const TIniFile ini(CDInfoFileName());
    EXPECT_EQ(ini.ReadString("999", "Artist", ""), "Other");
    EXPECT_EQ(ini.ReadString("999", "1", ""), "Keep");
    EXPECT_EQ(ini.ReadInteger("5", "TrackNumber", 0), 3);
    EXPECT_EQ(ini.ReadString("5", "1", ""), "x");
    EXPECT_EQ(ini.ReadString("5", "12", ""), "twelve");
    EXPECT_TRUE(ReadBytes(CDInfoFileName()).contains("; my notes"));
}

TEST_F(CDInfoTest, SaveClampsTheTitleCountIntoTheArray)
{
    Info().TrackNumber = 150;
    for (int n = 1; n <= MAX_TITLES; ++n)
        Info().Titles[n] = QString("t%1").arg(n);
    ASSERT_TRUE(SaveCDInfo("big"));
    EXPECT_EQ(Info().TrackNumber, 150);   // the record itself is not changed
    {
        const TIniFile ini(CDInfoFileName());
        EXPECT_EQ(ini.ReadInteger("big", "TrackNumber", 0), 100);
        EXPECT_EQ(ini.ReadString("big", "100", ""), "t100");
        EXPECT_FALSE(ini.ValueExists("big", "101"));
    }

    Info().TrackNumber = -5;
    ASSERT_TRUE(SaveCDInfo("neg"));
    const TIniFile ini(CDInfoFileName());
    EXPECT_EQ(ini.ReadInteger("neg", "TrackNumber", 1), 0);
    EXPECT_EQ(ini.ReadSection("neg").size(), 6);
}

// Disc n/N: stored only for a disc that has them; odd stored values read as not known.
TEST_F(CDInfoTest, DiscNumbers)
{
    Info().DiscNumber = 2;
    Info().DiscTotal = 3;
    ASSERT_TRUE(SaveCDInfo("set"));
    Info() = TCDInfo();
    LoadCDInfo("set");
    EXPECT_EQ(std::make_pair(Info().DiscNumber, Info().DiscTotal), std::make_pair(2, 3));
    Info().DiscNumber = 0;
    ASSERT_TRUE(SaveCDInfo("set"));
    EXPECT_FALSE(TIniFile(CDInfoFileName()).ValueExists("set", "DiscNumber"));

    const struct { const char* text; int number, total; } cases[] = {
        {"DiscNumber=1\nDiscTotal=2\n", 1, 2}, {"DiscNumber=3\nDiscTotal=2\n", 3, 0},
        {"DiscNumber=-1\nDiscTotal=x\n", 0, 0}, {"DiscNumber=1000\n", 0, 0},
    };
    for (const auto& c : cases) {
        WriteBytes(CDInfoFileName(), QByteArray("[d]\nArtist=A\n") + c.text);
        LoadCDInfo("d");
        EXPECT_EQ(std::make_pair(Info().DiscNumber, Info().DiscTotal), std::make_pair(c.number, c.total)) << c.text;
    }
}

TEST_F(CDInfoTest, SaveReportsAFileThatCannotBeWritten)
{
    // A folder where the file should be: nothing can be read or written there.
    ASSERT_TRUE(QDir().mkpath(CDInfoFileName()));
    Info().TrackNumber = 1;
    EXPECT_FALSE(SaveCDInfo("1"));
    LoadCDInfo("1");
    EXPECT_EQ(Info().TrackNumber, 100);
}

// The program folder is shared by every test program of the build; use it only when it
// holds no cache and remove what was put there.
TEST_F(CDInfoTest, CacheBesideTheProgramIsReadAndCarriedIntoTheFirstSave)
{
    const QString shipped = ProgramFolder() + "cdinfo.dat";
    if (QFileInfo::exists(shipped))
        GTEST_SKIP() << "a cdinfo.dat already lies beside the test program";
    const QByteArray shippedBytes = "[555]\nArtist=Shipped\nTrackNumber=2\n1=s1\n2=s2\n";
    WriteBytes(shipped, shippedBytes);
    struct Cleanup {
        QString path;
        ~Cleanup() { QFile::remove(path); }
    } cleanup{shipped};

    EXPECT_TRUE(CDInfoSectionExists("555"));
    LoadCDInfo("555");
    EXPECT_EQ(Info().Artist, "Shipped");
    EXPECT_EQ(Info().Titles[2], "s2");

    Info().Artist = "Mine";
    Info().TrackNumber = 1;
    ASSERT_TRUE(SaveCDInfo("777"));
    EXPECT_EQ(ReadBytes(shipped), shippedBytes);   // the shipped file stays as it was
    const TIniFile own(CDInfoFileName());
    EXPECT_EQ(own.ReadString("555", "Artist", ""), "Shipped");
    EXPECT_EQ(own.ReadString("777", "Artist", ""), "Mine");

    // From now on the user's own cache is the one read.
    WriteBytes(shipped, "[777]\nArtist=Shadowed\n");
    LoadCDInfo("777");
    EXPECT_EQ(Info().Artist, "Mine");
}

TEST(Genres, NamesAreTheFullListAndLookupIsExact)
{
    for (int i = 0; i < GENRE_COUNT; ++i)
        EXPECT_EQ(GenreIndexOf(QString::fromLatin1(GenreNames[i])), i);   // no duplicates
    EXPECT_EQ(GenreIndexOf("Blues"), 17);
    EXPECT_EQ(GenreIndexOf("blues"), -1);
    EXPECT_EQ(GenreIndexOf("Blues "), -1);
    EXPECT_EQ(GenreIndexOf(""), -1);
}

TEST(Genres, TablesMapBetweenPickListAndId3Numbers)
{
    EXPECT_EQ(GenreToId3(0), 255);
    EXPECT_EQ(GenreToId3(1), 123);
    EXPECT_EQ(GenreToId3(18), 0);
    EXPECT_EQ(GenreToId3(96), 12);
    EXPECT_EQ(GenreToId3(148), 28);
    EXPECT_EQ(GenreToId3(149), 255);
    EXPECT_EQ(GenreToId3(200), 255);
    EXPECT_EQ(GenreToId3(-1), 255);
    EXPECT_EQ(Id3ToGenre(0), 18);
    EXPECT_EQ(Id3ToGenre(12), 96);
    EXPECT_EQ(Id3ToGenre(123), 1);
    EXPECT_EQ(Id3ToGenre(147), GenreIndexOf("Synthpop") + 1);
    EXPECT_EQ(Id3ToGenre(148), 0);
    EXPECT_EQ(Id3ToGenre(255), 0);
    EXPECT_EQ(Id3ToGenre(-1), 0);

    // The genres spelled differently from the ID3v1 list still reach their numbers.
    const std::pair<const char*, int> respelled[] = {
        {"Alt. Rock", 40},   {"Gangsta Rap", 59}, {"Psychedelic", 67}, {"Folk/Rock", 81},
        {"Fast-Fusion", 84}, {"A Cappella", 123}, {"Drum & Base", 127}, {"Christian Gangsta", 136}};
    for (const auto& [name, id3] : respelled)
        EXPECT_EQ(GenreToId3(GenreIndexOf(name) + 1), id3) << name;
}

TEST(Genres, TablesAreInverseOverAllGenres)
{
    std::set<int> numbers;
    for (int p = 1; p <= GENRE_COUNT; ++p) {
        const int id3 = GenreToId3(p);
        EXPECT_LT(id3, GENRE_COUNT) << "position " << p << " has no ID3 number";
        numbers.insert(id3);
        EXPECT_EQ(Id3ToGenre(id3), p);
    }
    EXPECT_EQ(numbers.size(), size_t(GENRE_COUNT));
}

} // namespace
