// The CDDB protocol functions: disc ids (checked against libdiscid), command URLs, query
// and read replies, and the xmcd entry parser with what it hands to the disc cache.
#include "fixtures/TestUtil.h"
#include "metadata/CddbLookup.h"
#include "metadata/CddbInfo.h"
#include "metadata/CddbProtocol.h"
#include "settings/CDInfo.h"
#include "settings/Options.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

TCddbToc Toc(std::initializer_list<int> starts, int leadOut)
{
    TCddbToc t;
    t.Starts = QVector<int>(starts);
    t.LeadOut = leadOut;
    return t;
}

TEST(CddbDiscId, KnownTablesAndUnreadableOnes)
{
    TCddbToc ninetyNine;
    for (int i = 0; i < 99; ++i)
        ninetyNine.Starts << i * 3000;
    ninetyNine.LeadOut = 99 * 3000;
    const struct {
        TCddbToc Toc;
        const char* Id;
        const char* Query;
    } cases[] = {
        {Toc({0, 18750, 19425}, 33225), "1401bb03", "3 150 18900 19575 445"},
        {Toc({0, 20000}, 40000), "12021502", "2 150 20150 535"},
        {ninetyNine, "", ""},   // filled below from the rule
        {Toc({}, 100), "ffffffff", ""},
        {Toc({0, 500, 400}, 1000), "ffffffff", ""},   // starts out of order
        {Toc({0, 500}, 500), "ffffffff", ""},          // lead-out not after the last start
    };
    for (const auto& c : cases) {
        const TCddbDiscId id = CddbDiscIdOf(c.Toc);
        if (QByteArray(c.Id).isEmpty()) {   // 99 tracks: length and count in the low bits
            EXPECT_TRUE(id.Valid);
            EXPECT_EQ(id.Id & 0xff, 99u);
            EXPECT_EQ((id.Id >> 8) & 0xffff, uint32_t((99 * 3000 + 150) / 75 - 2));
            continue;
        }
        EXPECT_EQ(id.IdText, QString::fromLatin1(c.Id));
        EXPECT_EQ(id.QueryString, QString::fromLatin1(c.Query));
        EXPECT_EQ(id.Valid, id.IdText != "ffffffff");
    }
    TCddbToc hundred = ninetyNine;
    hundred.Starts << hundred.LeadOut;
    hundred.LeadOut += 3000;
    EXPECT_FALSE(CddbDiscIdOf(hundred).Valid);
}

