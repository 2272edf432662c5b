// FLAC from both rip paths and the conversions, checked with the reference flac tools:
// exact audio at every level, tags, WAV formats both ways, damaged input, a stop.
#include "AppTestHome.h"
#include "app/core/DiscSession.h"
#include "audio/WaveIn.h"
#include "encode/FlacOut.h"
#include "fixtures/TestDisc.h"
#include "settings/CDInfo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtEndian>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

namespace {

struct Result {
    int ExitCode = -1;
    QByteArray Out, Err;
};

Result Tool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(120000)) << program.toStdString();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

Result Cli(const QStringList& args) { return Tool(VARNELCD_CLI, args); }

// The data chunk of a WAV file.
QByteArray WavData(const QByteArray& wav)
{
    for (qsizetype at = 12; at + 8 <= wav.size();) {
        const quint32 size = qFromLittleEndian<quint32>(wav.constData() + at + 4);
        if (wav.mid(at, 4) == "data") return wav.mid(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return {};
}

class FlacCliTest : public AppTestHome {
protected:
    static QByteArray Le16(int v) { return QByteArray(1, char(v)) + char(v >> 8); }
    static QByteArray Le32(qint64 v) { return Le16(int(v & 0xFFFF)) + Le16(int(v >> 16)); }
    QByteArray MakeWav(int bits, int channels, int rate, int frames);
    // The outputs (the rip log beside them is another test's business).
    QStringList Files(const QString& dir) const
    {
        QStringList files = QDir(dir).entryList(QDir::Files, QDir::Name);
        files.removeIf([](const QString& name) { return name.endsWith(QLatin1String(".log")); });
        return files;
    }
};

} // namespace

QByteArray FlacCliTest::MakeWav(int bits, int channels, int rate, int frames)
{
    QByteArray data;
    const int bytes = bits / 8;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            // A slow wave with a little noise: compressible, never constant.
            const int v = int(qint64((qint64(i) * (c + 3)) % 400 - 200) * (1 << (bits - 2)) / 200) + int((qint64(i) * 7919 + c) % 5);
            for (int b = 0; b < bytes; ++b) data.append(char(bits == 8 ? (v + 128) >> (8 * b) : v >> (8 * b)));
        }
    QByteArray h = "RIFF" + Le32(36 + data.size()) + "WAVEfmt " + Le32(16) + Le16(1) + Le16(channels) + Le32(rate)
                   + Le32(rate * channels * bytes) + Le16(channels * bytes) + Le16(bits) + "data" + Le32(data.size());
    return h + data;
}

TEST_F(FlacCliTest, EveryLevelDecodesToTheDiscBytesOnBothRipPaths)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:400", "--track", "audio:100"});
    const QByteArray track1 = ReadAll(QString(cue).replace(".cue", ".bin")).left(400 * 2352);
    const QString out = Path("out");
    for (const QString& path : {QStringLiteral("--cd-input-only"), QStringLiteral("--cd-library")}) {
        qint64 sizes[9] = {};
        for (int level = 0; level <= 8; ++level) {
            SCOPED_TRACE((path + " level " + QString::number(level)).toStdString());
            QDir(out).removeRecursively();
            QStringList args{"rip", "--no-cue", "--disc-image", cue, "--out", out, "--tracks", "1", "--format", "flac",
                             "--flac-level", QString::number(level)};
            if (path == "--cd-input-only") args << path;
            const bool keep = level == 3;   // one level keeps its WAV as well
            if (keep) args << "--keep-wav";
            const Result r = Cli(args);
            ASSERT_EQ(r.ExitCode, 0) << r.Err.constData();
            const QString flac = out + QStringLiteral("/音轨 01.flac");
            EXPECT_EQ(Files(out), keep ? QStringList({"音轨 01.flac", "音轨 01.wav"}) : QStringList({"音轨 01.flac"}));
            const Result raw = Tool("flac", {"-d", "-c", "-s", "--force-raw-format", "--endian=little",
                                             "--sign=signed", flac});
            EXPECT_TRUE(raw.Out == track1);
            if (keep) {
                EXPECT_TRUE(WavData(ReadAll(out + QStringLiteral("/音轨 01.wav"))) == track1);
            }
            EXPECT_EQ(Tool("flac", {"-t", "-s", flac}).ExitCode, 0);
            const Result info = Tool("metaflac", {"--show-md5sum", "--show-total-samples", flac});
            EXPECT_EQ(info.Out.split('\n').value(1), QByteArray::number(400 * 588));
            EXPECT_NE(info.Out.left(32), QByteArray(32, '0'));
            sizes[level] = QFileInfo(flac).size();
        }
        EXPECT_LE(sizes[8], sizes[0]);
    }
    for (const char* level : {"x", "9", "-1"}) {
        const Result r = Cli({"rip", "--no-cue", "--disc-image", cue, "--out", out, "--format", "flac", "--flac-level", level});
        EXPECT_EQ(r.ExitCode, 2);
        EXPECT_TRUE(r.Err.contains("--flac-level")) << r.Err.constData();
    }
}

