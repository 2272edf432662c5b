// Output paths from file-name patterns.
#include "fixtures/TestUtil.h"
#include "metadata/id3.h"
#include "settings/FileNamePattern.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TFileNameTags Full()
{
    TFileNameTags t;
    t.Artist = "Artist";
    t.Album = "Album";
    t.Title = "Title";
    t.Year = "1999";
    t.Genre = "Rock";
    t.TrackNumber = 3;
    return t;
}

QString One(const QString& pattern, const TFileNameTags& tags, const QString& ext = ".wav")
{
    QSet<QString> used;
    return PatternRelativePath(pattern, tags, ext, used);
}

} // namespace

TEST(FileNamePattern, TokensCleaningAndDefaults)
{
    struct Case {
        const char* pattern;
        const char* field;   // the tag changed ("" none)
        QString value;
        QString expected;
    };
    const Case cases[] = {
        {"%A/%D/%N %T", "", "", "Artist/Album/03 Title.mp3"},
        {"%Y - %G %% %Q%", "", "", "1999 - Rock % %Q%.mp3"},
        {"%A/%T", "A", "", "Unknown Artist/Title.mp3"},
        {"%D/%T", "D", " . ", "Unknown Album/Title.mp3"},
        {"%N %T", "T", "", "03 Track 03.mp3"},
        {"%A/%T", "A", "AC/DC", "ACDC/Title.mp3"},
        {"%T", "T", "a:b?c", "abc.mp3"},
        {"%T", "T", "x\"*<>|\\\t\x01\x7fy", "xy.mp3"},
        {"%T", "T", ".hidden", "hidden.mp3"},
        {"%T", "T", "..", "Track 03.mp3"},
        {"%T", "T", "Title. ", "Title.mp3"},
        {"../%T", "", "", "Title.mp3"},
        {"/%A//%Y/./%T", "Y", "", "Artist/Title.mp3"},
        {"%Y", "Y", "", "Track 03.mp3"},
        {"a:b/%T", "", "", "ab/Title.mp3"},
        {"", "", "", "Title.mp3"},   // no pattern: the default name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " " + c.field);
        TFileNameTags t = Full();
        t.DefaultName = "Title";
        const QString f = c.field;
        if (f == "A") t.Artist = c.value;
        if (f == "D") t.Album = c.value;
        if (f == "T") t.Title = c.value;
        if (f == "Y") t.Year = c.value;
        EXPECT_EQ(One(c.pattern, t, ".mp3"), c.expected);
    }
    EXPECT_EQ(PatternExample("%A/%D/%N %T", ".mp3"), "Artist/Album/01 Title.mp3");
}

// Every part at most 255 bytes of UTF-8, cut between characters, the extension kept.
TEST(FileNamePattern, LongPartsAreCutAtCharacterBoundaries)
{
    struct Case {
        QString unit;
        int unitBytes;
    };
    for (const Case& c : {Case{"a", 1}, Case{QString::fromUtf8("音"), 3}, Case{QString::fromUtf8("🎵"), 4}}) {
        SCOPED_TRACE(c.unit.toStdString());
        TFileNameTags t = Full();
        t.Title = c.unit.repeated(300);
        t.Album = t.Title;
        const QString path = One("%D/%T", t, ".flac");
        const QStringList parts = path.split('/');
        ASSERT_EQ(parts.size(), 2);
        EXPECT_EQ(QString::fromUtf8(path.toUtf8()), path);   // no half characters
        EXPECT_EQ(parts[0].toUtf8().size(), 255 / c.unitBytes * c.unitBytes);
        EXPECT_TRUE(parts[1].endsWith(".flac"));
        EXPECT_EQ(parts[1].toUtf8().size(), 250 / c.unitBytes * c.unitBytes + 5);
    }
}

