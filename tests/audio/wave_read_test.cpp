// Reading WAV files: the tolerant header scan, every coding, float conversion, ADPCM
// blocks, seeking, and files made by sox and ffmpeg against those tools' own decoding.
#include "audio/WaveIn.h"
#include "WaveTestUtil.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstring>

using namespace WaveTest;

namespace {

// 100 frames of 16-bit stereo with a known pattern.
const QByteArray Pcm = PatternBytes(0, 400);

QByteArray DviFmt(int Channels, int Align, int Bits = 4)
{
    const int spb = Channels == 1 ? 2 * (Align - 4) + 1 : Align - 7;
    return Chunk("fmt ", FmtBody(0x11, Channels, 8000, Align, Bits, Le16(2) + Le16(spb)));
}

struct Opened {
    TMemoryStream stream;
    TWaveIn in;
    explicit Opened(const QByteArray& File) : stream(File) { in.SetStream(&stream); }
};

QByteArray Floats32(std::initializer_list<float> v)
{
    QByteArray b(int(v.size() * 4), 0);
    std::memcpy(b.data(), std::data(v), size_t(b.size()));
    return b;
}

QByteArray Floats64(std::initializer_list<double> v)
{
    QByteArray b(int(v.size() * 8), 0);
    std::memcpy(b.data(), std::data(v), size_t(b.size()));
    return b;
}

std::vector<int32_t> Ints32(const QByteArray& b)
{
    std::vector<int32_t> v(size_t(b.size() / 4));
    std::memcpy(v.data(), b.constData(), v.size() * 4);
    return v;
}

} // namespace

TEST(WaveRead, TolerantHeaderScanFindsTheData)
{
    const QByteArray fmt = Chunk("fmt ", FmtBody(1, 2, 44100, 4, 16));
    const QByteArray list = Chunk("LIST", "INFOISFT" + Le32(6) + "tests\0");
    struct Case { const char* name; QByteArray file; };
    for (const Case& c : {
             Case{"plain", Riff(fmt + Chunk("data", Pcm))},
             Case{"junk before RIFF", QByteArray("junk!!\x01", 7) + Riff(fmt + Chunk("data", Pcm))},
             Case{"lower-case codes", "riff" + Le32(0) + "wave" + Chunk("FMT ", FmtBody(1, 2, 44100, 4, 16)) + Chunk("DATA", Pcm)},
             Case{"LIST between fmt and data", Riff(fmt + list + Chunk("data", Pcm))},
             Case{"chunk after the data", Riff(fmt + Chunk("data", Pcm) + list)},
             Case{"data size 0 (never filled in)", Riff(fmt + "data" + Le32(0) + Pcm)},
             Case{"data size beyond the file", Riff(fmt + "data" + Le32(1 << 20) + Pcm)},
         }) {
        SCOPED_TRACE(c.name);
        Opened f(c.file);
        ASSERT_TRUE(f.in.Valid());
        EXPECT_EQ(f.in.WavType(), wtPCM);
        EXPECT_EQ(f.in.Channels(), 2);
        EXPECT_EQ(f.in.SampleRate(), 44100);
        EXPECT_EQ(f.in.TotalSamples(), 100);
        EXPECT_EQ(ReadInput(f.in, 1000), Pcm);
    }
}

