// Reading side of the stream core: accounting, ranges, loop, seeking, read-ahead,
// converters, file sources that cannot be opened, and the file stream's sharing rules.
#include "fixtures/AuTestComponents.h"
#include "audio/AuFileStream.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

constexpr int FrameBytes = 4;           // 16-bit stereo
constexpr int64_t Frames = 5000;

// A 5000-frame source over pattern bytes in memory.
struct RawSource {
    TMemoryStream stream{PatternBytes(0, Frames * FrameBytes)};
    TAuRawFileIn in;
    RawSource()
    {
        in.SetRawFormat(16, 2, 44100);
        in.SetStream(&stream);
    }
};

// Reads everything (at most Limit bytes) in requests of Request bytes.
QByteArray ReadAll(TAuInput& in, uint32_t Request, int64_t Limit = 1 << 24)
{
    QByteArray out;
    while (out.size() < Limit) {
        void* data = nullptr;
        uint32_t bytes = Request;
        in.GetData(data, bytes);
        if (bytes == 0)
            break;
        out.append(static_cast<const char*>(data), bytes);
    }
    return out;
}

QString OsText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

TEST(StreamInput, SampleRangeDeliversExactlyTheFramesAsked)
{
    struct Case { int64_t start, end, frames; };
    for (const Case c : {Case{1000, -1, 4000}, Case{1000, 1999, 1000}, Case{1000, 99999, 4000},
                         Case{0, 0, 1}, Case{4999, -1, 1}}) {
        RawSource src;
        src.in.SetStartSample(c.start);
        src.in.SetEndSample(c.end);
        src.in.Init();
        EXPECT_EQ(src.in.Size(), c.frames * FrameBytes) << c.start << ".." << c.end;
        const QByteArray got = ReadAll(src.in, 3000);
        EXPECT_EQ(got, PatternBytes(c.start * FrameBytes, c.frames * FrameBytes))
            << c.start << ".." << c.end;
        EXPECT_EQ(src.in.Position(), c.frames * FrameBytes);
        src.in.Flush();
        // The range applies to one reading only.
        EXPECT_EQ(src.in.StartSample(), 0);
        EXPECT_EQ(src.in.EndSample(), -1);
        EXPECT_FALSE(src.in.Busy());
    }
}

TEST(StreamInput, RangeStartingPastTheEndDeliversNothing)
{
    RawSource src;
    src.in.SetStartSample(6000);
    src.in.Init();
    EXPECT_TRUE(ReadAll(src.in, 4096).isEmpty());
    src.in.Flush();
}

TEST(StreamInput, LoopRestartsAtStartSampleWithoutLosingTheLastBlock)
{
    RawSource src;
    src.in.SetStartSample(1000);
    src.in.SetEndSample(1999);
    src.in.SetLoop(true);
    src.in.Init();
    // 3000-byte requests do not divide the 4000-byte range: every lap must still be whole.
    const QByteArray got = ReadAll(src.in, 3000, 14000);
    ASSERT_GE(got.size(), 14000);
    const QByteArray lap = PatternBytes(4000, 4000);
    for (int i = 0; i < 14000; i += 4000)
        EXPECT_EQ(got.mid(i, std::min(4000, 14000 - i)), lap.left(std::min(4000, 14000 - i))) << i;
    EXPECT_LE(src.in.Position(), src.in.Size());
    src.in.Flush();
}

TEST(StreamInput, SeekWhileReadingMovesThePositionAndTheData)
{
    RawSource src;
    src.in.Init();
    ReadAll(src.in, 1000, 1000);
    EXPECT_TRUE(src.in.Seek(2500));
    EXPECT_EQ(src.in.Position(), 2500 * FrameBytes);
    EXPECT_EQ(ReadAll(src.in, 400, 400), PatternBytes(2500 * FrameBytes, 400));
    EXPECT_FALSE(src.in.Seek(Frames + 1));
    EXPECT_FALSE(src.in.Seek(-1));
    // Back from the end: reading goes on.
    ReadAll(src.in, 4096);
    EXPECT_TRUE(src.in.Seek(0));
    EXPECT_EQ(ReadAll(src.in, 4096).size(), Frames * FrameBytes);
    src.in.Flush();
}