// Random tables against libdiscid's freedb id, all in one run of the system Python.
TEST(CddbDiscId, RandomTablesAgreeWithLibdiscid)
{
    if (QProcess::execute("/usr/bin/python3", {"-c", "import libdiscid"}) != 0)
        GTEST_FAIL() << "python3-libdiscid is missing: run scripts/deps.sh";
    QRandomGenerator rng(20261207);
    QStringList script{"import libdiscid,sys", "for line in sys.stdin:",
                       "  n=[int(x) for x in line.split()]",
                       "  print(libdiscid.put(1,len(n)-1,n[-1]+150,[x+150 for x in n[:-1]]).freedb_id)"};
    QByteArray input;
    QStringList expected;
    for (int i = 0; i < 60; ++i) {
        TCddbToc t;
        const int tracks = 1 + int(rng.bounded(99));
        int at = int(rng.bounded(400));
        for (int k = 0; k < tracks; ++k) {
            t.Starts << at;
            at += 1 + int(rng.bounded(440000 / tracks));   // a disc of at most about 98 minutes
        }
        t.LeadOut = at;
        QStringList nums;
        for (int s : t.Starts)
            nums << QString::number(s);
        nums << QString::number(t.LeadOut);
        input += nums.join(' ').toLatin1() + '\n';
        expected << CddbDiscIdOf(t).IdText;
    }
    QProcess py;
    py.start("/usr/bin/python3", {"-c", script.join('\n')});
    py.write(input);
    py.closeWriteChannel();
    ASSERT_TRUE(py.waitForFinished(20000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromLatin1(py.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts), expected);
}

TEST(CddbUrl, FourHelloFieldsPercentEncodedAndServerForms)
{
    const TCddbHello hello = CddbHelloFromEmail("me@host.example", "CD Conv", "v1.0&x");
    const struct {
        const char* Server;
        const char* Script;
        const char* Prefix;
    } cases[] = {
        {"gnudb.gnudb.org", "/~cddb/cddb.cgi", "http://gnudb.gnudb.org/~cddb/cddb.cgi?"},
        {"127.0.0.1:8080", "cgi/cddb.cgi", "http://127.0.0.1:8080/cgi/cddb.cgi?"},
        {"https://example.org:81", "/x.cgi", "https://example.org:81/x.cgi?"},
        {"http://example.org/y.cgi", "", "http://example.org/y.cgi?"},
    };
    for (const auto& c : cases) {
        const QString url = CddbCommandUrl(c.Server, c.Script, "cddb read rock 1401bb03", hello).toString(QUrl::FullyEncoded);
        EXPECT_TRUE(url.startsWith(c.Prefix)) << url.toStdString();
        EXPECT_TRUE(url.endsWith("?cmd=cddb+read+rock+1401bb03&hello=me+host.example+CD%20Conv+v1.0%26x&proto=6"))
            << url.toStdString();
    }
    QString client, version;
    SplitCddbClient("program 1.0", client, version);
    EXPECT_EQ(client, "program");
    EXPECT_EQ(version, "1.0");
    const TCddbHello none = CddbHelloFromEmail("", "c", "1");
    EXPECT_EQ(none.User, "anonymous");
    EXPECT_EQ(none.Host, "localhost");
}

TEST(CddbReplies, QueryCodesAndMatchLists)
{
    const struct {
        const char* Text;
        int Code;
        bool Ok;
        int Matches;
    } cases[] = {
        {"200 rock 1401bb03 Artist / Album\r\n", 200, true, 1},
        {"211 close matches found\r\nrock 1401bb03 A / B\r\nmisc 1401bb04 C / D\r\n.\r\njazz 1 x\r\n", 211, true, 2},
        {"210 exact matches\nrock 1401bb03 A / B\n.\n", 210, true, 1},
        {"202 No match found\r\n", 202, true, 0},
        {"403 Database entry is corrupt\r\n", 403, false, 0},
        {"500 Command syntax error\r\n", 500, false, 0},
        {"<html>hello</html>", -1, false, 0},
        {"", -1, false, 0},
    };
    for (const auto& c : cases) {
        const TCddbQueryReply r = ParseCddbQueryReply(c.Text);
        EXPECT_EQ(r.Code, c.Code) << c.Text;
        EXPECT_EQ(r.Ok(), c.Ok) << c.Text;
        EXPECT_EQ(r.Matches.size(), c.Matches) << c.Text;
    }
    const TCddbQueryReply two = ParseCddbQueryReply(cases[1].Text);
    EXPECT_EQ(two.Matches[1].Category, "misc");
    EXPECT_EQ(two.Matches[1].DiscId, "1401bb04");
    EXPECT_EQ(two.Matches[1].Title, "C / D");

    QString entry, reason;
    EXPECT_TRUE(CddbReadReplyEntry("210 rock 1 follows\r\nDTITLE=a\r\n.\r\nTTITLE0=after\r\n", entry, reason));
    EXPECT_EQ(entry, "DTITLE=a");
    EXPECT_TRUE(CddbReadReplyEntry("210 rock 1 follows\nDTITLE=a\nTTITLE0=t", entry, reason));   // no "."
    EXPECT_EQ(ParseCddbEntry(entry).Titles.value(0), "t");
    EXPECT_FALSE(CddbReadReplyEntry("401 rock 1 No such CD entry in database\r\n", entry, reason));
    EXPECT_TRUE(reason.contains("401 rock 1 No such CD entry")) << reason.toStdString();
}

// What a server sends back into the read command or the disc information: a match with a
// category or disc id that is not one word or eight hex digits is dropped; fields lose NULs
// and control characters and are cut to length.
TEST(CddbReplies, HostileMatchesAndFieldsDoNotGetThrough)
{
    for (const char* line : {"200 ../rock 1401bb03 A / B", "200 rock 1401bb03x A", "200 rock 1401bb0 A",
                             "211 x\nrock\t1401bb03 A\nrock/x 1401bb03 A\n."}) {
        EXPECT_TRUE(ParseCddbQueryReply(line).Matches.isEmpty()) << line;
    }
    const QString nul(QChar(0));
    const TCddbEntry e = ParseCddbEntry("DTITLE=Ar" + nul + "tist / " + QString(600, 'a') + "\nDYEAR=19\x1b" "99\nTTITLE0="
                                        + QString(2000, 't') + "\nDGENRE=" + QString(300, 'g'));
    EXPECT_EQ(e.Artist, "Ar tist");
    EXPECT_EQ(e.Album.size(), 255);
    EXPECT_EQ(e.Year, "19 99");
    EXPECT_EQ(e.Genre.size(), 255);
    EXPECT_EQ(e.Titles.value(0).size(), 513);
}

TEST(CddbReplies, DecodedAsUtf8ElseGbkElseLatin1)
{
    const QString chinese = QStringLiteral("周杰伦 / 范特西");
    EXPECT_EQ(DecodeCddbReply(chinese.toUtf8()), chinese);
    QStringEncoder gbk("GBK");
    const QByteArray gbkBytes = gbk.encode(chinese);
    EXPECT_EQ(DecodeCddbReply(gbkBytes), chinese);
    EXPECT_EQ(DecodeCddbReply(QByteArray("caf\xe9\xff", 5)), QString::fromLatin1("caf\xe9\xff"));
}

TEST(CddbEntry, KeysJoinedEscapesDecodedTitlesByNumber)
{
    const QString text = QStringLiteral(
        "# xmcd\r\n# Disc length: 445 seconds\r\n# Generated: by hand\r\n"
        "DISCID=1401bb03\r\n"
        "DTITLE=Some Artist / A Very Long Album Ti\r\n"
        "DTITLE=tle\r\n"
        "DYEAR=1999\r\nDGENRE=Rock\r\n"
        "TTITLE0=One\\nTwo\\tThree \\\\ four\r\n"
        "TTITLE2=Guest / Song\r\n"
        "EXTD=line one\\n\r\nEXTD=line two\r\n"
        "EXTT0=about one\r\n"
        "TTITLE7x=not a title\r\n"
        "[x]\r\nPLAYORDER=\r\n");
    const TCddbEntry e = ParseCddbEntry(text);
    EXPECT_EQ(e.Artist, "Some Artist");
    EXPECT_EQ(e.Album, "A Very Long Album Title");
    EXPECT_EQ(e.Year, "1999");
    EXPECT_EQ(e.Genre, "Rock");
    EXPECT_EQ(e.Titles.value(0), "One Two Three \\ four");
    EXPECT_FALSE(e.Titles.contains(1));
    EXPECT_EQ(e.Titles.value(2), "Guest / Song");
    EXPECT_EQ(e.TitleCount(), 3);
    EXPECT_EQ(e.DiscExtra, "line one\nline two");
    EXPECT_EQ(e.Extras.value(0), "about one");
    EXPECT_EQ(e.DiscLength, "445 seconds");
    EXPECT_EQ(e.Generated, "by hand");

    // DTITLE forms.
    const struct {
        const char* Line;
        const char* Artist;
        const char* Album;
    } titles[] = {
        {"DTITLE=AC/DC / Back in Black", "AC/DC", "Back in Black"},
        {"DTITLE=Artist/Album", "Artist", "Album"},
        {"DTITLE=Just An Album", "", "Just An Album"},
        {"DTITLE=", "", ""},
    };
    for (const auto& t : titles) {
        const TCddbEntry d = ParseCddbEntry(t.Line);
        EXPECT_EQ(d.Artist, t.Artist) << t.Line;
        EXPECT_EQ(d.Album, t.Album) << t.Line;
    }
}

TEST(CddbEntry, AppliedToRowsAndCacheWithoutInjection)
{
    const TCddbEntry e = ParseCddbEntry(QStringLiteral(
        "DTITLE=A / B\nDGENRE=Rock\nDGENRE2=ignored\nTTITLE0=a\\n[x]\\nArtist=pwned\nTTITLE1=Guest / Song\n"
        "TTITLE5=beyond the rows\n[y]\nArtist=pwned too\n"));
    // Fewer rows than titles: the extra title is dropped; more rows: they keep their titles.
    for (int rows : {2, 4}) {
        TCDInfo info;
        info.Comment = "kept";
        QStringList titles;
        for (int i = 0; i < rows; ++i)
            titles << QStringLiteral("old %1").arg(i);
        ApplyCddbEntry(e, info, titles, false);
        EXPECT_EQ(titles[0], "a [x] Artist=pwned");
        EXPECT_EQ(titles[1], "Guest / Song");
        if (rows == 4) {
            EXPECT_EQ(titles[3], "old 3");
        }
        EXPECT_EQ(info.Artist, "A");
        EXPECT_EQ(info.Genre, GenreIndexOf("Rock"));
        EXPECT_EQ(info.Comment, "kept");
    }
    QStringList split{"x", "y"};
    TCDInfo info;
    ApplyCddbEntry(e, info, split, true);
    EXPECT_EQ(split[1], "Song");
    const TCDDBAlbum album = CddbAlbumOf(e);
    EXPECT_EQ(album.TrackCount, 6);
    EXPECT_EQ(album.TrackArtists[0], "A");
    EXPECT_EQ(album.TrackArtists[1], "Guest");
    EXPECT_EQ(album.TrackTitles[4], "");

    // What the cache stores of it: one section, whatever the titles held.
    OptionsSetting.CDInfo = TCDInfo();
    OptionsSetting.CDInfo.Titles[1] = split.value(0);   // the title the entry's TTITLE0 gave
    OptionsSetting.CDInfo.TrackNumber = 1;
    OptionsSetting.CDInfo.Artist = info.Artist;
    QFile::remove(CDInfoFileName());
    ASSERT_TRUE(SaveCDInfo("12345"));
    const QList<QByteArray> lines = ReadAll(CDInfoFileName()).split('\n');
    int sections = 0;
    for (const QByteArray& l : lines)
        if (l.trimmed().startsWith('['))
            ++sections;
    EXPECT_EQ(sections, 1);
    QFile::remove(CDInfoFileName());
}

} // namespace
