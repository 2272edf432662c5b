// The ID3 tag editor's controller: loading with and without a tag, what a save writes
// (genre, track, comment width), which file Save and Remove act on, the error boxes, and
// the peers id3v2 and mutagen reading what it saves and writing what it loads.
#include "metadata/ID3EditController.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestUtil.h"
#include "settings/CDInfo.h"
#include "settings/Options.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using TFields = TID3EditController::TFields;

const QByteArray Audio(1000, '\x55');   // stands in for MP3 frames: the tag does not look inside

QString RunTool(const QString& program, const QStringList& args, int* code = nullptr)
{
    QProcess p;
    p.start(program, args);
    const bool done = p.waitForFinished(60000);
    if (code)
        *code = done && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

class ID3EditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        OptionsSetting.Lan = QStringLiteral("English");
    }
    QString Make(const QString& name, const QByteArray& content = Audio)
    {
        EXPECT_TRUE(WriteAll(Dir.filePath(name), content));
        return Dir.filePath(name);
    }
    // A file with a tag written by the tag object itself.
    QString Tagged(const QString& name, const QString& title, uint8_t track, uint8_t genre)
    {
        const QString file = Make(name);
        Tid3tag tag;
        tag.SetTitle(title);
        tag.SetComment(QStringLiteral("note"));
        tag.SetTrack(track);
        tag.SetGenre(genre);
        EXPECT_EQ(tag.WriteTag(file), Tid3tag::StatusOk);
        return file;
    }
    static QByteArray Block(const QString& file) { return ReadAll(file).right(Tid3tag::TagSize); }

    QTemporaryDir Dir;
    TCannedPrompter Prompter;
    TID3EditController Editor{Prompter};
};

TEST_F(ID3EditorTest, LoadWithoutATagShowsEmptyFieldsAndSaveAppendsOne)
{
    EXPECT_EQ(Editor.Caption(), "ID3标签编辑");
    EXPECT_FALSE(Editor.CanSave());
    // A file with a tag first: none of it may reach the next file.
    Editor.Load(Tagged("tagged.mp3", "Old", 7, 17));
    EXPECT_EQ(Editor.Fields().Title, "Old");
    EXPECT_EQ(Editor.Fields().Track, "7");
    EXPECT_EQ(Editor.Fields().Genre, Id3ToGenre(17));

    Prompter.FileAnswers.push_back({Make("plain.mp3")});
    Editor.LoadTag();
    TFields expected;
    expected.Track = "0";
    EXPECT_EQ(Editor.Fields(), expected);
    EXPECT_EQ(Editor.Caption(), Dir.filePath("plain.mp3") + ": ID3标签编辑");
    EXPECT_TRUE(Editor.CanSave());

    TFields f = Editor.Fields();
    f.Title = "New";
    f.Track.clear();   // an empty track keeps the tag's own: a fresh tag has none
    Editor.SetFields(f);
    ASSERT_TRUE(Editor.SaveTag());
    EXPECT_EQ(QFileInfo(Dir.filePath("plain.mp3")).size(), Audio.size() + Tid3tag::TagSize);
    Tid3tag back;
    ASSERT_EQ(back.ReadTag(Dir.filePath("plain.mp3")), Tid3tag::StatusOk);
    EXPECT_EQ(back.Title(), "New");
    EXPECT_EQ(back.Comment(), "");
    EXPECT_EQ(back.Track(), 0);
    EXPECT_EQ(back.Genre(), Tid3tag::NoGenre);
    EXPECT_TRUE(Prompter.Log.size() == 1 && Prompter.Log[0].Kind == "open");
}