TEST(StreamInput, SeekBeforeReadingSetsTheStart)
{
    RawSource src;
    EXPECT_TRUE(src.in.Seek(4000));
    EXPECT_EQ(src.in.StartSample(), 4000);
    src.in.Init();
    EXPECT_EQ(ReadAll(src.in, 4096), PatternBytes(4000 * FrameBytes, 1000 * FrameBytes));
    src.in.Flush();
}

TEST(StreamInput, JumpMovesByThousandthsAndClamps)
{
    RawSource src;
    src.in.Init();
    src.in.Jump(50);
    EXPECT_EQ(src.in.Position(), 250 * FrameBytes);       // five per cent of 5000 frames
    src.in.Jump(50);
    EXPECT_EQ(src.in.Position(), 500 * FrameBytes);
    src.in.Jump(-5000);
    EXPECT_EQ(src.in.Position(), 0);
    src.in.Jump(5000);
    EXPECT_EQ(src.in.Position(), Frames * FrameBytes);
    EXPECT_TRUE(ReadAll(src.in, 4096).isEmpty());
    src.in.Flush();
}

TEST(StreamInput, JumpChainReachesTheFileSourceBelowConverters)
{
    RawSource src;
    TAuPassThrough inner, outer;
    inner.SetInput(&src.in);
    outer.SetInput(&inner);
    outer.Init();
    JumpChain(&outer, 500);
    EXPECT_EQ(src.in.Position(), 2500 * FrameBytes);
    EXPECT_EQ(ReadAll(outer, 100, 100), PatternBytes(2500 * FrameBytes, 100));
    outer.Flush();
    EXPECT_FALSE(src.in.Busy());
}

// Position must count every byte exactly once, whether it passed through the read-ahead
// buffer or not, for a source that counts itself and for one whose reads are counted.
TEST(StreamInput, PrefetchTwiceKeepsOrderAndCountsOnce)
{
    RawSource src;
    TAuGenerator gen;
    gen.SetGeneratedSize(Frames * FrameBytes);
    gen.SetBlockLimit(333);
    for (TAuInput* in : {static_cast<TAuInput*>(&src.in), static_cast<TAuInput*>(&gen)}) {
        in->Init();
        QByteArray got = ReadAll(*in, 100, 100);
        in->Prefetch(1000);
        EXPECT_EQ(in->Position(), 100);
        got += ReadAll(*in, 300, 300);
        EXPECT_EQ(in->Position(), 400);
        in->Prefetch(1000);                  // 700 bytes left over move to the front
        EXPECT_EQ(in->Position(), 400);
        got += ReadAll(*in, 512);
        EXPECT_EQ(got, PatternBytes(0, Frames * FrameBytes));
        EXPECT_EQ(in->Position(), Frames * FrameBytes);
        in->Flush();
    }
}

TEST(StreamInput, PrefetchRespectsTheRangeEnd)
{
    RawSource src;
    src.in.SetEndSample(99);                 // 400 bytes
    src.in.Init();
    src.in.Prefetch(4096);
    EXPECT_EQ(ReadAll(src.in, 4096), PatternBytes(0, 400));
    src.in.Flush();
}

TEST(StreamInput, ClearBufferDeliversSilenceBeforeRealData)
{
    TAuGenerator gen;
    gen.SetGeneratedSize(10000);
    gen.Init();
    gen.Prefetch(800);
    ReadAll(gen, 100, 100);
    gen.ClearBuffer();
    const QByteArray got = ReadAll(gen, 256);
    ASSERT_GE(got.size(), 800);
    EXPECT_EQ(got.left(800), QByteArray(800, '\0'));
    EXPECT_EQ(got.mid(800), PatternBytes(800, 10000 - 800));
    gen.Flush();
}

TEST(StreamInput, FillBufferAndCopyData)
{
    TAuGenerator gen;
    gen.SetGeneratedSize(1000);
    gen.SetBlockLimit(70);
    gen.Init();
    char buf[600];
    EXPECT_EQ(gen.CopyData(buf, 600), 70);
    bool end = true;
    EXPECT_EQ(gen.FillBuffer(buf, 600, end), 600);
    EXPECT_FALSE(end);
    EXPECT_EQ(QByteArray(buf, 600), PatternBytes(70, 600));
    EXPECT_EQ(gen.FillBuffer(buf, 600, end), 330);
    EXPECT_TRUE(end);
    gen.Flush();
}