TEST(WaveRead, FilesThatCannotBeReadAreNotValidAndDeliverNothing)
{
    const QByteArray dvi = DviFmt(1, 256);
    const QByteArray fact = Chunk("fact", Le32(505));
    const QByteArray block(256, 0);
    struct Case { const char* name; QByteArray file; TWavType type; };
    for (const Case& c : {
             Case{"no RIFF", QByteArray(100, 'x'), wtUnsupported},
             Case{"empty", QByteArray(), wtUnsupported},
             Case{"DVI without fact", Riff(dvi + Chunk("data", block)), wtUnsupported},
             Case{"MS ADPCM without fact", Riff(Chunk("fmt ", FmtBody(2, 1, 8000, 256, 4, Le16(32) + Le16(500) + Le16(1) + Le32(256))) + Chunk("data", block)), wtUnsupported},
             Case{"fact after data", Riff(dvi + Chunk("data", block) + fact), wtUnsupported},
             Case{"DVI with 3 bits", Riff(DviFmt(1, 256, 3) + fact + Chunk("data", block)), wtDVIADPCM},
             Case{"DVI with 3 channels", Riff(Chunk("fmt ", FmtBody(0x11, 3, 8000, 256, 4, Le16(2) + Le16(200))) + fact + Chunk("data", block)), wtDVIADPCM},
             Case{"DVI samples per block beyond the block", Riff(Chunk("fmt ", FmtBody(0x11, 1, 8000, 256, 4, Le16(2) + Le16(600))) + fact + Chunk("data", block)), wtDVIADPCM},
             Case{"MPEG layer 3 (no compression manager)", Riff(Chunk("fmt ", FmtBody(0x55, 2, 44100, 1, 0, Le16(12) + QByteArray(12, 0))) + fact + Chunk("data", block)), wtACM},
             Case{"unknown tag", Riff(Chunk("fmt ", FmtBody(0x161, 2, 44100, 4, 16)) + Chunk("data", Pcm)), wtUnsupported},
             Case{"short fmt", Riff(Chunk("fmt ", Le16(1) + Le16(2)) + Chunk("data", Pcm)), wtUnsupported},
             Case{"no channels", Riff(Chunk("fmt ", FmtBody(1, 0, 44100, 4, 16)) + Chunk("data", Pcm)), wtPCM},
             Case{"12-bit PCM", Riff(Chunk("fmt ", FmtBody(1, 2, 44100, 4, 12)) + Chunk("data", Pcm)), wtPCM},
             Case{"16-bit float", Riff(Chunk("fmt ", FmtBody(3, 2, 44100, 4, 16)) + Chunk("data", Pcm)), wtIEEEFloat},
             Case{"header beyond 65535 bytes", Riff(Chunk("fmt ", FmtBody(1, 2, 44100, 4, 16)) + Chunk("junk", QByteArray(70000, 0)) + Chunk("data", Pcm)), wtUnsupported},
             Case{"truncated in the fmt chunk", Riff(Chunk("fmt ", FmtBody(1, 2, 44100, 4, 16))).left(30), wtUnsupported},
             Case{"unknown extensible sub-format", Riff(Chunk("fmt ", FmtBody(0xFFFE, 2, 44100, 4, 16, Le16(22) + Le16(16) + Le32(3) + QByteArray(16, 7))) + Chunk("data", Pcm)), wtUnsupported},
         }) {
        SCOPED_TRACE(c.name);
        Opened f(c.file);
        EXPECT_FALSE(f.in.Valid());
        EXPECT_EQ(f.in.WavType(), c.type);
        EXPECT_EQ(ReadInput(f.in), QByteArray());
        EXPECT_EQ(f.in.Size(), 0);
    }
}