TEST_F(ID3EditorTest, SaveWritesGenreTrackAndComment)
{
    const QString comment30 = QStringLiteral("123456789012345678901234567890");
    const struct {
        int genre;              // pick-list position
        QString track;
        uint8_t loadedTrack;    // track of the tag loaded before
        uint8_t id3Genre;
        int width;              // bytes the comment edit holds
        QByteArray comment;     // the stored comment field, 30 bytes
    } cases[] = {
        {0, "0", 0, 255, 30, comment30.toLatin1()},     // empty entry; "0": a plain comment
        {-1, "0", 9, 255, 30, comment30.toLatin1()},    // no selection; "0" drops the loaded track
        {Id3ToGenre(17), "5", 0, 17, 28, comment30.left(28).toLatin1() + QByteArray("\0\5", 2)},
        {Id3ToGenre(0), "", 9, 0, 28, comment30.left(28).toLatin1() + QByteArray("\0\t", 2)},   // keeps 9
    };
    for (const auto& c : cases) {
        Editor.Load(Tagged("song.mp3", "x", c.loadedTrack, 1));
        TFields f = Editor.Fields();
        f.Genre = c.genre;
        f.Track = c.track;
        f.Comment = comment30;
        Editor.SetFields(f);
        EXPECT_EQ(Editor.FieldWidth(TID3EditController::TField::Comment), c.width) << c.genre;
        ASSERT_TRUE(Editor.SaveTag());
        const QByteArray block = Block(Dir.filePath("song.mp3"));
        EXPECT_EQ(uint8_t(block[127]), c.id3Genre) << c.genre;
        EXPECT_EQ(block.mid(97, 30), c.comment) << c.genre;
        // The edit shows what the file holds.
        EXPECT_EQ(Editor.Fields().Comment, comment30.left(c.width)) << c.genre;
    }
    EXPECT_TRUE(Prompter.Log.isEmpty());
}

TEST_F(ID3EditorTest, SaveAndRemoveActOnTheFileTheCaptionNames)
{
    const QString first = Tagged("first.mp3", "First", 3, 17);
    const QByteArray before = ReadAll(first);
    Editor.Load(first);

    // A load that cannot open its file still names it; Save then fails there and leaves the
    // file loaded before alone.
    const QString missing = Dir.filePath("missing.mp3");
    Editor.Load(missing);
    EXPECT_EQ(Editor.Caption(), missing + ": ID3标签编辑");
    EXPECT_EQ(Editor.Fields().Track, "0");
    EXPECT_FALSE(Editor.SaveTag());
    EXPECT_EQ(Prompter.Texts("information"), QStringList{"无法保存标签！"});
    EXPECT_EQ(ReadAll(first), before);

    // Remove asks first; No leaves the file, Yes cuts the tag of the file named.
    const QString second = Tagged("second.mp3", "Second", 0, 1);
    Editor.Load(second);
    Prompter.Answers = {TPrompter::Answer::No, TPrompter::Answer::Yes};
    Editor.RemoveTag();
    EXPECT_EQ(QFileInfo(second).size(), Audio.size() + Tid3tag::TagSize);
    EXPECT_EQ(Editor.Fields().Title, "Second");
    Editor.RemoveTag();
    EXPECT_EQ(ReadAll(second), Audio);
    EXPECT_EQ(Editor.Fields().Title, "");
    EXPECT_EQ(Editor.Fields().Track, "0");
    EXPECT_EQ(Editor.Fields().Genre, -1);
    EXPECT_EQ(ReadAll(first), before);
    EXPECT_EQ(Prompter.Texts("question"),
              QStringList({"确定要删除这些标签吗？", "确定要删除这些标签吗？"}));
}

TEST_F(ID3EditorTest, ReadOnlyFileLoadsButKeepsItsTag)
{
    const QString file = Tagged("locked.mp3", "Locked", 2, 17);
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));
    const QByteArray before = ReadAll(file);
    Editor.Load(file);
    EXPECT_EQ(Editor.Fields().Title, "Locked");

    EXPECT_FALSE(Editor.SaveTag());
    Prompter.Answers = {TPrompter::Answer::Yes};
    Editor.RemoveTag();
    EXPECT_EQ(Prompter.Texts("information"), QStringList({"无法保存标签！", "无法删除标签！"}));
    EXPECT_EQ(Editor.Fields().Title, "Locked");   // the fields stay: the tag is still there
    EXPECT_EQ(ReadAll(file), before);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
}

