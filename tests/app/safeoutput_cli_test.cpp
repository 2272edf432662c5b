// What a rip or a conversion may do to the output folder: never replace or lose a user's
// file without the Existing rule saying so, never leave a partial file under a final name
// (a kill, a full disk, a read fault), and name the cause when it fails.
#include "AppTestHome.h"
#include "fixtures/TestDisc.h"
#include "platform/OutputFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QtEndian>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/mount.h>

namespace {

struct Result {
    int ExitCode = -1;
    QByteArray Out, Err;
};

constexpr int TrackSectors = 300;   // 4 s a track: short encodes, long enough to be killed in

class SafeOutputTest : public AppTestHome {
protected:
    void SetUp() override
    {
        AppTestHome::SetUp();
        Cue = MakeTestDisc(Home.path(), {"--track", QString("audio:%1").arg(TrackSectors), "--track",
                                         QString("audio:%1").arg(TrackSectors), "--cdtext", "--title", "1:FirstSong",
                                         "--title", "2:Second"});
        ASSERT_FALSE(Cue.isEmpty());
    }

    QProcess* Start(const QStringList& args, bool cdInputOnly = false)
    {
        auto* p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VARNELCD_CD_INPUT_ONLY", cdInputOnly ? "1" : "0");
        p->setProcessEnvironment(env);
        p->setStandardInputFile(QProcess::nullDevice());
        p->start(VARNELCD_CLI, args);
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }
    Result Cli(const QStringList& args, bool cdInputOnly = false)
    {
        std::unique_ptr<QProcess> p(Start(args, cdInputOnly));
        EXPECT_TRUE(p->waitForFinished(120000));
        return {p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1, p->readAllStandardOutput(),
                p->readAllStandardError()};
    }
    QStringList Rip(const QString& format, const QString& out, const QStringList& more = {})
    {
        return QStringList{"rip", "--disc-image", Cue, "--format", format, "--out", out, "--no-accuraterip", "--no-ctdb", "--no-cue"} + more;
    }
    // A 16-bit stereo 44100 Hz WAV of `seconds`.
    static QByteArray Wav(int seconds)
    {
        QByteArray data(seconds * 44100 * 4, 0);
        for (int i = 0; i < data.size() / 2; ++i) qToLittleEndian<qint16>(qint16((i * 37) % 20000 - 10000), data.data() + 2 * i);
        auto le = [](quint32 v, int n) {
            QByteArray b(n, 0);
            for (int i = 0; i < n; ++i) b[i] = char(v >> (8 * i));
            return b;
        };
        return "RIFF" + le(36 + data.size(), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(44100, 4)
               + le(176400, 4) + le(4, 2) + le(16, 2) + "data" + le(data.size(), 4) + data;
    }
    // Seconds of audio in a file by ffprobe; -1 when it cannot be read.
    static double Seconds(const QString& path)
    {
        QProcess p;
        p.start("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path});
        if (!p.waitForFinished(30000) || p.exitCode() != 0) return -1;
        bool ok = false;
        const double s = p.readAllStandardOutput().trimmed().toDouble(&ok);
        return ok ? s : -1;
    }
    // Is this final file whole: a WAV whose header matches its size and the expected length,
    // a FLAC file that passes flac -t with its sample count, anything else decoding to its
    // full length?
    static ::testing::AssertionResult Whole(const QString& path, double seconds)
    {
        const QString ext = QFileInfo(path).suffix().toLower();
        if (ext == "wav") {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) return ::testing::AssertionFailure() << "cannot open";
            const QByteArray h = f.read(44);
            const qint64 data = qFromLittleEndian<quint32>(h.constData() + 40);
            if (h.size() < 44 || data != f.size() - 44 || std::abs(double(data) / 176400 - seconds) > 0.01)
                return ::testing::AssertionFailure() << "data " << data << " of " << f.size();
            return ::testing::AssertionSuccess();
        }
        if (ext == "flac") {
            QProcess t;
            t.start("flac", {"-t", "-s", path});
            if (!t.waitForFinished(30000) || t.exitCode() != 0) return ::testing::AssertionFailure() << "flac -t fails";
        }
        const double s = Seconds(path);
        if (std::abs(s - seconds) > 0.15) return ::testing::AssertionFailure() << s << " s, not " << seconds;
        return ::testing::AssertionSuccess();
    }
    // The files of a folder (not the rip log).
    static QStringList Files(const QString& dir)
    {
        QStringList files = QDir(dir).entryList(QDir::Files, QDir::Name);
        files.removeIf([](const QString& n) { return n.endsWith(".log"); });
        return files;
    }

    QString Cue;
};

} // namespace

// A user's files are kept, skipped, renamed around or replaced only as --existing says;
// without a terminal or an option they are kept and the entry fails saying so. The user's
// own WAV beside an MP3 rip is never touched. Both CD routes.
TEST_F(SafeOutputTest, ExistingFilesFollowTheRuleOnBothRoutes)
{
    struct TCase {
        const char* Format;
        const char* Existing;    // nullptr: no option
        int Exit;
        QStringList Files;       // afterwards, besides FirstSong.wav
        bool Replaced;           // FirstSong.<format> holds the rip
    } cases[] = {
        {"wav", nullptr, 1, {"FirstSong.wav", "Second.wav"}, false},
        {"wav", "skip", 0, {"FirstSong.wav", "Second.wav"}, false},
        {"wav", "rename", 0, {"FirstSong (2).wav", "FirstSong.wav", "Second.wav"}, false},
        {"wav", "overwrite", 0, {"FirstSong.wav", "Second.wav"}, true},
        {"mp3", nullptr, 1, {"FirstSong.mp3", "FirstSong.wav", "Second.mp3"}, false},
        {"mp3", "overwrite", 0, {"FirstSong.mp3", "FirstSong.wav", "Second.mp3"}, true},
        {"ogg", "rename", 0, {"FirstSong (2).ogg", "FirstSong.ogg", "FirstSong.wav", "Second.ogg"}, false},
        {"flac", nullptr, 1, {"FirstSong.flac", "FirstSong.wav", "Second.flac"}, false},
    };
    for (const bool cdInput : {false, true})
        for (const TCase& c : cases) {
            SCOPED_TRACE(QString("%1 %2 %3").arg(c.Format, c.Existing ? c.Existing : "-", cdInput ? "cdin" : "cdlib").toStdString());
            const QString out = Path(QString("ex-%1-%2-%3").arg(c.Format, c.Existing ? c.Existing : "none").arg(cdInput));
            ASSERT_TRUE(QDir().mkpath(out));
            const QString mine = out + "/FirstSong." + c.Format;
            ASSERT_TRUE(WriteAll(mine, "mine"));
            ASSERT_TRUE(WriteAll(out + "/FirstSong.wav", "mine"));
            QStringList more;
            if (c.Existing) more << "--existing" << c.Existing;
            const Result r = Cli(Rip(c.Format, out, more), cdInput);
            EXPECT_EQ(r.ExitCode, c.Exit) << r.Err.toStdString();
            if (!c.Existing) {
                EXPECT_TRUE(r.Err.contains("exists and was kept")) << r.Err.toStdString();
            }
            QStringList expected = c.Files;
            expected.removeDuplicates();
            expected.sort();
            EXPECT_EQ(Files(out), expected);
            EXPECT_EQ(QFileInfo(mine).size() > 4, c.Replaced);
            if (QString(c.Format) != "wav" || !c.Replaced) {
                QFile f(out + "/FirstSong.wav");
                ASSERT_TRUE(f.open(QIODevice::ReadOnly));
                EXPECT_EQ(f.readAll(), "mine");
            }
        }
}

// The whole-disc FLAC file follows the same rule, on both routes.
TEST_F(SafeOutputTest, TheWholeDiscFileFollowsTheRule)
{
    for (const bool cdInput : {false, true}) {
        SCOPED_TRACE(cdInput);
        const QString out = Path(QString("cue-%1").arg(cdInput));
        const QStringList args = Rip("flac", out, {"--cuesheet"});
        ASSERT_EQ(Cli(args, cdInput).ExitCode, 0);
        const QStringList first = Files(out);
        ASSERT_EQ(first.size(), 1);
        ASSERT_TRUE(WriteAll(out + "/" + first[0], "mine"));
        const Result kept = Cli(args, cdInput);
        EXPECT_EQ(kept.ExitCode, 1);
        EXPECT_TRUE(kept.Err.contains("exists and was kept")) << kept.Err.toStdString();
        QFile f(out + "/" + first[0]);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "mine");
        EXPECT_EQ(Cli(args + QStringList{"--existing", "rename"}, cdInput).ExitCode, 0);
        const QString renamed = NumberedPath(out + "/" + first[0], 2);
        EXPECT_EQ(Files(out), QStringList({QFileInfo(renamed).fileName(), first[0]}));
        EXPECT_TRUE(Whole(renamed, 2 * TrackSectors / 75.0));
    }
}