TEST(WaveRead, FloatBecomesSigned32Bit)
{
    const std::vector<int32_t> expected{2147483647, -2147483647 - 1, 1073741823, 0, 2147483647, -2147483647 - 1, -536870912, 0};
    const QByteArray ext = Le16(22) + Le16(32) + Le32(3) + QByteArray(reinterpret_cast<const char*>(Wav::SubFormatIEEEFloat), 16);
    const QByteArray f32 = Floats32({1.0f, -1.0f, 0.5f, 0.0f, 2.0f, -3.0f, -0.25f, std::nanf("")});
    struct Case { const char* name; QByteArray file; TWavType type; };
    for (const Case& c : {
             Case{"32-bit", Riff(Chunk("fmt ", FmtBody(3, 2, 48000, 8, 32)) + Chunk("fact", Le32(4)) + Chunk("data", f32)), wtIEEEFloat},
             Case{"extensible 32-bit", Riff(Chunk("fmt ", FmtBody(0xFFFE, 2, 48000, 8, 32, ext)) + Chunk("data", f32)), wtExtIEEEFloat},
             Case{"64-bit", Riff(Chunk("fmt ", FmtBody(3, 2, 48000, 16, 64)) + Chunk("data", Floats64({1.0, -1.0, 0.5, 0.0, 2.0, -3.0, -0.25, std::nan("")}))), wtIEEEFloat},
         }) {
        SCOPED_TRACE(c.name);
        Opened f(c.file);
        ASSERT_TRUE(f.in.Valid());
        EXPECT_EQ(f.in.WavType(), c.type);
        EXPECT_EQ(f.in.BitsPerSample(), 32);
        EXPECT_EQ(f.in.Size(), 32);          // 64-bit: half the data chunk
        EXPECT_EQ(f.in.TotalSamples(), 4);
        EXPECT_EQ(Ints32(ReadInput(f.in, 12)), expected);
    }
}

TEST(WaveRead, SeekingLandsOnTheFrameOrTheAdpcmBlockStart)
{
    // 3 IMA mono blocks of 256 bytes (505 frames each), all silence.
    const QByteArray ima = Riff(DviFmt(1, 256) + Chunk("fact", Le32(1515)) + Chunk("data", QByteArray(768, 0)));
    Opened a(ima);
    a.in.Init();
    ASSERT_TRUE(a.in.Seek(700));
    EXPECT_EQ(a.in.Position(), 505 * 2);
    ASSERT_TRUE(a.in.Seek(504));
    EXPECT_EQ(a.in.Position(), 0);
    a.in.Flush();

    // Plain PCM: exact frame; a range delivers exactly its frames.
    Opened p(PcmFile(2, 44100, 16, Pcm));
    p.in.SetStartSample(10);
    p.in.SetEndSample(19);
    EXPECT_EQ(ReadInput(p.in), Pcm.mid(40, 40));
    // Extensible PCM seeks too.
    const QByteArray ext = Le16(22) + Le16(16) + Le32(3) + QByteArray(reinterpret_cast<const char*>(Wav::SubFormatPCM), 16);
    Opened e(Riff(Chunk("fmt ", FmtBody(0xFFFE, 2, 44100, 4, 16, ext)) + Chunk("data", Pcm)));
    e.in.SetStartSample(90);
    EXPECT_EQ(ReadInput(e.in), Pcm.mid(360));
}

