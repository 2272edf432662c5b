// Writing WAV files: the three headers, IMA ADPCM against sox's decoding, appending, the
// sizes a stopped run leaves, and the property setters.
#include "audio/Adpcm.h"
#include "audio/WaveIn.h"
#include "audio/WaveOut.h"
#include "WaveTestUtil.h"
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cmath>

using namespace WaveTest;

namespace {

uint32_t At32(const QByteArray& b, int off) { return Wav::Get32(reinterpret_cast<const uint8_t*>(b.constData()) + off); }
uint16_t At16(const QByteArray& b, int off) { return Wav::Get16(reinterpret_cast<const uint8_t*>(b.constData()) + off); }

struct Writer {
    TAuGenerator gen;
    TWaveOut out;
    Writer(int Bits, int Channels, int Rate, int64_t Bytes, TAuGenerator::TWaveform Wave = TAuGenerator::TWaveform::Pattern)
    {
        gen.SetFormat(Bits, Channels, Rate);
        gen.SetGeneratedSize(Bytes);
        gen.SetWaveform(Wave);
        gen.SetTone(1000, 0.6);
        out.SetInput(&gen);
    }
    QString Write(const QString& Path)
    {
        out.SetFileName(Path);
        return RunOutput(out);
    }
};

QByteArray Decode(const QString& Path)
{
    TWaveIn in;
    in.SetFileName(Path);
    return ReadInput(in);
}

} // namespace

TEST(WaveWrite, HeadersByFormat)
{
    QTemporaryDir dir;
    struct Case { int bits, channels; bool nonMs; int header; int tag; uint32_t mask; };
    for (const Case c : {Case{16, 2, true, 44, 1, 0}, Case{8, 1, false, 44, 1, 0}, Case{24, 2, true, 44, 1, 0},
                         Case{24, 2, false, 68, 0xFFFE, 3}, Case{16, 6, false, 68, 0xFFFE, 63},
                         Case{32, 1, false, 68, 0xFFFE, 1}, Case{16, 8, false, 68, 0xFFFE, 255},
                         Case{16, 3, false, 68, 0xFFFE, 0}}) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.channels << " channels, nonMs " << c.nonMs);
        const int64_t bytes = int64_t(c.channels) * c.bits / 8 * 1001;
        Writer w(c.bits, c.channels, 22050, bytes);
        w.out.SetCreateNonMsHeaders(c.nonMs);
        const QString path = dir.filePath("h.wav");
        ASSERT_EQ(w.Write(path), "");
        EXPECT_EQ(w.out.WavType(), c.header == 68 ? wtExtPCM : wtPCM);
        const QByteArray file = ReadAll(path);
        ASSERT_EQ(file.size(), c.header + bytes);
        EXPECT_EQ(At32(file, 4), uint32_t(file.size() - 8));
        EXPECT_EQ(At16(file, 20), c.tag);
        EXPECT_EQ(At16(file, 22), c.channels);
        EXPECT_EQ(At32(file, 24), 22050u);
        EXPECT_EQ(At32(file, 28), uint32_t(22050 * c.channels * c.bits / 8));
        EXPECT_EQ(At16(file, 34), c.bits);
        EXPECT_EQ(At32(file, c.header - 4), uint32_t(bytes));
        if (c.header == 68) {
            EXPECT_EQ(At16(file, 38), c.bits);
            EXPECT_EQ(At32(file, 40), c.mask);
            EXPECT_EQ(file.mid(44, 16), QByteArray(reinterpret_cast<const char*>(Wav::SubFormatPCM), 16));
        }
        EXPECT_EQ(file.mid(c.header), PatternBytes(0, bytes));
        EXPECT_EQ(Decode(path), PatternBytes(0, bytes));
        // The peer reads the same format and samples.
        QByteArray info;
        ASSERT_TRUE(Tool("soxi", {path}, &info));
        EXPECT_TRUE(info.contains("Channels       : " + QByteArray::number(c.channels)));
        EXPECT_TRUE(info.contains("Precision      : " + QByteArray::number(c.bits) + "-bit"));
        const QString raw = dir.filePath("h.raw");
        ASSERT_TRUE(Tool("sox", {path, "-t", "raw", raw}));
        EXPECT_EQ(ReadAll(raw), PatternBytes(0, bytes));
    }
}