// Two entries of one conversion that want one name never share it, with one worker or two.
TEST_F(SafeOutputTest, ConvertGivesEveryEntryItsOwnName)
{
    ASSERT_TRUE(QDir().mkpath(Path("a/b")));
    ASSERT_TRUE(WriteAll(Path("a/song.wav"), Wav(2)));
    ASSERT_TRUE(WriteAll(Path("a/b/song.wav"), Wav(3)));
    for (const char* to : {"mp3", "ogg"})
        for (const char* jobs : {"1", "2"}) {
            SCOPED_TRACE(std::string(to) + " jobs " + jobs);
            const QString out = Path(QString("conv-%1-%2").arg(to, jobs));
            const Result r = Cli({"convert", "--to", to, "--jobs", jobs, "--out", out, Path("a/song.wav"), Path("a/b/song.wav")});
            EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
            EXPECT_EQ(Files(out), QStringList({QString("song (2).") + to, QString("song.") + to}));
            EXPECT_TRUE(Whole(out + "/song." + to, 2));
            EXPECT_TRUE(Whole(out + "/song (2)." + to, 3));
        }
    // A user's file of every output format is kept without an answer, replaced when told.
    for (const char* to : {"mp3", "ogg", "flac", "wma"}) {
        SCOPED_TRACE(to);
        const QString out = Path(QString("mine-%1").arg(to));
        ASSERT_TRUE(QDir().mkpath(out));
        const QString mine = out + "/song." + to;
        ASSERT_TRUE(WriteAll(mine, "mine"));
        const QStringList args = {"convert", "--to", to, "--out", out, Path("a/song.wav")};
        EXPECT_EQ(Cli(args).ExitCode, 1);
        EXPECT_EQ(QFileInfo(mine).size(), 4);
        EXPECT_EQ(Cli(args + QStringList{"--existing", "overwrite"}).ExitCode, 0);
        EXPECT_TRUE(Whole(mine, 2));
    }
}

