// `varnelcd-cli rip` against a scripted CUETools database: the verdicts in the log and on
// stderr, the repair of lossless rips in place; and the rip log's own faults (a stop, a
// name too long, per-track folders, an edited log).
#include "cd/RipAudit.h"
#include "fixtures/CtdbTestAudio.h"
#include "fixtures/FakeCddbServer.h"
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TRun {
    int Exit = -1;
    QString Err;
    QString Out;
};

TRun Cli(const QString& home, const QStringList& args, const QString& faults = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VARNELCD_READ_FAULTS", faults);
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("VARNELCD_DISC_IMAGES", "");
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(VARNELCD_CLI, args);
    if (!p.waitForFinished(120000))
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError()), QString::fromUtf8(p.readAllStandardOutput())};
}

QStringList FilesBelow(const QString& folder)
{
    QStringList out;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

} // namespace

TEST(RipProof, CtdbVerdictsAndTheRepairOfLosslessRips)
{
    QTemporaryDir home;
    const QString cue = MakeTestDisc(home.path(), {"--track", "audio:400", "--track", "audio:600"});
    const TCtdbToc toc = CtdbTocOf(QStringLiteral("0:400:1000"));
    QByteArray image;
    for (int s = 0; s < 400; ++s) image += ExpectedAudioSector(1, uint32_t(s));
    for (int s = 0; s < 600; ++s) image += ExpectedAudioSector(2, uint32_t(s));
    // The database knows the disc with 100 samples of track 2 other than this image's.
    QByteArray reference = image;
    CtdbDamage(reference, 300000, 100, 6);
    const QByteArray damagedReply = CtdbReplyXml(CtdbEntryXml(CtdbEntryOf(CtdbAccumulate(toc, reference), 16, 4), "/p/9"));
    const QByteArray cleanReply = CtdbReplyXml(CtdbEntryXml(CtdbEntryOf(CtdbAccumulate(toc, image), 16, 5), "/p/9"));
    const QByteArray parity = CtdbParityFile(CtdbAccumulate(toc, reference), 16);
    const qsizetype split = 400 * 2352;

    struct TCase {
        const char* Name;
        QStringList Args;
        bool Damaged;
        QStringList Expected;       // lines of the log
        QString Stderr;
    } cases[] = {
        {"clean", {"--format", "wav"}, false,
         {"  CTDB: verified, confidence 5", "CTDB: verified OK, confidence 5"}, "Track 2: AccurateRip not checked; CTDB verified, confidence 5"},
        {"wav", {"--format", "wav"}, true,
         {"  Repaired samples: 300000-300099", "CTDB repair: 200 samples corrected in 1 files (offset 0); checked again: the database's CRC now matches",
          "  CTDB: verified, confidence 4 (after the repair)"}, "CTDB: after the repair: verified OK, confidence 4"},
        {"flac", {"--format", "flac"}, true, {"  Repaired samples: 300000-300099"}, "CTDB repair: 200 samples corrected in 1 files"},
        {"whole-disc flac", {"--format", "flac", "--cuesheet"}, true, {"  Repaired samples: 300000-300099"}, "in 1 files"},
        {"mp3", {"--format", "mp3"}, true, {"CTDB: differs in 200 samples, confidence 4",
                                            "CTDB repair: not made (MP3 files cannot be repaired in place)"}, "CTDB: differs"},
        {"off", {"--format", "wav", "--no-ctdb"}, false, {"Summary: 0 of 2 tracks accurate"}, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeCddbServer server;
        server.Push(TFakeReply::Http(200, c.Damaged ? damagedReply : cleanReply));
        server.Push(TFakeReply::Http(206, parity));
        const QString out = home.filePath(c.Name);
        const QString log = home.filePath(QString(c.Name) + ".log");
        const TRun r = Cli(home.path(), QStringList{"rip", "--disc-image", cue, "--out", out, "--no-accuraterip", "--log", log,
                                                    "--ctdb-url", "http://" + server.HostPort()} + c.Args);
        EXPECT_EQ(r.Exit, 0) << qPrintable(r.Err);
        const QString text = QString::fromUtf8(ReadAll(log));
        for (const QString& line : c.Expected) EXPECT_TRUE(text.contains("\n" + line + "\n")) << qPrintable(line) << "\n" << qPrintable(text);
        EXPECT_TRUE(r.Err.contains(c.Stderr)) << qPrintable(r.Err);
        EXPECT_EQ(server.Requests().size(), c.Args.contains("--no-ctdb") ? 0 : c.Damaged ? 2 : 1);
        if (!c.Damaged || c.Args.contains("mp3")) continue;
        // The files now hold the database's audio.
        if (c.Args.contains("--cuesheet")) {
            EXPECT_TRUE(CtdbFlacPcm(out + "/Unknown Artist - Unknown Album.flac") == reference);
        } else if (c.Args.contains("flac")) {
            EXPECT_TRUE(CtdbFlacPcm(out + "/音轨 02.flac") == reference.mid(split));
        } else {
            EXPECT_TRUE(ReadAll(out + "/音轨 02.wav").mid(44, reference.size() - split) == reference.mid(split));
            EXPECT_TRUE(ReadAll(out + "/音轨 01.wav").mid(44, split) == reference.left(split));
        }
        EXPECT_FALSE(FilesBelow(out).join(' ').contains(".part"));
    }
}

// The log's faults: where it goes, the name it takes, what a stop leaves, and its checksum.
TEST(RipProof, RipLogPlaceNameStopAndChecksum)
{
    QTemporaryDir home;
    struct TCase {
        const char* Name;
        QStringList Args;
        QString Artist;
        int Exit;
        QString LogFile;            // below the output folder
    } cases[] = {
        {"per-track folders", {"--pattern", "%A/%D/%N/%T"}, "Band", 0, "Band/Live/Band - Live.log"},
        {"long artist", {}, QString(260, 'a'), 0, ""},
    };
    QString cue;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        cue = MakeTestDisc(home.path(), {"--track", "audio:30", "--track", "audio:20", "--cdtext", "--disc-performer", c.Artist,
                                         "--disc-title", "Live"});
        const QString out = home.filePath(c.Name);
        const TRun r = Cli(home.path(), QStringList{"rip", "--disc-image", cue, "--out", out, "--format", "wav", "--no-accuraterip",
                                                    "--no-ctdb"} + c.Args);
        EXPECT_EQ(r.Exit, c.Exit) << qPrintable(r.Err);
        const QStringList logs = FilesBelow(out).filter(".log");
        ASSERT_EQ(logs.size(), 1) << qPrintable(FilesBelow(out).join('|'));
        if (!c.LogFile.isEmpty()) {
            EXPECT_EQ(logs[0], c.LogFile);
        }
        EXPECT_LE(logs[0].section('/', -1).toUtf8().size(), 255);
        // The checksum line holds, and an edit breaks it.
        const QString path = out + "/" + logs[0];
        EXPECT_EQ(Cli(home.path(), {"verify-log", path}).Exit, 0);
        QByteArray text = ReadAll(path);
        text.replace("Copy OK", "Copy ok");
        ASSERT_TRUE(WriteAll(path, text));
        EXPECT_EQ(Cli(home.path(), {"verify-log", path}).Exit, 1);
    }
    // A log that cannot be written fails the run.
    const TRun r = Cli(home.path(), {"rip", "--disc-image", cue, "--out", home.filePath("x"), "--format", "wav",
                                     "--no-accuraterip", "--no-ctdb", "--log", home.filePath("missing/folder/r.log")});
    EXPECT_EQ(r.Exit, 1) << qPrintable(r.Err);
    EXPECT_TRUE(r.Err.contains("The rip log cannot be written")) << qPrintable(r.Err);
}