TEST_F(FlacCliTest, TagsAreUtf8WithTheDiscInformation)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:80", "--track", "audio:80", "--track", "audio:80"});
    SetDiscImages({cue});
    QString discId;
    {
        TDiscSession session;
        ASSERT_NE(session.SelectDrive(0), 0u);
        discId = session.DiscId();
    }
    ASSERT_FALSE(discId.isEmpty());
    // The cache written by an older version: GBK text.
    QDir().mkpath(QFileInfo(CDInfoFileName()).path());
    QByteArray cache = "[" + discId.toLatin1() + "]\r\nTrackNumber=3\r\n";
    cache += "Artist=\xB8\xE8\xCA\xD6\r\nAlbum=Album\r\nYear=1999\r\nGenre=17\r\nComment=\r\n2=\xB1\xEA\xCC\xE2\r\n";
    ASSERT_TRUE(WriteAll(CDInfoFileName(), cache));
    const QString expected = QStringLiteral("ALBUM=Album\nALBUMARTIST=歌手\nARTIST=歌手\nDATE=1999\nGENRE=%1\n"
                                            "TITLE=标题\nTRACKNUMBER=2\nTRACKTOTAL=3\n").arg(GenreNames[17]);
    for (const bool cdInput : {true, false}) {
        SCOPED_TRACE(cdInput);
        const QString out = Path(cdInput ? "a" : "b");
        QStringList args{"rip", "--no-cue", "--disc-image", cue, "--out", out, "--tracks", "2", "--format", "flac"};
        if (cdInput) args << "--cd-input-only";
        const Result r = Cli(args);
        ASSERT_EQ(r.ExitCode, 0) << r.Err.constData();
        const Result tags = Tool("metaflac", {"--export-tags-to=-", out + QStringLiteral("/标题.flac")});
        QStringList lines = QString::fromUtf8(tags.Out).split('\n');
        // The loudness is measured: there, but not compared.
        EXPECT_EQ(lines.removeIf([](const QString& l) { return l.startsWith("REPLAYGAIN_"); }), 4);
        EXPECT_EQ(lines.join('\n'), expected);
    }
}

TEST_F(FlacCliTest, WholeDiscFileCarriesTheCueSheetOfTheTicks)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:400", "--track", "audio:150", "--track", "audio:75"});
    const QByteArray image = ReadAll(QString(cue).replace(".cue", ".bin"));
    const QString sheet = QStringLiteral("FILE \"%1\" FLAC\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                         "  TRACK 03 AUDIO\n    INDEX 01 00:05:25\n"
                                         "REM FLAC__lead-in 88200\nREM FLAC__lead-out 170 %2\n");
    for (const bool cdInput : {true, false}) {
        SCOPED_TRACE(cdInput);
        const QString out = Path(cdInput ? "a" : "b");
        QStringList args{"rip", "--disc-image", cue, "--out", out, "--tracks", "3,1", "--format", "flac", "--cuesheet"};
        if (cdInput) args << "--cd-input-only";
        const Result r = Cli(args);
        ASSERT_EQ(r.ExitCode, 0) << r.Err.constData();
        EXPECT_EQ(Files(out), QStringList{"Unknown Artist - Unknown Album.flac"});
        const QString flac = out + "/Unknown Artist - Unknown Album.flac";
        EXPECT_EQ(QString::fromUtf8(r.Out).trimmed(), QDir(flac).absolutePath());   // named once
        const Result raw = Tool("flac", {"-d", "-c", "-s", "--force-raw-format", "--endian=little", "--sign=signed", flac});
        EXPECT_TRUE(raw.Out == image.left(400 * 2352) + image.mid(550 * 2352));
        EXPECT_EQ(QString::fromUtf8(Tool("metaflac", {"--export-cuesheet-to=-", flac}).Out),
                  sheet.arg(flac).arg(475 * 588));
        const QString tags = QString::fromUtf8(Tool("metaflac", {"--export-tags-to=-", flac}).Out);
        EXPECT_TRUE(tags.contains(QStringLiteral("\nFILE \"Unknown Artist - Unknown Album.flac\" WAVE\n"
                                                 "  TRACK 01 AUDIO\n    TITLE \"音轨 01\"\n    INDEX 01 00:00:00\n"
                                                 "  TRACK 03 AUDIO\n    TITLE \"音轨 03\"\n    INDEX 01 00:05:25\n")))
            << tags.toStdString();
    }
}

