// The ID3v1 tag: the file layout's edge cases, the text rules, peers (id3v2, mutagen),
// the command line and two threads tagging two files.
#include "metadata/id3.h"
#include "fixtures/TestUtil.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

namespace {

struct TRun {
    int code;
    QString out;
};

TRun RunTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return {-1, {}};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
}

QByteArray Bytes(int n, char c = 'x')
{
    return QByteArray(n, c);
}

// A 128-byte tag block with the given fields as raw bytes.
QByteArray RawTag(const QByteArray& title, const QByteArray& comment30, uint8_t genre)
{
    QByteArray tag = "TAG" + title.leftJustified(30, '\0', true) + Bytes(30, '\0') + Bytes(30, '\0')
                     + QByteArray("1999") + comment30.leftJustified(30, '\0', true);
    tag.append(char(genre));
    return tag;
}

class Id3Test : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Make(const QString& name, const QByteArray& content)
    {
        EXPECT_TRUE(WriteAll(Path(name), content));
        return Path(name);
    }
};

TEST_F(Id3Test, FileLayoutEdgeCases)
{
    Tid3tag tag;
    // "=" before any successful read or write names no file.
    EXPECT_EQ(tag.WriteTag("="), Tid3tag::StatusCannotOpen);
    EXPECT_EQ(tag.ReadTag(Path("missing.mp3")), Tid3tag::StatusCannotOpen);

    // Short file: no tag; writing appends once, writing again replaces.
    const QString small = Make("small.mp3", Bytes(100));
    EXPECT_EQ(tag.ReadTag(small), Tid3tag::StatusNoTag);
    tag.SetTitle("Song");
    EXPECT_EQ(tag.WriteTag("="), Tid3tag::StatusOk);
    EXPECT_EQ(QFileInfo(small).size(), 228);
    tag.SetTitle("Other");
    EXPECT_EQ(tag.WriteTag(small), Tid3tag::StatusOk);
    EXPECT_EQ(QFileInfo(small).size(), 228);
    EXPECT_EQ(ReadAll(small).left(100), Bytes(100));

    // A 30-character comment with a track keeps 28 characters, a zero byte and the track.
    tag.SetComment("123456789012345678901234567890");
    tag.SetTrack(5);
    ASSERT_EQ(tag.WriteTag(small), Tid3tag::StatusOk);
    const QByteArray block = ReadAll(small).right(128);
    EXPECT_EQ(block.mid(97, 30), QByteArray("1234567890123456789012345678") + '\0' + '\5');
    EXPECT_EQ(block.mid(3, 30), QByteArray("Other").leftJustified(30, '\0'));
    Tid3tag back;
    EXPECT_EQ(back.ReadTag(small), Tid3tag::StatusOk);
    EXPECT_EQ(back.Comment(), "1234567890123456789012345678");
    EXPECT_EQ(back.Track(), 5);
    EXPECT_TRUE(back.HasTrack());
    EXPECT_EQ(back.Title(), "Other");
    EXPECT_EQ(back.Genre(), 255);
    // A file without a tag leaves the fields as they were.
    EXPECT_EQ(back.ReadTag(Make("plain.mp3", Bytes(1000))), Tid3tag::StatusNoTag);
    EXPECT_EQ(back.Title(), "Other");

    struct Case {
        QByteArray title, comment;
        uint8_t genre;
        uint16_t status;
        QString wantTitle, wantComment;
        int track;
    };
    const Case cases[] = {
        {"Song    \0\0 \xFF", "ab", 255, 0, "Song", "ab", 0},
        {Bytes(30, ' '), "", 0, 0, "", "", 0},
        {"A\0garbage", "", 147, 0, "A", "", 0},
        {"G", "", 200, Tid3tag::StatusUnknownGenre, "G", "", 0},
        // Non-zero at offset 125: a 30-byte comment, no track, whatever offset 126 holds.
        {"C", "123456789012345678901234567\x01\x07" "9", 1, 0, "C", "123456789012345678901234567\x01\x07" "9", 0},
        {"T", QByteArray("note") + Bytes(24, '\0') + '\0' + '\x09', 1, 0, "T", "note", 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        const QString f = Make("case.mp3", Bytes(500) + RawTag(c.title, c.comment, c.genre));
        Tid3tag t;
        EXPECT_EQ(t.ReadTag(f), c.status);
        EXPECT_EQ(t.Title(), c.wantTitle);
        EXPECT_EQ(t.Comment(), c.wantComment);
        EXPECT_EQ(t.Track(), c.track);
        EXPECT_EQ(t.HasTrack(), c.track != 0);
        EXPECT_EQ(t.Genre(), c.genre);
        EXPECT_EQ(t.Year(), "1999");
    }
}

TEST_F(Id3Test, ReadOnlyFilesAreLeftUntouched)
{
    const QByteArray content = Bytes(300) + RawTag("Old", "", 1);
    const QString f = Make("ro.mp3", content);
    QFile::setPermissions(f, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    Tid3tag tag;
    EXPECT_EQ(tag.ReadTag(f), Tid3tag::StatusOk);
    EXPECT_TRUE(tag.ReadOnly());
    tag.SetTitle("New");
    EXPECT_EQ(tag.WriteTag(f), Tid3tag::StatusReadOnly);
    EXPECT_EQ(tag.RemoveTag(), 0);
    EXPECT_EQ(ReadAll(f), content);
    const TRun cli = RunTool(VARNELCD_CLI, {"id3", f, "--remove"});
    EXPECT_EQ(cli.code, 1);
    EXPECT_TRUE(cli.out.contains("read-only")) << cli.out.toStdString();
    EXPECT_EQ(ReadAll(f), content);

    QFile::setPermissions(f, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(tag.ReadTag(f), Tid3tag::StatusOk);
    EXPECT_FALSE(tag.ReadOnly());
    EXPECT_EQ(tag.RemoveTag(), 0);
    EXPECT_EQ(ReadAll(f), Bytes(300));
    EXPECT_EQ(tag.RemoveTag(), 0);      // no tag left: nothing more is cut
    EXPECT_EQ(ReadAll(f), Bytes(300));
}

TEST(Id3Text, EncodingsAndCutting)
{
    struct Case {
        QString text;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"Song", "Song"},
        {QStringLiteral("歌曲"), "\xB8\xE8\xC7\xFA"},                 // GBK
        {QStringLiteral("Müßig"), "M\xFC\xDFig"},                     // ß has no GBK form
        {QStringLiteral("Ωß"), "\xCE\xA9\xC3\x9F"},                   // neither: UTF-8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Tid3tag::EncodeField(c.text), c.bytes) << c.text.toStdString();
        EXPECT_EQ(Tid3tag::DecodeField(c.bytes), c.text) << c.text.toStdString();
    }
    EXPECT_EQ(Tid3tag::DecodeField("Caf\xE9"), QStringLiteral("Café"));

    // Cutting to the width never splits a character, in any of the three forms.
    const QString texts[] = {QString(16, QChar(0x6B4C)), QStringLiteral("ßΩ").repeated(10),
                             QString(40, QChar(0xE9)), QStringLiteral("a😀").repeated(9)};
    for (const QString& t : texts) {
        for (int width : {4, 29, 30}) {
            const QString cut = Tid3tag::FitText(t, width);
            EXPECT_TRUE(t.startsWith(cut));
            EXPECT_LE(Tid3tag::EncodeField(cut).size(), width);
            EXPECT_GE(Tid3tag::EncodeField(cut).size(), width - 3);
            EXPECT_EQ(Tid3tag::DecodeField(Tid3tag::EncodeField(cut)), cut);
        }
    }
    Tid3tag tag;
    tag.SetTitle(QString(16, QChar(0x6B4C)));
    EXPECT_EQ(tag.Title(), QString(15, QChar(0x6B4C)));
    tag.SetYear("19999");
    EXPECT_EQ(tag.Year(), "1999");
}

TEST_F(Id3Test, PeersReadOurTagsAndWeReadTheirs)
{
    const QString f = Make("peer.mp3", Bytes(2000, '\0'));
    Tid3tag tag;
    tag.SetTitle(QStringLiteral("Grüße"));
    tag.SetArtist("The Artist");
    tag.SetAlbum("An Album");
    tag.SetYear("2004");
    tag.SetComment("A comment");
    tag.SetTrack(12);
    tag.SetGenre(17);
    ASSERT_EQ(tag.WriteTag(f), Tid3tag::StatusOk);

    const TRun id3v2 = RunTool("id3v2", {"-l", f});
    ASSERT_EQ(id3v2.code, 0) << id3v2.out.toStdString();
    for (const char* want : {"The Artist", "An Album", "2004", "A comment", "Track: 12", "Rock (17)"})
        EXPECT_TRUE(id3v2.out.contains(QLatin1String(want))) << want << "\n" << id3v2.out.toStdString();

    const TRun mutagen = RunTool("/usr/bin/python3", {"-c",
        "import sys, mutagen.id3 as m\n"
        "t = m.ParseID3v1(open(sys.argv[1], 'rb').read()[-128:])\n"
        "for k in ('TIT2', 'TPE1', 'TALB', 'TDRC', 'COMM', 'TRCK', 'TCON'):\n"
        "    sys.stdout.buffer.write((k + '=' + str(t[k].text[0]) + '\\n').encode('utf-8'))\n", f});
    ASSERT_EQ(mutagen.code, 0) << mutagen.out.toStdString();
    EXPECT_EQ(mutagen.out, QStringLiteral("TIT2=Grüße\nTPE1=The Artist\nTALB=An Album\nTDRC=2004\n"
                                          "COMM=A comment\nTRCK=12\nTCON=17\n"));

    const QString theirs = Make("theirs.mp3", Bytes(2000, '\0'));
    ASSERT_EQ(RunTool("id3v2", {"-1", "-t", "Their Title", "-a", "Their Artist", "-A", "Their Album",
                            "-y", "1987", "-c", "Their comment", "-T", "3", "-g", "8", theirs}).code, 0);
    Tid3tag read;
    ASSERT_EQ(read.ReadTag(theirs), Tid3tag::StatusOk);
    EXPECT_EQ(read.Title(), "Their Title");
    EXPECT_EQ(read.Artist(), "Their Artist");
    EXPECT_EQ(read.Album(), "Their Album");
    EXPECT_EQ(read.Year(), "1987");
    EXPECT_EQ(read.Comment(), "Their comment");
    EXPECT_EQ(read.Track(), 3);
    EXPECT_EQ(read.Genre(), 8);
}

TEST_F(Id3Test, CommandLineShowsWritesAndRemoves)
{
    const QString f = Make("cli.mp3", Bytes(500));
    EXPECT_EQ(RunTool(VARNELCD_CLI, {"id3", f}).out, "no tag\n");
    TRun w = RunTool(VARNELCD_CLI, {"id3", f, "--title", QStringLiteral("歌 Song"), "--artist", "A",
                                "--track", "4", "--genre", "blues"});
    ASSERT_EQ(w.code, 0) << w.out.toStdString();
    ASSERT_EQ(RunTool(VARNELCD_CLI, {"id3", f, "--year", "2020", "--genre", "200"}).code, 0);
    EXPECT_EQ(RunTool(VARNELCD_CLI, {"id3", f}).out,
              QStringLiteral("Title: 歌 Song\nArtist: A\nAlbum: \nYear: 2020\nComment: \nTrack: 4\n"
                             "Genre: 200 (unknown)\n"));
    EXPECT_EQ(RunTool(VARNELCD_CLI, {"id3", f, "--genre", "No Such Genre"}).code, 2);
    EXPECT_EQ(RunTool(VARNELCD_CLI, {"id3", f, "--track", "300"}).code, 2);
    EXPECT_EQ(RunTool(VARNELCD_CLI, {"id3", f, "--remove"}).code, 0);
    EXPECT_EQ(ReadAll(f), Bytes(500));
    const TRun missing = RunTool(VARNELCD_CLI, {"id3", Path("none.mp3")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(missing.out.contains("cannot be opened")) << missing.out.toStdString();
}

TEST_F(Id3Test, TwoThreadsTagTwoFiles)
{
    const QString a = Make("a.mp3", Bytes(1000, 'a'));
    const QString b = Make("b.mp3", Bytes(1000, 'b'));
    bool okA = true, okB = true;
    auto work = [](const QString& file, const QString& title, bool& ok) {
        for (int i = 0; i < 300; ++i) {
            Tid3tag tag;
            tag.SetTitle(title + QString::number(i));
            tag.SetTrack(uint8_t(i % 200 + 1));
            ok = ok && tag.WriteTag(file) == Tid3tag::StatusOk;
            Tid3tag check;
            ok = ok && check.ReadTag(file) == Tid3tag::StatusOk && check.Title() == title + QString::number(i)
                 && check.Track() == i % 200 + 1;
        }
    };
    std::thread ta(work, a, QStringLiteral("alpha "), std::ref(okA));
    std::thread tb(work, b, QStringLiteral("beta "), std::ref(okB));
    ta.join();
    tb.join();
    EXPECT_TRUE(okA);
    EXPECT_TRUE(okB);
    EXPECT_EQ(QFileInfo(a).size(), 1128);
    EXPECT_EQ(ReadAll(b).left(1000), Bytes(1000, 'b'));
}

} // namespace