// A read fault leaves no file of the failed track, through either CD library and riptrack.
TEST_F(SafeOutputTest, AFailedTrackLeavesNoFile)
{
    qputenv("VARNELCD_READ_FAULTS", QByteArray::number(TrackSectors + 10) + "-" + QByteArray::number(TrackSectors + 15));
    for (const bool cdInput : {false, true}) {
        const QString out = Path(QString("fault-%1").arg(cdInput));
        const Result r = Cli(Rip("wav", out), cdInput);
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(Files(out), QStringList({"FirstSong.wav"}));
    }
    const QString out = Path("fault-riptrack");
    const Result r = Cli({"riptrack", "--disc-image", Cue, "--track", "2", "--out", out});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(Files(out), QStringList());
    qunsetenv("VARNELCD_READ_FAULTS");
}

// SIGKILL at 20 random moments (two in each case: every rip format over a 10-track disc,
// every conversion): after each, every file under a final name is whole, and the next run
// with --existing skip completes the job.
TEST_F(SafeOutputTest, AKilledJobLeavesOnlyWholeFilesAndResumes)
{
    constexpr int Tracks = 10, Sectors = 90;
    QStringList discArgs;
    for (int t = 1; t <= Tracks; ++t)
        discArgs << "--track" << QString("audio:%1").arg(Sectors) << "--title" << QString("%1:T%2").arg(t).arg(t);
    ASSERT_TRUE(QDir().mkpath(Path("ten")));
    const QString ten = MakeTestDisc(Path("ten"), discArgs + QStringList{"--cdtext"});
    ASSERT_FALSE(ten.isEmpty());
    ASSERT_TRUE(WriteAll(Path("in.wav"), Wav(4)));
    ASSERT_TRUE(Cli({"convert", "--to", "mp3", "--out", Path("src"), Path("in.wav")}).ExitCode == 0);
    std::mt19937 random(20261207);
    struct TCase {
        QStringList Args;
        QStringList Finals;
        double Seconds;
    };
    std::vector<TCase> cases;
    for (const char* f : {"wav", "mp3", "ogg", "flac", "wma"}) {
        QStringList finals;
        for (int t = 1; t <= Tracks; ++t) finals << QString("T%1.%2").arg(t).arg(f);
        finals.sort();
        cases.push_back({{"rip", "--disc-image", ten, "--format", f, "--out", Path(QString("kill-rip-%1").arg(f)),
                          "--no-accuraterip", "--no-ctdb", "--no-cue", "--jobs", "2"},
                         finals, Sectors / 75.0});
    }
    for (const char* f : {"mp3", "ogg", "flac", "wma"})
        cases.push_back({{"convert", "--to", f, "--out", Path(QString("kill-conv-%1").arg(f)), Path("in.wav")},
                         {QString("in.%1").arg(f)}, 4});
    cases.push_back({{"convert", "--to", "wav", "--out", Path("kill-conv-wav"), Path("src/in.mp3")}, {"in.wav"}, 4});
    for (const TCase& c : cases) {
        const QString out = c.Args.value(c.Args.indexOf("--out") + 1);
        for (int moment = 0; moment < 2; ++moment) {
            const int ms = std::uniform_int_distribution<int>(30, 1500)(random);
            SCOPED_TRACE(c.Args.join(' ').toStdString() + QString(" killed after %1 ms").arg(ms).toStdString());
            QDir(out).removeRecursively();
            std::unique_ptr<QProcess> p(Start(c.Args));
            QThread::msleep(ms);
            ::kill(pid_t(p->processId()), SIGKILL);
            p->waitForFinished();
            for (const QString& name : Files(out))
                if (c.Finals.contains(name)) {
                    EXPECT_TRUE(Whole(out + "/" + name, c.Seconds)) << name.toStdString();
                }
            const Result r = Cli(c.Args + QStringList{"--existing", "skip"});
            EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
            EXPECT_EQ(Files(out), c.Finals);
            for (const QString& name : c.Finals) EXPECT_TRUE(Whole(out + "/" + name, c.Seconds)) << name.toStdString();
        }
    }
}

