// The one way a job writes a file: part file, checked writes, rename at the end; and the
// decisions about names that are taken.
#include "platform/OutputFile.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestUtil.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct OutputFileTest : ::testing::Test {
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.filePath(name); }
};

TEST_F(OutputFileTest, CommitRenamesDiscardAndFailureLeaveNothing)
{
    const QString final = Path("a.txt");
    WriteAll(PartPathOf(final), "stale");
    // A killed encoder's temporary file goes with the stale part file; other names stay.
    WriteAll(PartPathOf(final) + ".Gp3jsz", "stale");
    WriteAll(PartPathOf(final) + ".notmine", "kept");
    {
        TOutputFile out(final);
        ASSERT_TRUE(out.Open());
        EXPECT_FALSE(QFileInfo::exists(final));
        ASSERT_TRUE(out.Write("hello"));
        ASSERT_TRUE(out.Commit()) << qPrintable(out.Error());
    }
    EXPECT_EQ(ReadAll(final), "hello");
    EXPECT_FALSE(QFileInfo::exists(PartPathOf(final)));
    EXPECT_FALSE(QFileInfo::exists(PartPathOf(final) + ".Gp3jsz"));
    EXPECT_TRUE(QFileInfo::exists(PartPathOf(final) + ".notmine"));
    {
        TOutputFile out(final);   // destroyed without a commit: the old file stays
        ASSERT_TRUE(out.Open());
        out.Write("partial");
    }
    EXPECT_EQ(ReadAll(final), "hello");
    EXPECT_FALSE(QFileInfo::exists(PartPathOf(final)));

    QString error;
    EXPECT_FALSE(WriteWholeFile(Path("missing/b.txt"), "x", &error));
    EXPECT_TRUE(error.contains("the folder does not exist")) << qPrintable(error);
}

TEST_F(OutputFileTest, ErrorTextsNameTheCause)
{
    const struct { int err; const char* text; } cases[] = {
        {ENOSPC, "the disk is full"}, {EROFS, "the folder is read-only"}, {ENOENT, "the folder does not exist"},
        {EACCES, "permission denied"}, {ENAMETOOLONG, "the file name is too long"}};
    for (const auto& c : cases) {
        const QString text = WriteErrorText(c.err, "/x/y.wav");
        EXPECT_TRUE(text.startsWith("/x/y.wav: ") && text.contains(c.text)) << qPrintable(text);
    }
}

TEST_F(OutputFileTest, FullDiskFailsTheCommitAndRemovesThePart)
{
    if (!HaveDevFull()) GTEST_SKIP() << "no /dev/full";
    // A part file that is the full device: the write fails as on a full disk.
    const QString final = Path("full.txt");
    ASSERT_TRUE(QFile::link("/dev/full", PartPathOf(final)));
    QFile f(PartPathOf(final));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    errno = 0;
    f.write(QByteArray(1 << 16, 'x'));
    f.flush();
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_TRUE(WriteErrorText(errno, final).contains("the disk is full"));
    f.close();
    DiscardPart(PartPathOf(final));
    EXPECT_FALSE(QFileInfo::exists(final));
}

TEST_F(OutputFileTest, ExistingNamesFollowThePolicyAndTheAnswers)
{
    using D = TExistingFiles::TDecision;
    WriteAll(Path("x.mp3"), "mine");
    const struct {
        TExisting policy;
        bool prompter;
        D::Kind action;
        const char* path;
    } cases[] = {
        {TExisting::Overwrite, false, D::Write, "x.mp3"},
        {TExisting::Skip, false, D::Skip, "x.mp3"},
        {TExisting::Rename, false, D::Write, "x (2).mp3"},
        {TExisting::Ask, false, D::Keep, "x.mp3"},   // nobody to ask: kept, the entry fails
    };
    for (const auto& c : cases) {
        TCannedPrompter p;
        TExistingFiles files(c.policy, c.prompter ? &p : nullptr);
        const D d = files.Decide(Path("x.mp3"));
        EXPECT_EQ(d.Action, c.action) << int(c.policy);
        EXPECT_EQ(d.Path, Path(c.path)) << int(c.policy);
        EXPECT_EQ(d.Action == D::Keep, !d.Reason.isEmpty());
    }
    EXPECT_EQ(ReadAll(Path("x.mp3")), "mine");

    // Two entries of one job never share a name, whether or not a file has it.
    TExistingFiles job(TExisting::Overwrite);
    EXPECT_EQ(job.Decide(Path("new.mp3")).Path, Path("new.mp3"));
    EXPECT_EQ(job.Decide(Path("new.mp3")).Path, Path("new (2).mp3"));
    EXPECT_EQ(job.Decide(Path("NEW.mp3")).Path, Path("NEW (3).mp3"));
}

TEST_F(OutputFileTest, AskedOnceForAllWithYesOrNoToAll)
{
    for (const char* n : {"1.wav", "2.wav", "3.wav"}) WriteAll(Path(n), "mine");
    for (const bool yes : {true, false}) {
        TCannedPrompter p;
        p.Overwrites = {TPrompter::Overwrite::No, yes ? TPrompter::Overwrite::YesToAll : TPrompter::Overwrite::NoToAll};
        TExistingFiles files(TExisting::Ask, &p);
        EXPECT_EQ(files.Decide(Path("1.wav")).Action, TExistingFiles::TDecision::Keep);
        const auto expected = yes ? TExistingFiles::TDecision::Write : TExistingFiles::TDecision::Keep;
        EXPECT_EQ(files.Decide(Path("2.wav")).Action, expected);
        EXPECT_EQ(files.Decide(Path("3.wav")).Action, expected);
        EXPECT_EQ(p.Log.size(), 2);
    }
}

TEST(NumberedPathTest, NumberGoesBeforeTheExtensionAndPartNamesFit)
{
    EXPECT_EQ(PartPathOf("/a/b.flac"), "/a/b.flac.part");
    // Names at the 255-byte limit still get a part file of their own.
    const QString longA = "/a/" + QString(84, QChar(0x6B4C)) + ".flac";   // 252 + 5 bytes
    const QString longB = "/a/" + QString(84, QChar(0x6B4C)) + ".wav";
    for (const QString& p : {PartPathOf(longA), PartPathOf(longB)}) {
        EXPECT_LE(p.mid(3).toUtf8().size(), 255);
        EXPECT_TRUE(p.startsWith("/a/") && p.endsWith(".part"));
    }
    EXPECT_NE(PartPathOf(longA), PartPathOf(longB));
    EXPECT_EQ(NumberedPath("a/b.mp3", 2), "a/b (2).mp3");
    EXPECT_EQ(NumberedPath("a.b/c", 3), "a.b/c (3)");
    EXPECT_EQ(NumberedPath(".hidden", 2), ".hidden (2)");
    TExisting e;
    EXPECT_TRUE(ParseExisting("rename", e) && e == TExisting::Rename);
    EXPECT_FALSE(ParseExisting("always", e));
}

} // namespace
