// Vorbis encoder and decoder components: round trips, peers (ogginfo, oggdec,
// vorbiscomment), comments, bitrate rules, seeking and bad input.
#include "audio/AuFileStream.h"
#include "audio/VorbisIn.h"
#include "audio/VorbisOut.h"
#include "fixtures/AuTestComponents.h"
#include "fixtures/TestUtil.h"

#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <vorbis/codec.h>

namespace {

struct TPeerResult {
    int code;
    QByteArray out;
};

// Runs a peer tool found on PATH and collects its standard output and error. Started with
// fork and exec: ThreadSanitizer cannot follow QProcess's way of starting children and
// would report races that are not there in every later test.
TPeerResult RunPeer(const QString& program, const QStringList& args)
{
    std::vector<QByteArray> words{program.toUtf8()};
    for (const QString& a : args)
        words.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {-1, {}};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    QByteArray out;
    char chunk[4096];
    for (ssize_t n; pid > 0 && ((n = ::read(fds[0], chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR));)
        if (n > 0)
            out.append(chunk, n);
    ::close(fds[0]);
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Runs an output to its end; the message of a failed run, empty on success.
QString RunToEnd(TAuOutput& out)
{
    out.Run();
    EXPECT_TRUE(PumpUntil([&] { return !out.Busy(); }, 60000));
    return out.ExceptionMessage();
}

// Reads a whole decoder; every GetData is checked against the size it announced.
QByteArray DecodeAll(TVorbisIn& in, bool* overrun = nullptr)
{
    QByteArray all;
    in.Init();
    for (;;) {
        void* data = nullptr;
        uint32_t bytes = 5000;
        in.GetData(data, bytes);
        if (bytes == 0)
            break;
        all.append(static_cast<const char*>(data), qsizetype(bytes));
        if (overrun && in.Size() > 0 && all.size() > in.Size())
            *overrun = true;
    }
    in.Flush();
    return all;
}

// Signal-to-noise ratio (dB) of decoded 16-bit PCM against the generated 16-bit source.
double SnrDb(const QByteArray& source16, const QByteArray& decoded16)
{
    const qsizetype n = std::min(source16.size(), decoded16.size()) / 2;
    double signal = 0, noise = 0;
    for (qsizetype i = 0; i < n; ++i) {
        int16_t a, b;
        std::memcpy(&a, source16.constData() + 2 * i, 2);
        std::memcpy(&b, decoded16.constData() + 2 * i, 2);
        signal += double(a) * a;
        noise += double(a - b) * (a - b);
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

// Rewrites a file's comment header with the given raw entries (which may lack "="), as
// no command-line tool will.
QByteArray WithRawComments(const QByteArray& file, const std::vector<const char*>& entries)
{
    ogg_sync_state oy;
    ogg_sync_init(&oy);
    char* buf = ogg_sync_buffer(&oy, long(file.size()));
    std::memcpy(buf, file.constData(), size_t(file.size()));
    ogg_sync_wrote(&oy, long(file.size()));
    ogg_stream_state in{}, out{};
    ogg_page og;
    ogg_packet op;
    QByteArray result;
    auto putPages = [&](bool flush) {
        while (flush ? ogg_stream_flush(&out, &og) : ogg_stream_pageout(&out, &og)) {
            result.append(reinterpret_cast<const char*>(og.header), og.header_len);
            result.append(reinterpret_cast<const char*>(og.body), og.body_len);
        }
    };
    int packet = 0;
    bool started = false;
    while (ogg_sync_pageout(&oy, &og) == 1) {
        if (!started) {
            ogg_stream_init(&in, ogg_page_serialno(&og));
            ogg_stream_init(&out, ogg_page_serialno(&og));
            started = true;
        }
        ogg_stream_pagein(&in, &og);
        while (ogg_stream_packetout(&in, &op) == 1) {
            if (packet == 1) {
                vorbis_comment vc;
                vorbis_comment_init(&vc);
                for (const char* e : entries)
                    vorbis_comment_add(&vc, e);
                ogg_packet cp;
                vorbis_commentheader_out(&vc, &cp);
                cp.packetno = 1;
                ogg_stream_packetin(&out, &cp);
                ogg_packet_clear(&cp);
                vorbis_comment_clear(&vc);
            } else {
                ogg_stream_packetin(&out, &op);
            }
            putPages(++packet == 3);
        }
    }
    putPages(true);
    ogg_stream_clear(&in);
    ogg_stream_clear(&out);
    ogg_sync_clear(&oy);
    return result;
}

class VorbisTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    QString Path(const QString& name) const { return dir.filePath(name); }

    // Encodes Frames of a sine tone in the given format into name; the run's message.
    QString Encode(const QString& name, int bits, int channels, int rate, int64_t frames,
                   const std::function<void(TVorbisOut&)>& setUp = {})
    {
        TAuGenerator gen;
        gen.SetFormat(bits, channels, rate);
        gen.SetWaveform(TAuGenerator::TWaveform::Sine);
        gen.SetTone(440.0, 0.5);
        gen.SetGeneratedSize(frames * channels * bits / 8);
        TVorbisOut out;
        out.SetInput(&gen);
        out.SetFileName(Path(name));
        if (setUp)
            setUp(out);
        return RunToEnd(out);
    }

    // The same tone as 16-bit PCM, for comparison with what was decoded.
    static QByteArray Tone16(int channels, int rate, int64_t frames)
    {
        TAuGenerator gen;
        gen.SetFormat(16, channels, rate);
        gen.SetWaveform(TAuGenerator::TWaveform::Sine);
        gen.SetTone(440.0, 0.5);
        gen.SetGeneratedSize(frames * channels * 2);
        QByteArray all(qsizetype(frames * channels * 2), '\0');
        bool ended = false;
        gen.Init();
        all.truncate(gen.FillBuffer(all.data(), int(all.size()), ended));
        gen.Flush();
        return all;
    }
};

TEST(VorbisBitRates, SettersAndEncoderArguments)
{
    // Nominal 128 with the others automatic: maximum automatic, minimum the nominal.
    const TVorbisEncodeInitArgs a = VorbisEncodeInitArgs(brAutoSelect, bitrate128, brAutoSelect);
    EXPECT_EQ(a.Maximum, -1);
    EXPECT_EQ(a.Nominal, 128000);
    EXPECT_EQ(a.Minimum, 128000);
    const TVorbisEncodeInitArgs b = VorbisEncodeInitArgs(bitrate320, bitrate128, bitrate45);
    EXPECT_EQ(b.Maximum, 320000);
    EXPECT_EQ(b.Minimum, 45000);

    struct Step {
        char which;      // N nominal, X maximum, M minimum
        TVorbisBitRate value;
        TVorbisBitRate max, nom, min;
    };
    const Step steps[] = {
        {'X', bitrate192, brAutoSelect, brAutoSelect, brAutoSelect},   // ignored: nominal automatic
        {'M', bitrate64, brAutoSelect, brAutoSelect, brAutoSelect},    // ignored: above nominal
        {'N', bitrate128, bitrate128, bitrate128, brAutoSelect},       // raises the maximum
        {'X', bitrate96, bitrate128, bitrate128, brAutoSelect},        // ignored: below nominal
        {'X', bitrate256, bitrate256, bitrate128, brAutoSelect},
        {'M', bitrate64, bitrate256, bitrate128, bitrate64},
        {'M', bitrate160, bitrate256, bitrate128, bitrate64},          // ignored
        {'N', bitrate48, bitrate256, bitrate48, bitrate48},            // pulls the minimum down
        {'X', brAutoSelect, brAutoSelect, bitrate48, bitrate48},
        {'N', brAutoSelect, brAutoSelect, brAutoSelect, brAutoSelect}, // resets the maximum
    };
    TVorbisOut out;
    int i = 0;
    for (const Step& s : steps) {
        if (s.which == 'N')
            out.SetDesiredNominalBitrate(s.value);
        else if (s.which == 'X')
            out.SetDesiredMaximumBitrate(s.value);
        else
            out.SetMinimumBitrate(s.value);
        EXPECT_EQ(out.DesiredMaximumBitrate(), s.max) << "step " << i;
        EXPECT_EQ(out.DesiredNominalBitrate(), s.nom) << "step " << i;
        EXPECT_EQ(out.MinimumBitrate(), s.min) << "step " << i;
        ++i;
    }
}

TEST_F(VorbisTest, RoundTripsEveryInputFormatExactlyAndPeersAgree)
{
    struct Case {
        int bits, channels, rate;
    };
    const Case cases[] = {{8, 1, 22050}, {16, 2, 44100}, {24, 2, 48000},
                          {16, 1, 32000}, {24, 1, 22050}, {8, 2, 48000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 bit, %2 ch, %3 Hz").arg(c.bits).arg(c.channels).arg(c.rate).toStdString());
        const int64_t frames = c.rate / 4 + 17;      // not a whole number of blocks
        const QString ogg = Path("rt.ogg");
        ASSERT_EQ(Encode("rt.ogg", c.bits, c.channels, c.rate, frames), QString());

        const TPeerResult info = RunPeer("ogginfo", {ogg});
        EXPECT_EQ(info.code, 0) << info.out.toStdString();
        const TPeerResult dec = RunPeer("oggdec", {"-Q", "-R", "-o", Path("rt.raw"), ogg});
        ASSERT_EQ(dec.code, 0) << dec.out.toStdString();
        EXPECT_EQ(ReadAll(Path("rt.raw")).size(), frames * 2 * c.channels);

        TVorbisIn in;
        in.SetFileName(ogg);
        ASSERT_TRUE(in.Valid());
        EXPECT_EQ(in.Channels(), c.channels);
        EXPECT_EQ(in.SampleRate(), c.rate);
        EXPECT_EQ(in.BitsPerSample(), 16);
        EXPECT_EQ(in.Size(), frames * 2 * c.channels);
        bool overrun = false;
        const QByteArray pcm = DecodeAll(in, &overrun);
        EXPECT_FALSE(overrun);
        EXPECT_EQ(pcm.size(), frames * 2 * c.channels);
        EXPECT_EQ(pcm, ReadAll(Path("rt.raw")));
        // Right channel order, scaling and sign: the tone comes back, not noise.
        EXPECT_GT(SnrDb(Tone16(c.channels, c.rate, frames), pcm), 15.0);
    }
}

TEST_F(VorbisTest, EmptyInputGivesAValidFileWithoutAudio)
{
    ASSERT_EQ(Encode("empty.ogg", 16, 2, 44100, 0), QString());
    // The headers and an end-of-stream page; ogginfo merely notes the zero granule
    // position, as it does for oggenc's output of an empty file.
    const QByteArray info = RunPeer("ogginfo", {Path("empty.ogg")}).out;
    EXPECT_TRUE(info.contains("Vorbis headers parsed")) << info.toStdString();
    EXPECT_TRUE(info.contains("Logical stream 1 ended")) << info.toStdString();
    EXPECT_FALSE(info.contains("EOS not set")) << info.toStdString();
    ASSERT_EQ(RunPeer("oggdec", {"-Q", "-R", "-o", Path("empty.raw"), Path("empty.ogg")}).code, 0);
    EXPECT_EQ(ReadAll(Path("empty.raw")).size(), 0);
    TVorbisIn in;
    in.SetFileName(Path("empty.ogg"));
    ASSERT_TRUE(in.Valid());
    EXPECT_EQ(in.Size(), 0);
    EXPECT_EQ(DecodeAll(in).size(), 0);
}

TEST_F(VorbisTest, CommentsAreReadByPeersAndReadFromPeers)
{
    // Ours to vorbiscomment: lower-case names in table order, empty fields left out.
    ASSERT_EQ(Encode("c.ogg", 16, 2, 44100, 4410, [](TVorbisOut& out) {
                  TVorbisTags tags;
                  tags.SetTitle(QStringLiteral("标题 Ünïcode"));
                  tags.SetArtist("Artist");
                  tags.SetTrack("7");
                  tags.SetAlbumPeak("0.9");
                  out.SetComments(tags);
              }),
              QString());
    TPeerResult listed = RunPeer("vorbiscomment", {"-l", Path("c.ogg")});
    EXPECT_EQ(QString::fromUtf8(listed.out),
              QStringLiteral("artist=Artist\ntitle=标题 Ünïcode\ntracknumber=7\nreplaygain_album_peak=0.9\n"));

    // An empty comment set writes a comment header without fields.
    ASSERT_EQ(Encode("none.ogg", 16, 1, 22050, 1000), QString());
    EXPECT_EQ(RunPeer("vorbiscomment", {"-l", Path("none.ogg")}).out, QByteArray());

    // Peer's to ours: any case of key, UTF-8, the later entry wins, others ignored.
    ASSERT_TRUE(WriteAll(Path("list.txt"), QStringLiteral("TITLE=Grüße 歌\nArtist=One\nARTIST=Two\n"
                                                          "GENRE=Rock\nDate=1999\nTrackNumber=3\n"
                                                          "discnumber=2\nCOMMENT=x\n").toUtf8()));
    ASSERT_EQ(RunPeer("vorbiscomment", {"-w", "-c", Path("list.txt"), Path("none.ogg")}).code, 0);
    TVorbisIn in;
    in.SetFileName(Path("none.ogg"));
    const TVorbisTags& t = in.VorbisComments();
    EXPECT_EQ(t.Title(), QStringLiteral("Grüße 歌"));
    EXPECT_EQ(t.Artist(), "Two");
    EXPECT_EQ(t.Genre(), "Rock");
    EXPECT_EQ(t.Date(), "1999");
    EXPECT_EQ(t.Track(), "3");
    EXPECT_EQ(t.Disc(), QString());     // not one of the fields read back
    in.CloseFile();

    // An entry without "=" is skipped; the ones around it still count.
    ASSERT_TRUE(WriteAll(Path("raw.ogg"), WithRawComments(ReadAll(Path("none.ogg")),
                                                          {"noequals", "title=After", "=empty key"})));
    TVorbisIn raw;
    raw.SetFileName(Path("raw.ogg"));
    ASSERT_TRUE(raw.Valid());
    EXPECT_EQ(raw.VorbisComments().Title(), "After");
    EXPECT_EQ(raw.Size(), 1000 * 2);
}

TEST_F(VorbisTest, ManagedBitrateReachesTheStreamInfo)
{
    ASSERT_EQ(Encode("br.ogg", 16, 2, 44100, 44100, [](TVorbisOut& out) {
                  out.SetDesiredNominalBitrate(bitrate128);
              }),
              QString());
    TVorbisIn in;
    in.SetFileName(Path("br.ogg"));
    ASSERT_TRUE(in.Valid());
    EXPECT_EQ(in.NominalBitrate(), 128000);
    EXPECT_EQ(in.LowerBitrate(), 128000);
}

TEST_F(VorbisTest, SeekingDecodesFromTheFrameAskedFor)
{
    const int64_t frames = 30000;
    ASSERT_EQ(Encode("s.ogg", 16, 2, 44100, frames), QString());
    TVorbisIn in;
    in.SetFileName(Path("s.ogg"));
    const QByteArray whole = DecodeAll(in);
    ASSERT_EQ(whole.size(), frames * 4);
    for (int64_t at : {int64_t(0), int64_t(12345), frames - 1, frames}) {
        in.Init();
        void* data = nullptr;
        uint32_t bytes = 1000;
        in.GetData(data, bytes);      // read a little before seeking
        ASSERT_TRUE(in.Seek(at));
        QByteArray tail;
        for (;;) {
            bytes = 4096;
            in.GetData(data, bytes);
            if (bytes == 0)
                break;
            tail.append(static_cast<const char*>(data), qsizetype(bytes));
        }
        in.Flush();
        EXPECT_EQ(tail, whole.mid(qsizetype(at * 4))) << "seek to " << at;
    }
}

TEST_F(VorbisTest, BadInputAndFailuresAreReportedNotHidden)
{
    // Not Ogg: not valid, without raising; reading raises the library's error number.
    ASSERT_TRUE(WriteAll(Path("text.ogg"), QByteArray(5000, 'x')));
    TVorbisIn notOgg;
    notOgg.SetFileName(Path("text.ogg"));
    EXPECT_FALSE(notOgg.Valid());
    EXPECT_THROW(notOgg.Init(), EAuException);
    TVorbisIn missing;
    missing.SetFileName(Path("missing.ogg"));
    EXPECT_FALSE(missing.Valid());
    try {
        missing.Init();
        ADD_FAILURE() << "no error";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), "Failed to open stream");
    }
    // A file cut short after its headers still opens and decodes what is there.
    ASSERT_EQ(Encode("cut.ogg", 16, 2, 44100, 4 * 44100), QString());
    const QByteArray full = ReadAll(Path("cut.ogg"));
    ASSERT_TRUE(WriteAll(Path("cut.ogg"), full.left(full.size() * 3 / 4)));
    TVorbisIn cut;
    cut.SetFileName(Path("cut.ogg"));
    const qsizetype got = DecodeAll(cut).size();
    EXPECT_GT(got, 44100 * 4);
    EXPECT_LT(got, 4 * 44100 * 4);

    // A bitrate the encoder refuses: the message, and no complete-looking file.
    EXPECT_EQ(Encode("refused.ogg", 16, 1, 8000, 8000,
                     [](TVorbisOut& out) { out.SetDesiredNominalBitrate(bitrate499); }),
              "Vorbis codec setup with the requested bitrate failed. Try a lower bitrate.");
    EXPECT_NE(RunPeer("ogginfo", {Path("refused.ogg")}).code, 0);

    EXPECT_EQ(Encode("", 16, 2, 44100, 100, [](TVorbisOut& out) { out.SetFileName(QString()); }),
              "File name is not assigned.");

    // A destination that stops taking bytes.
    struct TFullStream : TMemoryStream {
        int64_t Write(const void* b, int64_t n) override
        {
            return Size() + n > 6000 ? -1 : TMemoryStream::Write(b, n);
        }
    } full6000;
    EXPECT_EQ(Encode("x.ogg", 16, 2, 44100, 44100, [&](TVorbisOut& out) { out.SetStream(&full6000); }),
              "Error writing ogg file");
}

TEST_F(VorbisTest, AppendModeAddsASecondStreamAfterTheFirst)
{
    ASSERT_EQ(Encode("a.ogg", 16, 2, 44100, 1000), QString());
    const qint64 first = ReadAll(Path("a.ogg")).size();
    ASSERT_EQ(Encode("a.ogg", 16, 2, 44100, 1000, [](TVorbisOut& out) {
                  out.SetFileMode(foAppend);
                  out.SetSerial(2);
              }),
              QString());
    EXPECT_GT(ReadAll(Path("a.ogg")).size(), first);
    TVorbisIn in;
    in.SetFileName(Path("a.ogg"));
    ASSERT_TRUE(in.Valid());
    EXPECT_EQ(in.Size(), 2000 * 4);
}

} // namespace
