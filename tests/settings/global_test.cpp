// Shared utility functions.
#include "fixtures/TestUtil.h"
#include "settings/Global.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <ostream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Header()
{
    QByteArray h("RIFF\x24\x00\x00\x00WAVEfmt ", 16);
    while (h.size() < 44) h.append(char(0xA0 + h.size()));   // recognisable bytes
    return h;
}

QByteArray Samples(std::initializer_list<int16_t> values)
{
    QByteArray data;
    for (int16_t v : values) {
        data.append(char(uint16_t(v) & 0xFF));
        data.append(char(uint16_t(v) >> 8));
    }
    return data;
}

std::vector<int16_t> DataOf(const QByteArray& file)
{
    std::vector<int16_t> out;
    for (qsizetype i = 44; i + 1 < file.size(); i += 2)
        out.push_back(int16_t(uint16_t(uint8_t(file[i])) | (uint16_t(uint8_t(file[i + 1])) << 8)));
    return out;
}

} // namespace

TEST(Global, Formatting)
{
    EXPECT_EQ(TwoDigits(9), "09");
    EXPECT_EQ(TwoDigits(10), "10");
    EXPECT_EQ(TwoDigits(0), "00");
    EXPECT_EQ(TwoDigits(-1), "0-1");
    EXPECT_EQ(TwoDigits(123), "123");

    EXPECT_EQ(WithBackslash(""), "");
    EXPECT_EQ(WithBackslash("/music"), "/music/");
    EXPECT_EQ(WithBackslash("/music/"), "/music/");

    EXPECT_EQ(StripFileNameChars("AC/DC: Live?"), "ACDC Live");
    EXPECT_EQ(StripFileNameChars("a*b<c>d\\e|f\"g"), "abcdef\"g");
    EXPECT_EQ(StripFileNameChars(QStringLiteral("歌曲 01")), QStringLiteral("歌曲 01"));
    EXPECT_EQ(StripFileNameChars(""), "");
}

TEST(Global, FileSizeOfAndProgramFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteAll(dir.filePath("five.bin"), "12345"));
    ASSERT_TRUE(WriteAll(dir.filePath("empty.bin"), ""));
    EXPECT_EQ(FileSizeOf(dir.filePath("five.bin")), 5);
    EXPECT_EQ(FileSizeOf(dir.filePath("empty.bin")), 0);
    EXPECT_EQ(FileSizeOf(dir.filePath("missing.bin")), -1);
    EXPECT_EQ(FileSizeOf(dir.filePath("*.bin")), -1);        // no wildcard expansion
    EXPECT_EQ(FileSizeOf(""), -1);
    EXPECT_GE(FileSizeOf(dir.path()), 0);                   // a folder is an entry too
    {
        QFile big(dir.filePath("big.bin"));                  // sizes past 4 GiB are not cut
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(5'000'000'000LL));
    }
    EXPECT_EQ(FileSizeOf(dir.filePath("big.bin")), 5'000'000'000LL);

    EXPECT_TRUE(ProgramFolder().endsWith(u'/'));
    EXPECT_TRUE(QFileInfo(ProgramFolder()).isDir());
}

TEST(Global, IsFileInUse)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("音轨 01.wav"));
    EXPECT_FALSE(IsFileInUse(path));                        // missing
    ASSERT_TRUE(WriteAll(path, "data"));
    EXPECT_FALSE(IsFileInUse(path));                        // free

    {
        QFile reader(path);                                 // readers do not block it
        ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
        EXPECT_FALSE(IsFileInUse(path));
    }
    {
        QFile writer(path);                                 // a write handle of our own
        ASSERT_TRUE(writer.open(QIODevice::Append));
        EXPECT_TRUE(IsFileInUse(path));
    }
    EXPECT_FALSE(IsFileInUse(path));

    {   // a BSD lock held through another descriptor
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_SH), 0);
        EXPECT_TRUE(IsFileInUse(path));
        ::close(fd);
    }
    {   // a record lock on an open file description
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        ASSERT_GE(fd, 0);
        struct flock lock {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
        EXPECT_TRUE(IsFileInUse(path));
        ::close(fd);
    }
    EXPECT_FALSE(IsFileInUse(path));

    // Another process writing into it.
    QProcess child;
    child.setStandardOutputFile(path, QIODevice::Append);
    child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(child.waitForStarted(5000));
    EXPECT_TRUE(IsFileInUse(path));
    child.kill();
    child.waitForFinished(5000);
    EXPECT_FALSE(IsFileInUse(path));

    EXPECT_TRUE(IsFileInUse(dir.path()));                   // a folder cannot be opened for writing
}