// A full file system: the cause named, nothing partial left, exit status 1, every format.
TEST_F(SafeOutputTest, AFullDiskIsNamedAndLeavesNothingPartial)
{
    const QString mnt = Path("full");
    ASSERT_TRUE(QDir().mkpath(mnt));
    if (::mount("tmpfs", QFile::encodeName(mnt).constData(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "a small file system cannot be mounted here (needs root)";
    ASSERT_TRUE(WriteAll(Path("in.wav"), Wav(2)));
    ASSERT_TRUE(Cli({"convert", "--to", "mp3", "--out", Path("src"), Path("in.wav")}).ExitCode == 0);
    std::vector<QStringList> runs;
    for (const char* f : {"wav", "mp3", "ogg", "flac", "wma"}) runs.push_back(Rip(f, mnt + "/rip-" + f));
    for (const char* f : {"mp3", "ogg", "flac", "wma"}) runs.push_back({"convert", "--to", f, "--out", mnt + "/conv-" + f, Path("in.wav")});
    runs.push_back({"convert", "--to", "wav", "--out", mnt + "/conv-wav", Path("src/in.mp3")});
    for (const QStringList& args : runs) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const QString out = args.value(args.indexOf("--out") + 1);
        const Result r = Cli(args);
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_TRUE(r.Err.contains("the disk is full")) << r.Err.toStdString();
        EXPECT_EQ(Files(out), QStringList());
        QDir(out).removeRecursively();
    }
    ::umount(QFile::encodeName(mnt).constData());
}
