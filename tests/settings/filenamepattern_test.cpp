// Output paths from file-name patterns.
#include "cd/RipAudit.h"
#include "encode/FlacRip.h"
#include "encode/JobEntry.h"
#include "fixtures/TestUtil.h"
#include "metadata/id3.h"
#include "settings/CDInfo.h"
#include "settings/FileNamePattern.h"
#include "metadata/SourceTags.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TFileNameTags Tags(const QString& title = "Title", const QString& artist = "Artist", const QString& album = "Album",
                   const QString& year = "1999")
{
    return TFileNameTags{artist, album, title, year, "Rock", 3, "Title", {}, {}, 0, {}};
}

QString One(const QString& pattern, const TFileNameTags& tags, const QString& ext = ".mp3")
{
    QSet<QString> used;
    return PatternRelativePath(pattern, tags, ext, used);
}

} // namespace

TEST(FileNamePattern, TokensCleaningAndDefaults)
{
    const struct {
        const char* pattern;
        TFileNameTags tags;
        QString expected;
    } cases[] = {
        {"%A/%D/%N %T", Tags(), "Artist/Album/03 Title.mp3"},
        {"%Y - %G %% %Q%", Tags(), "1999 - Rock % %Q%.mp3"},
        {"%A/%D/%T", Tags("", "", " . "), "Unknown Artist/Unknown Album/Track 03.mp3"},
        {"%A/%T", Tags("a:b?c", "AC/DC"), "ACDC/abc.mp3"},
        {"%T", Tags("x\"*<>|\\\t\x01\x7fy"), "xy.mp3"},
        {"%T", Tags(".hidden"), "hidden.mp3"},
        {"%T", Tags(".."), "Track 03.mp3"},
        {"%T", Tags("Title. "), "Title.mp3"},
        {"../%T", Tags(), "Title.mp3"},
        {"/%A//%Y/./%T", Tags("Title", "Artist", "Album", ""), "Artist/Title.mp3"},
        {"%Y", Tags("Title", "Artist", "Album", ""), "Track 03.mp3"},
        {"a:b/%T", Tags(), "ab/Title.mp3"},
        {"", Tags("x"), "Title.mp3"},   // no pattern: the default name
        {"%B/%n-%N", Tags(), "Artist/-03.mp3"},   // no album artist, no disc number
        {"%B/%n-%N", TFileNameTags{"A", "D", "T", "", "", 3, "T", {}, "Various: Artists", 2, {}}, "Various Artists/2-03.mp3"},
        {"%F/%N %T", TFileNameTags{"A", "D", "T", "", "", 3, "T", {}, "", 0, "flac"}, "flac/03 T.mp3"},
    };
    for (const auto& c : cases) EXPECT_EQ(One(c.pattern, c.tags), c.expected) << c.pattern;
    EXPECT_EQ(PatternExample("%A/%D/%N %T", ".mp3"), QStringLiteral("艺术家/专辑/01 标题.mp3"));
    EXPECT_EQ(PatternExample("%F/%T", ".ogg"), QStringLiteral("ogg/标题.ogg"));
}

// Whatever a stored title holds, every name a job makes follows one rule (the track files
// with and without a pattern, the whole-disc FLAC file, the rip log, converted files), while
// the entry keeps the title as stored for the tags.
TEST(FileNamePattern, EveryNameOfAJobFollowsOneRule)
{
    const QString tone = QString::fromUtf8("音").repeated(100);   // 300 bytes
    const struct {
        QString title, plain, numbered;   // names without a pattern and with "%N %T"
    } cases[] = {
        {"One", "One.wav", "03 One.wav"},
        {"AC/DC", "ACDC.wav", "03 ACDC.wav"},
        {QString(300, 'x'), QString(251, 'x') + ".wav", "03 " + QString(248, 'x') + ".wav"},
        {tone, tone.left(83) + ".wav", "03 " + tone.left(82) + ".wav"},
        {"..", "03.wav", "03 Track 03.wav"},
        {QString("a") + QChar(0) + "b\tc\x7f", "abc.wav", "03 abc.wav"},
        {". .hidden. ", "hidden.wav", "03 hidden.wav"},
        {"Seven \"Why\"", "Seven \"Why\".wav", "03 Seven Why.wav"},   // a plain name keeps the quote
    };
    const TCDInfo disc;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        const QString entry = RipEntryText(3, c.title);
        EXPECT_EQ(ParseRipEntry(entry).Title, c.title);
        EXPECT_EQ(One("", RipEntryTags(entry, disc), ".wav"), c.plain);
        EXPECT_EQ(One("%N %T", RipEntryTags(entry, disc), ".wav"), c.numbered);
    }

    TCDInfo acdc;
    acdc.Artist = "AC/DC";
    acdc.Album = "Live ";
    EXPECT_EQ(FlacDiscFileName(acdc), "ACDC - Live.flac");
    EXPECT_EQ(RipLogFileName(acdc.Artist, acdc.Album), "ACDC - Live.log");
    EXPECT_EQ(RipLogFileName(QString(300, 'x'), ".."), QString(251, 'x') + ".log");
    // A converted file: its own name cut to make room for a longer extension, never hidden.
    EXPECT_EQ(One("", SourceFileTags("/in/" + QString(251, 'y') + ".wav", 1), ".flac"), QString(250, 'y') + ".flac");
    EXPECT_EQ(One("", SourceFileTags("/in/..take.wav", 1), ".ogg"), "take.ogg");
    EXPECT_EQ(One("", SourceFileTags("/in/....wav", 4), ".ogg"), "Track 04.ogg");
}