TEST(StreamInput, FileThatCannotBeOpened)
{
    QTemporaryDir dir;
    TAuRawFileIn in;
    in.SetFileName(dir.filePath("missing.raw"));
    EXPECT_FALSE(in.Valid());
    EXPECT_EQ(in.OpenCount(), 0);
    EXPECT_THROW(in.TotalSamples(), EAuException);      // the format getters open the file
}

TEST(StreamInput, InitErrorsCarryTheirTexts)
{
    QTemporaryDir dir;
    TAuRawFileIn in;
    in.SetFileName(dir.filePath("missing.raw"));
    try {
        in.Init();
        FAIL() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), OsText(ENOENT));
    }
    EXPECT_FALSE(in.Busy());

    TAuRawFileIn unnamed;
    try {
        unnamed.Init();
        FAIL() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), "The file name is not assigned");
    }

    RawSource src;
    src.in.Init();
    try {
        src.in.Init();
        FAIL() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), "The component is Busy");
    }
    src.in.Flush();
}

TEST(StreamInput, FileSourceReportsItsFormatAndOpensOnce)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("tone \"a\" b.raw");      // odd characters on purpose
    {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(PatternBytes(0, 44100 * 4 * 3 / 2));            // 1.5 s
    }
    TAuRawFileIn in;
    in.SetFileName(name);
    EXPECT_TRUE(in.Valid());
    EXPECT_EQ(in.OpenCount(), 1);
    EXPECT_EQ(in.SampleRate(), 44100);
    EXPECT_EQ(in.TotalSamples(), 66150);
    EXPECT_EQ(in.TotalTime(), 2);                                // 1.5 rounds to even
    EXPECT_EQ(in.OpenCount(), 1);
    in.Init();
    EXPECT_EQ(ReadAll(in, 16384).size(), 44100 * 4 * 3 / 2);
    in.Flush();
    EXPECT_EQ(in.OpenCount(), 0);
    in.SetFileName(QString());
    EXPECT_FALSE(in.Valid());
}

TEST(StreamConverter, PassesDataAndFormat)
{
    TAuGenerator gen;
    gen.SetFormat(0x88, 1, 8000);          // a width with bit 7 set
    gen.SetGeneratedSize(10000);
    gen.SetBlockLimit(999);
    TAuPassThrough conv;
    EXPECT_EQ(conv.Channels(), 0);         // no input
    conv.SetInput(&conv);                  // ignored
    EXPECT_EQ(conv.Input(), nullptr);
    conv.SetInput(&gen);
    EXPECT_EQ(conv.BitsPerSample(), 8);
    conv.SetFullBitsFlag(true);
    EXPECT_EQ(conv.BitsPerSample(), 0x88);
    EXPECT_EQ(conv.SampleRate(), 8000);
    conv.Init();
    EXPECT_EQ(ReadAll(conv, 4096), PatternBytes(0, 10000));
    EXPECT_EQ(conv.Position(), 10000);
    conv.Flush();
    EXPECT_EQ(gen.FlushCount(), 1);
}

TEST(StreamConverter, SwapsInputWhileReadingAndForgetsADestroyedInput)
{
    TAuGenerator a, b;
    a.SetGeneratedSize(-1);
    auto c = std::make_unique<TAuGenerator>();
    TAuPassThrough conv;
    conv.SetInput(&a);
    conv.Init();
    ReadAll(conv, 100, 100);
    conv.SetInput(&b);
    EXPECT_EQ(a.FlushCount(), 1);
    EXPECT_EQ(b.InitCount(), 1);
    EXPECT_TRUE(b.Busy());
    conv.Flush();
    EXPECT_EQ(b.FlushCount(), 1);
    conv.SetInput(c.get());
    c.reset();
    EXPECT_EQ(conv.Input(), nullptr);
}