TEST_F(ID3EditorTest, SaveAsWritesIntoAnotherFileAndFollowsIt)
{
    Editor.Load(Tagged("one.mp3", "One", 4, 17));
    const QString caption = Editor.Caption();

    // A name typed into the dialog that names no file: the error box, the caption stays.
    Prompter.FileAnswers.push_back({Dir.filePath("nowhere.mp3")});
    Editor.SaveAs();
    EXPECT_EQ(Prompter.Texts("information"), QStringList{"无法保存标签！"});
    EXPECT_EQ(Editor.Caption(), caption);
    EXPECT_FALSE(QFileInfo::exists(Dir.filePath("nowhere.mp3")));

    // Cancelled: nothing happens.
    Editor.SaveAs();
    EXPECT_EQ(Editor.Caption(), caption);

    const QString two = Make("two.mp3");
    ASSERT_TRUE(Editor.SaveAs(two));
    EXPECT_EQ(Editor.FileShown(), two);
    TFields f = Editor.Fields();
    f.Title = "Two";
    Editor.SetFields(f);
    ASSERT_TRUE(Editor.SaveTag());
    Tid3tag a, b;
    ASSERT_EQ(a.ReadTag(Dir.filePath("one.mp3")), Tid3tag::StatusOk);
    ASSERT_EQ(b.ReadTag(two), Tid3tag::StatusOk);
    EXPECT_EQ(a.Title(), "One");
    EXPECT_EQ(b.Title(), "Two");
    EXPECT_EQ(b.Track(), 4);
}

TEST_F(ID3EditorTest, PeersReadWhatItSavesAndWriteWhatItLoads)
{
    // Saved by the editor, read by id3v2 and mutagen.
    const QString file = Make("peer.mp3");
    Editor.Load(file);
    TFields f;
    f.Title = "Peer Song";
    f.Artist = "Some Artist";
    f.Album = "An Album";
    f.Year = "2001";
    f.Comment = "A comment";
    f.Track = "12";
    f.Genre = Id3ToGenre(17);
    Editor.SetFields(f);
    ASSERT_TRUE(Editor.SaveTag());

    int code = -1;
    const QString listed = RunTool("id3v2", {"-l", file}, &code);
    ASSERT_EQ(code, 0) << listed.toStdString();
    for (const char* part : {"Title  : Peer Song", "Artist: Some Artist", "Album  : An Album", "Year: 2001",
                             "Genre: Rock (17)", "Comment: A comment", "Track: 12"})
        EXPECT_TRUE(listed.contains(QLatin1String(part))) << part << "\n" << listed.toStdString();

    const QString script = QStringLiteral(
        "import sys, mutagen.id3 as m\n"
        "t = m.ID3(sys.argv[1])\n"
        "for k in ('TIT2', 'TPE1', 'TALB', 'TDRC', 'TRCK', 'TCON'): print(k, t[k].text[0])\n"
        "print('COMM', t.getall('COMM')[0].text[0])\n");
    const QString read = RunTool("/usr/bin/python3", {"-c", script, file}, &code);
    ASSERT_EQ(code, 0) << read.toStdString();
    EXPECT_EQ(read.split('\n', Qt::SkipEmptyParts),
              QStringList({"TIT2 Peer Song", "TPE1 Some Artist", "TALB An Album", "TDRC 2001", "TRCK 12",
                           "TCON Rock", "COMM A comment"}));

    // Written by id3v2, loaded into the fields.
    const QString other = Make("other.mp3");
    RunTool("id3v2", {"-1", "-t", "Their Song", "-a", "Them", "-A", "Their Album", "-y", "1987", "-c", "theirs",
                  "-T", "3", "-g", "8", other},
        &code);
    ASSERT_EQ(code, 0);
    Editor.Load(other);
    TFields expected{"Their Song", "Them", "Their Album", "1987", "theirs", "3", Id3ToGenre(8)};
    EXPECT_EQ(Editor.Fields(), expected);
    EXPECT_EQ(GenreNames[size_t(Editor.Fields().Genre - 1)], std::string("Jazz"));
}

} // namespace