// Every part at most 255 bytes of UTF-8, cut between characters, the extension kept.
TEST(FileNamePattern, LongPartsAreCutAtCharacterBoundaries)
{
    for (const auto& [unit, bytes] : {std::pair{QString("a"), 1}, {QString::fromUtf8("音"), 3}, {QString::fromUtf8("🎵"), 4}}) {
        const QString path = One("%D/%T", Tags(unit.repeated(300), "A", unit.repeated(300)), ".flac");
        const QStringList parts = path.split('/');
        ASSERT_EQ(parts.size(), 2);
        EXPECT_EQ(QString::fromUtf8(path.toUtf8()), path);   // no half characters
        EXPECT_EQ(parts[0].toUtf8().size(), 255 / bytes * bytes);
        EXPECT_EQ(parts[1].toUtf8().size(), 250 / bytes * bytes + 5);
        EXPECT_TRUE(parts[1].endsWith(".flac"));
    }
}

TEST(FileNamePattern, CollisionsWithinAJob)
{
    // With a pattern: " (2)", " (3)" before the extension, case-insensitively, within 255 bytes.
    QSet<QString> used;
    for (const auto& [title, expected] :
         {std::pair{"Title", "Artist/Title.ogg"}, {"TITLE", "Artist/TITLE (2).ogg"}, {"Title", "Artist/Title (3).ogg"}})
        EXPECT_EQ(PatternRelativePath("%A/%T", Tags(title), ".ogg", used), expected);
    PatternRelativePath("%T", Tags(QString(300, 'x')), ".ogg", used);
    const QString second = PatternRelativePath("%T", Tags(QString(300, 'x')), ".ogg", used);
    EXPECT_TRUE(second.endsWith("x (2).ogg") && second.toUtf8().size() == 255) << second.toStdString();

    // Without one: a taken or empty default name gives way to the fallback; no fallback, no change.
    used.clear();
    for (const auto& [name, fallback, expected] : {std::tuple{"x", "01x", "x.wav"}, {"X", "02X", "02X.wav"},
                                                   {"", "03", "03.wav"}, {"x", "", "x.wav"}})
        EXPECT_EQ(PatternRelativePath("", TFileNameTags{{}, {}, {}, {}, {}, 0, name, fallback, {}, 0, {}}, ".wav", used), expected);
}

TEST(FileNamePattern, FoldersAreMadeInsideTheOutputFolderOnly)
{
    QTemporaryDir dir;
    const QString out = dir.path() + '/';
    ASSERT_TRUE(QDir(out).mkpath("Existing/Album"));
    ASSERT_TRUE(WriteAll(out + "plain", "x"));
    const struct {
        QString folder, relative;
        bool ok;
    } cases[] = {
        {out, "Existing/Album/01.wav", true}, {out, "New/Album/01.wav", true}, {out, "01.wav", true},
        {out, "plain/Album/01.wav", false},   // a file where a folder belongs
        {out, "../escaped/01.wav", false},    {out, "a//01.wav", false},      {out, "/01.wav", false},
        {out + "missing/", "A/01.wav", false},
    };
    for (const auto& c : cases) {
        QString why;
        EXPECT_EQ(MakeOutputFolders(c.folder, c.relative, &why), c.ok) << c.relative.toStdString();
        EXPECT_EQ(why.isEmpty(), c.ok);
        if (c.ok) {
            EXPECT_TRUE(QFileInfo(OutputFilePath(c.folder, c.relative)).dir().exists());
        }
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("escaped")) || QFileInfo::exists(out + "missing"));
}

TEST(FileNamePattern, SourceFileTags)
{
    QTemporaryDir dir;
    const QString mp3 = dir.filePath("song.mp3"), wav = dir.filePath("take.one.wav");
    ASSERT_TRUE(WriteAll(mp3, QByteArray(512, '\0')) && WriteAll(wav, "RIFF"));
    Tid3tag tag;
    tag.SetTitle("Tagged");
    tag.SetArtist("Band");
    tag.SetAlbum("Record");
    tag.SetTrack(7);
    ASSERT_FALSE(Tid3tag::Failed(tag.WriteTag(mp3)));
    EXPECT_EQ(One("%A/%D/%N %T", SourceFileTags(mp3, 2)), "Band/Record/07 Tagged.mp3");
    // No tag: the base name, the position in the list.
    EXPECT_EQ(One("%A/%N %T", SourceFileTags(wav, 2)), "Unknown Artist/02 take.one.mp3");
    EXPECT_EQ(One("", SourceFileTags(wav, 2)), "take.one.mp3");
}