TEST(WaveWrite, ImaAdpcmDecodesAlikeInSoxAndHere)
{
    QTemporaryDir dir;
    struct Case { int channels; int block; int frames; int framesPerBlock; };
    for (const Case c : {Case{1, 512, 5000, 1017}, Case{2, 512, 5000, 505}, Case{2, 1024, 1017 * 3, 1017},
                         Case{1, 256, 505 * 4, 505}}) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels, block " << c.block << ", frames " << c.frames);
        Writer w(16, c.channels, 44100, int64_t(c.frames) * c.channels * 2, TAuGenerator::TWaveform::Sine);
        w.out.SetWavType(wtDVIADPCM);
        w.out.SetBlockSize(uint16_t(c.block));
        const QString path = dir.filePath("ima.wav");
        ASSERT_EQ(w.Write(path), "");
        const QByteArray file = ReadAll(path);
        const int blocks = (c.frames + c.framesPerBlock - 1) / c.framesPerBlock;
        ASSERT_EQ(file.size(), 60 + blocks * c.block);
        EXPECT_EQ(At32(file, 4), uint32_t(file.size() - 8));
        EXPECT_EQ(At16(file, 20), 0x11);
        EXPECT_EQ(At16(file, 32), c.block);
        EXPECT_EQ(At16(file, 34), 4);
        EXPECT_EQ(At16(file, 38), c.framesPerBlock);
        EXPECT_EQ(At32(file, 28), uint32_t(44100 / c.framesPerBlock * c.block));
        EXPECT_EQ(At32(file, 48), uint32_t(c.frames));
        EXPECT_EQ(At32(file, 56), uint32_t(blocks * c.block));

        const QByteArray ours = Decode(path);
        ASSERT_EQ(ours.size(), c.frames * c.channels * 2);
        const QString raw = dir.filePath("ima.raw");
        ASSERT_TRUE(Tool("sox", {"-D", path, "-t", "raw", "-e", "signed", "-b", "16", raw}));
        EXPECT_EQ(ReadAll(raw).left(ours.size()), ours);
        // And close to what went in: the plain IMA encoder (ffmpeg's too) keeps the error
        // about 30 dB below a 1 kHz tone; short files lose a little to the start.
        TAuGenerator ref;
        ref.SetFormat(16, c.channels, 44100);
        ref.SetWaveform(TAuGenerator::TWaveform::Sine);
        ref.SetTone(1000, 0.6);
        ref.SetGeneratedSize(ours.size());
        const std::vector<int> a = Samples16(ours), b = Samples16(ReadInput(ref));
        double signal = 0, noise = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            signal += double(b[i]) * b[i];
            noise += double(a[i] - b[i]) * (a[i] - b[i]);
        }
        EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 24.0);
    }
}