TEST(FileNamePattern, CollisionsWithinAJob)
{
    // With a pattern: " (2)", " (3)" before the extension, case-insensitively, within 255 bytes.
    QSet<QString> used;
    TFileNameTags t = Full();
    TFileNameTags upper = t;
    upper.Title = "TITLE";
    EXPECT_EQ(PatternRelativePath("%A/%T", t, ".ogg", used), "Artist/Title.ogg");
    EXPECT_EQ(PatternRelativePath("%A/%T", upper, ".ogg", used), "Artist/TITLE (2).ogg");
    EXPECT_EQ(PatternRelativePath("%A/%T", t, ".ogg", used), "Artist/Title (3).ogg");
    t.Title = QString(300, 'x');
    PatternRelativePath("%T", t, ".ogg", used);
    const QString second = PatternRelativePath("%T", t, ".ogg", used);
    EXPECT_TRUE(second.endsWith("x (2).ogg"));
    EXPECT_EQ(second.toUtf8().size(), 255);

    // Without one: a taken or empty default name gives way to the fallback, as ever; with
    // no fallback the name stays.
    used.clear();
    const struct {
        const char* name;
        const char* fallback;
        const char* expected;
    } plain[] = {{"x", "01x", "x.wav"}, {"X", "02X", "02X.wav"}, {"", "03", "03.wav"}, {"x", "", "x.wav"}};
    for (const auto& p : plain) {
        TFileNameTags d;
        d.DefaultName = p.name;
        d.Fallback = p.fallback;
        EXPECT_EQ(PatternRelativePath("", d, ".wav", used), p.expected) << p.fallback;
    }
}

TEST(FileNamePattern, FoldersAreMadeInsideTheOutputFolderOnly)
{
    QTemporaryDir dir;
    const QString out = dir.path() + '/';
    ASSERT_TRUE(QDir(out).mkpath("Existing/Album"));
    ASSERT_TRUE(WriteAll(out + "plain", "x"));
    const struct {
        QString folder;
        QString relative;
        bool ok;
    } cases[] = {
        {out, "Existing/Album/01.wav", true},
        {out, "New/Album/01.wav", true},
        {out, "01.wav", true},
        {out, "plain/Album/01.wav", false},   // a file where a folder belongs
        {out, "../escaped/01.wav", false},
        {out, "a//01.wav", false},
        {out, "/01.wav", false},
        {out + "missing/", "A/01.wav", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.relative.toStdString());
        QString why;
        EXPECT_EQ(MakeOutputFolders(c.folder, c.relative, &why), c.ok);
        EXPECT_EQ(why.isEmpty(), c.ok);
        if (c.ok) {
            EXPECT_TRUE(QFileInfo(OutputFilePath(c.folder, c.relative)).dir().exists());
        }
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("escaped")));
    EXPECT_FALSE(QFileInfo::exists(out + "missing"));
    EXPECT_TRUE(IsSafeRelativePath(""));
}

TEST(FileNamePattern, SourceFileTags)
{
    QTemporaryDir dir;
    const QString mp3 = dir.filePath("song.mp3");
    ASSERT_TRUE(WriteAll(mp3, QByteArray(512, '\0')));
    Tid3tag tag;
    tag.SetTitle("Tagged");
    tag.SetArtist("Band");
    tag.SetAlbum("Record");
    tag.SetTrack(7);
    ASSERT_FALSE(Tid3tag::Failed(tag.WriteTag(mp3)));
    EXPECT_EQ(One("%A/%D/%N %T", SourceFileTags(mp3, 2)), "Band/Record/07 Tagged.wav");

    // No tag: the base name, the position in the list.
    const QString wav = dir.filePath("take.one.wav");
    ASSERT_TRUE(WriteAll(wav, "RIFF"));
    EXPECT_EQ(One("%A/%N %T", SourceFileTags(wav, 2), ".mp3"), "Unknown Artist/02 take.one.mp3");
    EXPECT_EQ(One("", SourceFileTags(wav, 2), ".mp3"), "take.one.mp3");
}
