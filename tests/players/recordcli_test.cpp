// varnelcd-cli record end to end on SDL's disk driver: a new file, more sound recorded at
// the end of it, the answers to the overwrite question and bad options.
#include "fixtures/AuTestComponents.h"
#include "fixtures/TestUtil.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TRun {
    int Code;
    QString Err;
};

TRun RunCli(const QTemporaryDir& dir, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SDL_AUDIODRIVER", "disk");
    env.insert("SDL_DISKAUDIOFILEIN", dir.filePath("mic.raw"));
    env.insert("SDL_DISKAUDIOFILE", dir.filePath("card.raw"));
    p.setProcessEnvironment(env);
    p.start(VARNELCD_CLI, QStringList{"record"} + args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(RecordCli, NewAppendOverwriteAndBadOptions)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray mic = PatternBytes(5, 8000 * 4);
    ASSERT_TRUE(WriteAll(dir.filePath("mic.raw"), mic));
    const QString file = dir.filePath("take.wav");
    const QStringList fmt{"--rate", "8000", "--bits", "8", "--channels", "1"};

    // New: a prefix of the input.
    TRun r = RunCli(dir, QStringList{file, "--seconds", "0.3"} + fmt);
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    const QByteArray first = ReadAll(file);
    const qsizetype n = first.size() - 44;
    ASSERT_GT(n, 0);
    EXPECT_EQ(first.mid(44), mic.left(n));

    // Present: appended at the end (--at 400 by default).
    r = RunCli(dir, {file, "--seconds", "0.3"});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    const QByteArray second = ReadAll(file);
    ASSERT_GT(second.size(), first.size());
    EXPECT_EQ(second.mid(20, 16), first.mid(20, 16)) << "same format";
    EXPECT_EQ(second.mid(44, n), first.mid(44));
    EXPECT_EQ(second.mid(44 + n), mic.left(second.size() - 44 - n));

    // --new on an existing file: No keeps it (exit 1 with the question), Yes replaces it.
    r = RunCli(dir, QStringList{file, "--new", "--seconds", "0.2"} + fmt);
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("已经存在，要覆盖它吗？"))) << r.Err.toStdString();
    EXPECT_EQ(ReadAll(file), second);
    r = RunCli(dir, QStringList{file, "--new", "--yes", "--seconds", "0.2"} + fmt);
    EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
    const QByteArray third = ReadAll(file);
    EXPECT_GT(third.size(), 44);
    EXPECT_EQ(third.mid(44), mic.left(third.size() - 44));

    const QStringList bad[] = {{file}, {file, "--seconds", "0"}, {file, "--seconds", "1", "--bits", "24"},
                               {file, "--seconds", "1", "--at", "401"}, {file, "--seconds", "1", "--yes", "--no"}};
    for (const QStringList& args : bad)
        EXPECT_EQ(RunCli(dir, args).Code, 2) << args.join(' ').toStdString();
    r = RunCli(dir, {dir.filePath("x.mp3"), "--seconds", "0.1"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("保存的文件应该是WAV格式!")));
}