TEST(WaveWrite, AppendingExtendsOrLeavesTheFileUnchanged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.wav");
    // Same format: the data follow, the sizes cover both parts.
    {
        Writer first(16, 2, 22050, 4000);
        ASSERT_EQ(first.Write(path), "");
        Writer second(16, 2, 22050, 6000);
        second.out.SetFileMode(foAppend);
        second.out.SetCreateNonMsHeaders(false);
        ASSERT_EQ(second.Write(path), "");
        const QByteArray file = ReadAll(path);
        EXPECT_EQ(file.size(), 44 + 10000);
        EXPECT_EQ(At32(file, 40), 10000u);
        EXPECT_EQ(At32(file, 4), uint32_t(file.size() - 8));
        EXPECT_EQ(file.mid(44), PatternBytes(0, 4000) + PatternBytes(0, 6000));
    }
    // An odd-sized data chunk: its pad byte does not become a sample.
    {
        const QByteArray fmt = Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8));
        ASSERT_TRUE(WriteAll(path, Riff(fmt + "data" + Le32(3) + "abc" + QByteArray(1, 0))));
        Writer second(8, 1, 8000, 2);
        second.out.SetFileMode(foAppend);
        ASSERT_EQ(second.Write(path), "");
        EXPECT_EQ(ReadAll(path), Riff(fmt + Chunk("data", "abc" + PatternBytes(0, 2))));
    }
    // IMA ADPCM onto IMA ADPCM: the existing block size wins; the frame count covers the
    // padded last block of the old part and the new frames.
    {
        Writer first(16, 1, 8000, 600 * 2, TAuGenerator::TWaveform::Sine);
        first.out.SetWavType(wtDVIADPCM);
        first.out.SetBlockSize(256);
        ASSERT_EQ(first.Write(path), "");
        Writer second(16, 1, 8000, 300 * 2, TAuGenerator::TWaveform::Sine);
        second.out.SetWavType(wtDVIADPCM);
        second.out.SetFileMode(foAppend);
        ASSERT_EQ(second.Write(path), "");
        EXPECT_EQ(second.out.BlockSize(), 256);
        const QByteArray file = ReadAll(path);
        EXPECT_EQ(file.size(), 60 + 3 * 256);
        EXPECT_EQ(At32(file, 48), uint32_t(2 * 505 + 300));
        EXPECT_EQ(At32(file, 56), uint32_t(3 * 256));
        const QByteArray ours = Decode(path);
        EXPECT_EQ(ours.size(), (2 * 505 + 300) * 2);
        const QString raw = dir.filePath("a.raw");
        ASSERT_TRUE(Tool("sox", {"-D", path, "-t", "raw", "-e", "signed", "-b", "16", raw}));
        EXPECT_EQ(ReadAll(raw).left(ours.size()), ours);
    }
    // Refusals leave the file byte for byte as it was.
    struct Refusal { const char* name; QByteArray existing; int bits, channels, rate; TWavType type; QString message; };
    const QByteArray pcm22 = PcmFile(2, 22050, 16, PatternBytes(0, 400));
    const QByteArray floatFile = Riff(Chunk("fmt ", FmtBody(3, 2, 22050, 8, 32)) + Chunk("data", QByteArray(80, 0)));
    const QByteArray trailing = Riff(Chunk("fmt ", FmtBody(1, 2, 22050, 4, 16)) + Chunk("data", PatternBytes(0, 400)) + Chunk("LIST", QByteArray(20, 'x')));
    for (const Refusal& r : {
             Refusal{"other rate", pcm22, 16, 2, 44100, wtPCM, "Cannot append data in different audio format."},
             Refusal{"other bits", pcm22, 8, 2, 22050, wtPCM, "Cannot append data in different audio format."},
             Refusal{"float file", floatFile, 16, 2, 22050, wtPCM, "Cannot append data to this .wav file."},
             Refusal{"not a wave file", QByteArray("hello world, this is text"), 16, 2, 22050, wtPCM, "Cannot append data to this .wav file."},
             Refusal{"chunk after the data", trailing, 16, 2, 22050, wtPCM, "Cannot append data to this .wav file."},
         }) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(WriteAll(path, r.existing));
        Writer w(r.bits, r.channels, r.rate, 4000);
        w.out.SetWavType(r.type);
        w.out.SetFileMode(foAppend);
        EXPECT_EQ(w.Write(path), r.message);
        EXPECT_EQ(ReadAll(path), r.existing);
        EXPECT_EQ(w.gen.InitCount(), w.gen.FlushCount());
    }
    // An input that ADPCM cannot take leaves an existing file alone in rewrite mode too.
    ASSERT_TRUE(WriteAll(path, pcm22));
    Writer eight(8, 1, 22050, 4000);
    eight.out.SetWavType(wtDVIADPCM);
    EXPECT_EQ(eight.Write(path), "Cannot encode 8 bit sound into ADPCM.");
    EXPECT_EQ(ReadAll(path), pcm22);
    // Appending to a file that does not exist makes a new one.
    const QString fresh = dir.filePath("fresh.wav");
    Writer w(16, 1, 8000, 1000);
    w.out.SetFileMode(foAppend);
    ASSERT_EQ(w.Write(fresh), "");
    EXPECT_EQ(ReadAll(fresh), PcmFile(1, 8000, 16, PatternBytes(0, 1000)));
}