// SIGTERM during the read: the log says the rip was stopped, not only how few tracks are accurate.
TEST(RipProof, AStoppedRipSaysSoInTheLog)
{
    QTemporaryDir home;
    const QString cue = MakeTestDisc(home.path(), {"--track", "audio:20", "--track", "audio:60000", "--track", "audio:20"});
    const QString log = home.filePath("r.log");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    p.setProcessEnvironment(env);
    p.start(VARNELCD_CLI, {"rip", "--disc-image", cue, "--out", home.filePath("out"), "--format", "wav", "--no-accuraterip",
                           "--no-ctdb", "--log", log});
    p.setReadChannel(QProcess::StandardError);
    QByteArray err;
    while (!err.contains("音轨 02 10%") && p.waitForReadyRead(30000)) err += p.readAllStandardError();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 143);
    const QString text = QString::fromUtf8(ReadAll(log));
    EXPECT_TRUE(text.contains("\nRip stopped by the user: 1 of 3 tracks done\n")) << qPrintable(text);
    EXPECT_TRUE(RipLogChecksumOk(text.toUtf8()));
}

// A fault at one sector is named at that sector whatever the read offset and the chunk
// around it; a fault a second read gets past is no error. [CDOptions] TestAndCopy makes the
// test pass of every rip.
TEST(RipProof, ReadFaultsAtTheirExactSectorAndTestAndCopyFromTheSettings)
{
    QTemporaryDir home;
    const QString cue = MakeTestDisc(home.path(), {"--track", "audio:3000"});
    const QString folder = home.filePath("config/Varnel软件/CD音频转换");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(WriteAll(folder + "/options.ini", "[CDOptions]\nTestAndCopy=1\n"));
    const struct {
        QString Faults;
        QStringList Paths;          // the first library's reads (none), the CD input component's
        QStringList Lines;
    } cases[] = {
        {"2000@1", {""}, {"  Copy OK"}},
        {"2000@2", {"", "--cd-input-only"}, {"  Read error at sector 2000", "  Copy finished with errors"}},
    };
    for (const auto& c : cases) {
        for (const QString& path : c.Paths) {
            SCOPED_TRACE((c.Faults + path).toStdString());
            const QString log = home.filePath("r.log");
            QStringList args = {"rip", "--disc-image", cue, "--out", home.filePath("out"), "--format", "wav", "--offset", "6",
                                "--no-accuraterip", "--no-ctdb", "--existing", "overwrite", "--log", log};
            if (!path.isEmpty()) args << path;
            Cli(home.path(), args, c.Faults);
            const QString text = QString::fromUtf8(ReadAll(log));
            EXPECT_TRUE(text.contains("\nTest and copy: yes\n")) << qPrintable(text);
            for (const QString& line : c.Lines) EXPECT_TRUE(text.contains("\n" + line + "\n")) << qPrintable(text);
        }
    }
}