// A chain is one lock: holding its source's keeps every converter above from reading, and
// two converters linked one way, then the other, never hold two locks in either order
// (ThreadSanitizer's lock-order check sees no pair).
TEST(StreamConverter, AChainIsOneLock)
{
    TAuGenerator gen;
    gen.SetGeneratedSize(-1);
    TAuPassThrough a, b;
    for (const bool aAbove : {true, false}) {
        TAuPassThrough& top = aAbove ? a : b;
        TAuPassThrough& middle = aAbove ? b : a;
        top.SetInput(nullptr);
        middle.SetInput(&gen);
        top.SetInput(&middle);
        top.Init();
        gen.Lock();
        std::atomic<int> got{-1};
        std::thread reader([&] { got = int(ReadAll(top, 100, 100).size()); });
        QThread::msleep(50);
        EXPECT_EQ(got, -1) << "read past the held chain lock";
        gen.Unlock();
        reader.join();
        EXPECT_EQ(got, 100);
        top.Flush();
    }
}

TEST(AuFileStream, CreateWriteReadAndSharing)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("日本 語 'x'.bin");
    auto writer = std::make_unique<TAuFileStream>(name, TAuFileStream::fmCreate);
    EXPECT_EQ(writer->Write("hello", 5), 5);
    // A second writer fails and does not cut the first one's file short.
    try {
        TAuFileStream second(name, TAuFileStream::fmCreate);
        FAIL() << "two writers";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), OsText(EWOULDBLOCK));
    }
    EXPECT_THROW(TAuFileStream(name, TAuFileStream::fmOpenRead | TAuFileStream::fmShareDenyWrite),
                 EAuException);
    EXPECT_EQ(writer->Size(), 5);
    writer.reset();

    // Readers that let others read do not block each other.
    TAuFileStream r1(name, TAuFileStream::fmOpenRead | TAuFileStream::fmShareDenyWrite);
    TAuFileStream r2(name, TAuFileStream::fmOpenRead | TAuFileStream::fmShareDenyWrite);
    char buf[8] = {};
    EXPECT_EQ(r1.Read(buf, 8), 5);
    EXPECT_EQ(QByteArray(buf, 5), "hello");
    EXPECT_EQ(r2.Seek(-2, TSeekOrigin::End), 3);
    EXPECT_EQ(r2.Read(buf, 8), 2);
    EXPECT_EQ(r1.Write("x", 1), -1);                        // opened for reading only
    // ...but keep writers out.
    EXPECT_THROW(TAuFileStream(name, TAuFileStream::fmOpenReadWrite), EAuException);
    // Others-may-write sharing takes no lock.
    TAuFileStream shared(name, TAuFileStream::fmOpenWrite | TAuFileStream::fmShareDenyNone);
    EXPECT_EQ(shared.Seek(0, TSeekOrigin::End), 5);

    const int fd = r1.TakeHandle();
    EXPECT_GE(fd, 0);
    EXPECT_EQ(r1.Read(buf, 1), -1);
    ::close(fd);
}

TEST(AuFileStream, OpenErrorsUseTheSystemText)
{
    QTemporaryDir dir;
    try {
        TAuFileStream s(dir.filePath("none"), TAuFileStream::fmOpenRead);
        FAIL();
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), OsText(ENOENT));
    }
    EXPECT_THROW(TAuFileStream(dir.path(), TAuFileStream::fmOpenRead), EAuException);
    EXPECT_THROW(TAuFileStream(QString(), TAuFileStream::fmCreate), EAuException);
    // Creating truncates an existing file.
    const QString name = dir.filePath("t");
    {
        TAuFileStream s(name, TAuFileStream::fmCreate);
        s.Write("abcdef", 6);
    }
    TAuFileStream s(name, TAuFileStream::fmCreate);
    EXPECT_EQ(s.Size(), 0);
}

TEST(MemoryStream, GapsReadAsZeros)
{
    TMemoryStream m;
    m.Seek(4, TSeekOrigin::Begin);
    m.Write("ab", 2);
    EXPECT_EQ(m.Data(), QByteArray("\0\0\0\0ab", 6));
    EXPECT_EQ(m.Seek(-10, TSeekOrigin::Current), -1);
    m.SetSize(8);
    EXPECT_EQ(m.Data(), QByteArray("\0\0\0\0ab\0\0", 8));
    char c[4];
    m.SetPosition(5);
    EXPECT_EQ(m.Read(c, 4), 3);
}