TEST(WaveWrite, StoppedOrOpenEndedRunsLeaveTrueSizes)
{
    QTemporaryDir dir;
    for (const TWavType type : {wtPCM, wtDVIADPCM}) {
        for (const int64_t size : {int64_t(-1), int64_t(400000000)}) {
            SCOPED_TRACE(testing::Message() << WavTypeIdent(type) << ", input size " << size);
            const QString path = dir.filePath("s.wav");
            Writer w(16, 2, 44100, size, TAuGenerator::TWaveform::Sine);
            w.gen.SetDelayMicroseconds(200);
            w.out.SetWavType(type);
            w.out.SetFileName(path);
            w.out.Run();
            ASSERT_TRUE(PumpUntil([&] { return QFileInfo(path).size() > 100000; }));
            w.out.Stop(true);
            ASSERT_TRUE(PumpUntil([&] { return !w.out.Busy(); }));
            const QByteArray file = ReadAll(path);
            const int header = type == wtPCM ? 44 : 60;
            EXPECT_EQ(At32(file, 4), uint32_t(file.size() - 8));
            EXPECT_EQ(At32(file, header - 4), uint32_t(file.size() - header));
            TWaveIn in;
            in.SetFileName(path);
            ASSERT_TRUE(in.Valid());
            if (type == wtPCM) {
                EXPECT_EQ(in.Size(), file.size() - header);
            } else {
                // The frame count is what was taken from the input: at most one block
                // short of what the blocks hold.
                const int64_t blocks = (file.size() - header) / 512;
                EXPECT_LE(int64_t(At32(file, 48)), blocks * 505);
                EXPECT_GT(int64_t(At32(file, 48)), (blocks - 1) * 505);
            }
        }
    }
}

// A PCM file read as stored is copied file to file by the system: the bytes are those
// GetData gives, within the sample range and never past the data chunk (a chunk after it
// stays out).
TEST(WaveWrite, FileToFileCopyKeepsRangeAndChunkEnd)
{
    QTemporaryDir dir;
    const QString src = dir.filePath("src.wav"), copy = dir.filePath("copy.wav");
    const QByteArray data = PatternBytes(0, 3000 * 4);
    WriteAll(src, Riff(Chunk("fmt ", FmtBody(1, 2, 44100, 4, 16)) + Chunk("data", data) + Chunk("LIST", QByteArray(64, 'x'))));
    struct Case { int64_t start, end; };
    for (const Case c : {Case{0, -1}, Case{100, 2500}, Case{7, -1}}) {
        SCOPED_TRACE(testing::Message() << c.start << ".." << c.end);
        TWaveIn in;
        in.SetFileName(src);
        in.SetStartSample(c.start);
        in.SetEndSample(c.end);
        TWaveOut out;
        out.SetInput(&in);
        out.SetFileName(copy);
        ASSERT_EQ(RunOutput(out), "");
        const int64_t last = c.end < 0 ? 2999 : c.end;      // the range's end is inclusive
        EXPECT_EQ(ReadAll(copy).mid(44), data.mid(int(c.start * 4), int((last - c.start + 1) * 4)));
    }
}

TEST(WaveWrite, SettersIgnoreValuesTheyCannotTake)
{
    TWaveOut out;
    for (const int bad : {510, 0, 3})
        out.SetBlockSize(uint16_t(bad));
    EXPECT_EQ(out.BlockSize(), 512);
    out.SetBlockSize(1024);
    EXPECT_EQ(out.BlockSize(), 1024);
    for (const TWavType bad : {wtMSADPCM, wtExtPCM, wtIEEEFloat, wtACM, wtUnsupported})
        out.SetWavType(bad);
    EXPECT_EQ(out.WavType(), wtPCM);
    out.SetWavType(wtDVIADPCM);
    EXPECT_EQ(out.WavType(), wtDVIADPCM);

    // Not while busy; and a file name is needed.
    TAuGenerator gen;
    gen.SetGeneratedSize(-1);
    gen.SetDelayMicroseconds(500);
    out.SetInput(&gen);
    EXPECT_EQ(RunOutput(out), "File name is not assigned.");
    QTemporaryDir dir;
    out.SetFileName(dir.filePath("busy.wav"));
    out.Run();
    out.SetWavType(wtPCM);
    out.SetBlockSize(256);
    EXPECT_EQ(out.WavType(), wtDVIADPCM);
    EXPECT_EQ(out.BlockSize(), 1024);
    out.Stop(false);
}