TEST(Global, DelayMs)
{
    // Only the lower bound is a property of DelayMs; how much longer a loaded machine takes
    // is not (a zero or negative delay simply returns, which the test reaching its end shows).
    QElapsedTimer timer;
    DelayMs(0);
    DelayMs(-5);
    timer.start();
    DelayMs(60);
    EXPECT_GE(timer.elapsed(), 60);
}

TEST(Global, CloseDiscHandleOfNoHandle)
{
    EXPECT_TRUE(CloseDiscHandle(0));
}

class NormalizeTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("track.wav");
    QString temp = dir.filePath("track.nor");
};

TEST_F(NormalizeTest, ScalesSamplesAndKeepsHeaderAndLength)
{
    const QByteArray data = Samples({32767, -32768, 100, -100, 0, 1, 3, -1, -3, 5, 20000});
    ASSERT_TRUE(WriteAll(path, Header() + data));

    NormalizeWavFile(100, path);
    EXPECT_EQ(ReadAll(path), Header() + data);
    EXPECT_FALSE(QFile::exists(temp));

    NormalizeWavFile(95, path);
    QByteArray out = ReadAll(path);
    EXPECT_EQ(out.left(44), Header());
    EXPECT_EQ(DataOf(out), (std::vector<int16_t>{31129, -31130, 95, -95, 0, 1, 3, -1, -3, 5, 19000}));

    ASSERT_TRUE(WriteAll(path, Header() + data));
    NormalizeWavFile(50, path);                             // halves go to the even neighbour
    EXPECT_EQ(DataOf(ReadAll(path)), (std::vector<int16_t>{16384, -16384, 50, -50, 0, 0, 2, 0, -2, 2, 10000}));

    // Above 100 % loud samples clip at the 16-bit limits instead of wrapping round.
    ASSERT_TRUE(WriteAll(path, Header() + Samples({32441, -32441, 20000, -21845, 1000, -3})));
    NormalizeWavFile(150, path);
    EXPECT_EQ(DataOf(ReadAll(path)), (std::vector<int16_t>{32767, -32768, 30000, -32768, 1500, -4}));

    ASSERT_TRUE(WriteAll(path, Header() + data));
    NormalizeWavFile(0, path);
    out = ReadAll(path);
    EXPECT_EQ(out.size(), 44 + data.size());
    EXPECT_EQ(out.left(44), Header());
    EXPECT_EQ(out.mid(44), QByteArray(data.size(), '\0'));
}

TEST_F(NormalizeTest, LongOddAndShortFiles)
{
    // Several blocks, an odd trailing byte that stays as it is.
    QByteArray data;
    for (int i = 0; i < 3000; ++i) data += Samples({int16_t(i * 10)});
    data.append('\x7F');
    ASSERT_TRUE(WriteAll(path, Header() + data));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    NormalizeWavFile(50, path);
    const QByteArray out = ReadAll(path);
    ASSERT_EQ(out.size(), 44 + data.size());
    EXPECT_EQ(out.back(), '\x7F');
    const auto samples = DataOf(out.left(out.size() - 1));
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(samples[i], int16_t(i * 5)) << i;
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);                   // the original's permissions stay

    ASSERT_TRUE(WriteAll(path, "RIFF"));                   // shorter than a header
    NormalizeWavFile(50, path);
    EXPECT_EQ(ReadAll(path), "RIFF");
}

TEST_F(NormalizeTest, FailuresRaiseAndKeepTheOriginal)
{
    try {
        NormalizeWavFile(95, dir.filePath("missing.wav"));
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_TRUE(QString::fromLocal8Bit(e.what()).contains("missing.wav")) << e.what();
        EXPECT_TRUE(QString::fromLocal8Bit(e.what()).contains("No such file")) << e.what();
    }

    const QByteArray original = Header() + Samples({1000, -1000});
    ASSERT_TRUE(WriteAll(path, original));

    // The temporary file cannot be created.
    ASSERT_TRUE(QDir(dir.path()).mkdir("track.nor"));
    EXPECT_THROW(NormalizeWavFile(95, path), std::runtime_error);
    EXPECT_EQ(ReadAll(path), original);
    ASSERT_TRUE(QDir(dir.path()).rmdir("track.nor"));

    // The disk fills up while writing the temporary file.
    if (!HaveDevFull())
        GTEST_SKIP() << "/dev/full is not the full device on this machine";
    ASSERT_TRUE(QFile::link("/dev/full", temp));
    EXPECT_THROW(NormalizeWavFile(95, path), std::runtime_error);
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_FALSE(QFileInfo::exists(temp) || QFileInfo(temp).isSymLink());
}