// Files made by the peers decode as the peer that follows the reference algorithm does.
TEST(WaveRead, PeerFilesDecodeLikeThePeers)
{
    if (!HaveTool("sox") || !HaveTool("ffmpeg"))
        GTEST_FAIL() << "sox and ffmpeg are needed";
    QTemporaryDir dir;
    const QString src = dir.filePath("src.wav");
    const QString src6 = dir.filePath("src6.wav");
    // Two tones, 0.3 s: about 13 IMA blocks; odd lengths leave a partial last block.
    ASSERT_TRUE(Tool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "0.3", "sine", "440", "sine", "3000", "vol", "0.7"}));
    ASSERT_TRUE(Tool("sox", {"-n", "-r", "22050", "-c", "6", "-b", "16", src6, "synth", "0.1", "sine", "300", "vol", "0.5"}));
    struct Case {
        const char* name;
        QString program;
        QStringList encode;      // arguments that make the file from src (IN, OUT appended)
        QString source;
        TWavType type;
        int bits;
        QString decoder;         // the peer whose decoding we match exactly
    };
    const QString sox = "sox", ffmpeg = "ffmpeg";
    for (const Case& c : {
             Case{"sox IMA ADPCM", sox, {"-e", "ima-adpcm"}, src, wtDVIADPCM, 16, sox},
             Case{"sox MS ADPCM", sox, {"-e", "ms-adpcm"}, src, wtMSADPCM, 16, ffmpeg},
             Case{"ffmpeg IMA ADPCM", ffmpeg, {"-c:a", "adpcm_ima_wav"}, src, wtDVIADPCM, 16, sox},
             Case{"ffmpeg MS ADPCM", ffmpeg, {"-c:a", "adpcm_ms"}, src, wtMSADPCM, 16, ffmpeg},
             Case{"sox 8-bit", sox, {"-b", "8"}, src, wtPCM, 8, sox},
             Case{"sox 24-bit", sox, {"-b", "24"}, src, wtExtPCM, 24, sox},
             Case{"sox 6 channels", sox, {}, src6, wtExtPCM, 16, sox},
             Case{"sox float 32", sox, {"-e", "floating-point", "-b", "32"}, src, wtIEEEFloat, 32, QString()},
             Case{"sox float 64", sox, {"-e", "floating-point", "-b", "64"}, src, wtIEEEFloat, 32, QString()},
             Case{"ffmpeg float 32", ffmpeg, {"-c:a", "pcm_f32le"}, src, wtExtIEEEFloat, 32, QString()},
             Case{"ffmpeg 24-bit", ffmpeg, {"-c:a", "pcm_s24le"}, src, wtExtPCM, 24, ffmpeg},
         }) {
        SCOPED_TRACE(c.name);
        const QString file = dir.filePath("peer.wav");
        QFile::remove(file);
        const QStringList args = c.program == sox
            ? QStringList{"-D", c.source} + c.encode + QStringList{file}
            : QStringList{"-v", "error", "-y", "-i", c.source} + c.encode + QStringList{file};
        ASSERT_TRUE(Tool(c.program, args));
        TWaveIn in;
        in.SetFileName(file);
        ASSERT_TRUE(in.Valid());
        EXPECT_EQ(in.WavType(), c.type);
        EXPECT_EQ(in.BitsPerSample(), c.bits);
        const QByteArray ours = ReadInput(in);
        EXPECT_EQ(ours.size(), in.Size());
        const int frames = c.source == src ? 13230 : 2205;
        const int channels = c.source == src ? 2 : 6;
        // Exactly the frames of the fact chunk: sox counts the source's frames, ffmpeg
        // every frame of its whole blocks.
        const int64_t sourceBytes = int64_t(frames) * channels * c.bits / 8;
        if (c.program == ffmpeg && c.bits == 16)
            EXPECT_EQ(ours.size(), in.TotalSamples() * 4);
        else
            EXPECT_EQ(ours.size(), sourceBytes);
        EXPECT_GE(ours.size(), sourceBytes);
        if (c.decoder.isEmpty()) {
            // Float: our 32-bit values, rounded to 16 bits, are the 16-bit source.
            const std::vector<int> orig = Samples16(ReadAll(src).mid(44));
            const std::vector<int32_t> v = Ints32(ours);
            ASSERT_EQ(v.size(), orig.size());
            int off = 0;
            for (size_t i = 0; i < v.size(); ++i)
                off += ((int64_t(v[i]) + 0x8000) >> 16) != orig[i];
            EXPECT_EQ(off, 0);
            continue;
        }
        const QString raw = dir.filePath("peer.raw");
        QFile::remove(raw);
        const QString enc = c.bits == 8 ? "u8" : c.bits == 24 ? "s24le" : "s16le";
        if (c.decoder == sox)
            ASSERT_TRUE(Tool(sox, {"-D", file, "-t", "raw", "-e", c.bits == 8 ? "unsigned" : "signed", "-b", QString::number(c.bits), raw}));
        else
            ASSERT_TRUE(Tool(ffmpeg, {"-v", "error", "-y", "-i", file, "-f", enc, "-c:a", "pcm_" + enc, raw}));
        // The peers decode whole blocks; we stop at the frame count.
        EXPECT_EQ(ours, ReadAll(raw).left(ours.size()));
    }
}