TEST_F(FlacCliTest, WavFormatsRoundTripThroughFlac)
{
    struct TCase {
        int Bits, Channels, Rate;
    } cases[] = {{8, 1, 22050}, {16, 2, 44100}, {24, 2, 48000}, {16, 1, 48000}, {24, 1, 96000}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 bits %2 ch %3 Hz").arg(c.Bits).arg(c.Channels).arg(c.Rate).toStdString());
        QTemporaryDir dir;
        const QString wav = dir.filePath("in.wav");
        const QByteArray original = MakeWav(c.Bits, c.Channels, c.Rate, c.Rate / 2 + 17);
        ASSERT_TRUE(WriteAll(wav, original));
        Result r = Cli({"convert", "--to", "flac", "--out", dir.filePath("flac"), wav});
        ASSERT_EQ(r.ExitCode, 0) << r.Err.constData();
        const QString flac = dir.filePath("flac/in.flac");
        ASSERT_EQ(Tool("flac", {"-d", "-s", "-o", dir.filePath("ref.wav"), flac}).ExitCode, 0);
        EXPECT_TRUE(WavData(ReadAll(dir.filePath("ref.wav"))) == WavData(original));
        // And back through our own decoder.
        r = Cli({"convert", "--to", "wav", "--out", dir.filePath("wav"), flac});
        ASSERT_EQ(r.ExitCode, 0) << r.Err.constData();
        EXPECT_TRUE(WavData(ReadAll(dir.filePath("wav/in.wav"))) == WavData(original));
    }
    // FLAC input for the lossy encoders.
    QTemporaryDir dir;
    ASSERT_TRUE(WriteAll(dir.filePath("song.wav"), MakeWav(16, 2, 44100, 44100)));
    ASSERT_EQ(Cli({"convert", "--to", "flac", "--out", dir.path() + "/f", dir.filePath("song.wav")}).ExitCode, 0);
    for (const char* to : {"mp3", "ogg"}) {
        const Result r = Cli({"convert", "--to", to, "--yes", "--out", dir.filePath(to), dir.filePath("f/song.flac")});
        EXPECT_EQ(r.ExitCode, 0) << to << r.Err.constData();
        EXPECT_EQ(Files(dir.filePath(to)), QStringList{QStringLiteral("song.") + to});
        EXPECT_GT(QFileInfo(dir.filePath(to) + "/song." + to).size(), 1000);
        // And each back to FLAC, the second replacing the first's file as told.
        const Result back = Cli({"convert", "--to", "flac", "--existing", "overwrite", "--out", dir.filePath("back"),
                                 dir.filePath(to) + "/song." + to});
        EXPECT_EQ(back.ExitCode, 0) << back.Err.constData();
        EXPECT_EQ(Tool("flac", {"-t", "-s", dir.filePath("back/song.flac")}).ExitCode, 0);
        EXPECT_EQ(Files(dir.filePath("back")), QStringList{"song.flac"});
    }
}

TEST_F(FlacCliTest, DamagedFlacGivesAMessageAndNoOutput)
{
    ASSERT_TRUE(WriteAll(Path("song.wav"), MakeWav(16, 2, 44100, 88200)));
    ASSERT_EQ(Cli({"convert", "--to", "flac", "--out", Path("f"), Path("song.wav")}).ExitCode, 0);
    const QByteArray good = ReadAll(Path("f/song.flac"));
    QByteArray corrupt = good;
    for (qsizetype i = good.size() / 2; i < good.size() / 2 + 64; ++i) corrupt[i] = char(~corrupt[i]);
    const struct {
        const char* Name;
        QByteArray Bytes;
    } inputs[] = {{"truncated", good.left(good.size() / 2)}, {"corrupt", corrupt}, {"not-flac", "RIFF junk"}};
    for (const auto& in : inputs) {
        for (const char* to : {"wav", "flac", "ogg"}) {
            SCOPED_TRACE(std::string(in.Name) + " to " + to);
            QTemporaryDir dir;
            const QString file = dir.filePath(QStringLiteral("%1.flac").arg(in.Name));
            ASSERT_TRUE(WriteAll(file, in.Bytes));
            const Result r = Cli({"convert", "--to", to, "--out", dir.filePath("out"), file});
            EXPECT_EQ(r.ExitCode, 1);
            EXPECT_FALSE(r.Err.isEmpty());
            EXPECT_EQ(Files(dir.filePath("out")), QStringList());
        }
    }
}

TEST_F(FlacCliTest, AStoppedEncodingLeavesNoFile)
{
    ASSERT_TRUE(WriteAll(Path("long.wav"), MakeWav(16, 2, 44100, 44100 * 120)));
    TWaveIn in;
    in.SetFileName(Path("long.wav"));
    TFlacOut out;
    out.SetInput(&in);
    out.SetLevel(8);
    out.SetFileName(Path("long.flac"));
    out.Run();
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(Path("long.flac")) && t.elapsed() < 5000) QThread::msleep(5);
    ASSERT_TRUE(out.Busy());
    out.Stop(false);
    EXPECT_FALSE(QFile::exists(Path("long.flac")));
}
