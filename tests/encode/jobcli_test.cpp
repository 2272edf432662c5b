// varnelcd-cli rip and convert as a user runs them: outputs, exit status and the lines
// naming failed entries.
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TResult {
    int ExitCode = -1;
    QString Out, Err;
};

TResult Cli(const QTemporaryDir& home, const QStringList& args, const QString& faults = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("VARNELCD_READ_FAULTS", faults);
    env.insert("PATH", QString(VARNELCD_BINARY_DIR) + ':' + env.value("PATH"));   // our wm8eutil
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(VARNELCD_CLI, args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(JobCli, RipTellsEachFailedTrackInItsExitStatus)
{
    QTemporaryDir home;
    const QString cue = MakeTestDisc(home.path(), {"--track", "audio:40", "--track", "audio:30", "--track", "audio:20"});
    const QString out = home.filePath("out");
    const QString Log = "Unknown Artist - Unknown Album.log";   // the rip log beside the files
    struct TCase {
        QStringList Args;
        QString Faults;
        int ExitCode;
        QStringList Produced;       // file names in out
        QString ErrorLine;          // a line of stderr, empty: none expected
    } cases[] = {
        {{"--tracks", "1,3", "--format", "wav"}, "", 0, {Log, "音轨 01.wav", "音轨 03.wav"}, ""},
        {{"--tracks", "1-3", "--format", "mp3"}, "45", 1, {Log, "音轨 01.mp3", "音轨 03.mp3"},
         "varnelcd-cli rip: 02音轨 02: 音轨 2 读取出错：第 45 扇区"},
        {{"--tracks", "2-1"}, "", 2, {}, QStringLiteral("--tracks 只接受 1 到 3 的位置")},
        {{"--tracks", "2", "--format", "wav", "--pattern", "%N - %T"}, "", 0, {"02 - 音轨 02.wav", Log}, ""},
        {{"--format", "aiff"}, "", 2, {}, QStringLiteral("--format 只接受")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args.join(' ').toStdString());
        QDir(out).removeRecursively();
        const TResult r = Cli(home, QStringList{"rip", "--no-accuraterip", "--no-cue", "--disc-image", cue, "--out", out} + c.Args, c.Faults);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << r.Err.toStdString();
        QStringList files = QDir(out).entryList(QDir::Files, QDir::Name);
        EXPECT_EQ(files, c.Produced);
        if (!c.ErrorLine.isEmpty()) {
            EXPECT_TRUE(r.Err.contains(c.ErrorLine)) << r.Err.toStdString();
        }
        EXPECT_EQ(r.Out.split('\n', Qt::SkipEmptyParts).size(), c.Produced.filter(".log").isEmpty() ? c.Produced.size() : c.Produced.size() - 1);
    }
}

TEST(JobCli, ConvertAnswersTheOverwriteQuestionByItsFlags)
{
    QTemporaryDir home;
    const QString wav = home.filePath("tone.wav");
    ASSERT_EQ(QProcess::execute("sox", {"-n", "-r", "44100", "-b", "16", "-c", "2", wav, "synth", "1", "sine", "440"}), 0);
    const QString out = home.filePath("out");
    const QString mp3 = out + "/tone.mp3";

    TResult r = Cli(home, {"convert", "--to", "mp3", "--out", out, wav});
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out.trimmed(), mp3);
    const qint64 size = QFileInfo(mp3).size();
    ASSERT_GT(size, 0);

    ASSERT_TRUE(WriteAll(mp3, "kept"));
    r = Cli(home, {"convert", "--to", "mp3", "--no", "--out", out, wav});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(ReadAll(mp3), "kept");
    r = Cli(home, {"convert", "--to", "mp3", "--yes", "--out", out, wav});
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_EQ(QFileInfo(mp3).size(), size);

    // Two workers: both questions answered, the failures told in file order.
    const QString wav2 = home.filePath("tone2.wav");
    ASSERT_TRUE(QFile::copy(wav, wav2));
    ASSERT_TRUE(WriteAll(out + "/tone2.mp3", "kept"));
    r = Cli(home, {"convert", "--to", "mp3", "--jobs", "2", "--no", "--out", out, wav, wav2});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(ReadAll(out + "/tone2.mp3"), "kept");
    EXPECT_LT(r.Err.indexOf("convert: " + wav + ":"), r.Err.indexOf("convert: " + wav2 + ":")) << r.Err.toStdString();
    EXPECT_EQ(Cli(home, {"convert", "--to", "mp3", "--jobs", "x", wav}).ExitCode, 2);

    r = Cli(home, {"convert", "--to", "ogg", "--out", out, wav, home.filePath("missing.wav")});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(QFileInfo::exists(out + "/tone.ogg"));
    EXPECT_TRUE(r.Err.contains("missing.wav")) << r.Err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out + "/missing.ogg"));
}

// Every conversion mode with inputs it cannot read (another format, empty, cut short, a
// folder, missing): each is told on stderr by name with its cause, the good file after them
// is still made, and the job ends (exit 1) instead of waiting forever.
TEST(JobCli, ConvertEndsEveryUnreadableInputWithAMessage)
{
    QTemporaryDir home;
    const auto path = [&](const QString& name) { return home.filePath(name); };
    ASSERT_EQ(QProcess::execute("sox", {"-n", "-r", "44100", "-b", "16", "-c", "2", path("good.wav"), "synth", "1", "sine", "440"}), 0);
    ASSERT_EQ(QProcess::execute("lame", {"--quiet", path("good.wav"), path("good.mp3")}), 0);
    ASSERT_EQ(QProcess::execute("flac", {"-s", "-o", path("good.flac"), path("good.wav")}), 0);
    // Files named as sound files FFmpeg decodes that hold none.
    for (const char* other : {"in.wma", "in.wv"})
        ASSERT_TRUE(WriteAll(path(other), "no audio here\n"));
    ASSERT_TRUE(WriteAll(path("empty.wav"), "") && WriteAll(path("empty.mp3"), ""));
    ASSERT_TRUE(WriteAll(path("cut.wav"), ReadAll(path("good.wav")).left(20)));
    ASSERT_TRUE(WriteAll(path("cut.flac"), ReadAll(path("good.flac")).left(3000)));
    ASSERT_TRUE(WriteAll(path("text.mp3"), "no MP3 frames here\n"));
    ASSERT_TRUE(QDir().mkpath(path("folder.wav")) && QDir().mkpath(path("folder.mp3")));
    ASSERT_TRUE(QFile::copy(path("good.wav"), path("plain.wav")));
    const QStringList wavBad = {"in.wma", "empty.wav", "cut.wav", "folder.wav", "missing.wav", "cut.flac"};
    const struct {
        const char* To;
        QStringList Bad;
        QString Good;
    } cases[] = {
        {"mp3", wavBad, "good.wav"},
        {"ogg", wavBad, "good.wav"},
        {"wma", {"empty.wav", "cut.wav", "folder.wav", "missing.wav", "cut.flac"}, "good.wav"},
        {"flac", wavBad + QStringList{"in.wv", "empty.mp3"}, "good.wav"},
        {"wav", {"in.wma", "plain.wav", "empty.mp3", "text.mp3", "folder.mp3", "cut.flac"}, "good.mp3"},
    };
    for (const auto& c : cases) {
        for (const char* jobs : {"1", "2"}) {
            SCOPED_TRACE(std::string(c.To) + " --jobs " + jobs);
            const QString out = path(QString("out-") + c.To + jobs);
            QStringList files;
            for (const QString& f : c.Bad + QStringList{c.Good}) files << path(f);
            const TResult r = Cli(home, QStringList{"convert", "--to", c.To, "--jobs", jobs, "--out", out} + files);
            EXPECT_EQ(r.ExitCode, 1) << r.Err.toStdString();
            for (const QString& bad : c.Bad) {
                const qsizetype at = r.Err.indexOf("convert: " + path(bad) + ": ");
                EXPECT_GE(at, 0) << bad.toStdString() << " is not told:\n" << r.Err.toStdString();
                EXPECT_GT(r.Err.indexOf('\n', at) - at, QString("convert: " + path(bad) + ": ").size() + 5) << "no cause";
            }
            const QString made = QFileInfo(c.Good).completeBaseName() + '.' + c.To;
            EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{made});
        }
    }

    // Two files of one name from two folders, one after the other into FLAC: the job ends.
    ASSERT_TRUE(QDir().mkpath(path("b")));
    ASSERT_TRUE(QFile::copy(path("good.wav"), path("b/good.wav")));
    const TResult twice = Cli(home, {"convert", "--to", "flac", "--jobs", "1", "--yes", "--out", path("twice"),
                                     path("good.wav"), path("b/good.wav")});
    EXPECT_EQ(twice.ExitCode, 0) << twice.Err.toStdString();
    EXPECT_EQ(twice.Out.split('\n', Qt::SkipEmptyParts).size(), 2) << twice.Out.toStdString();
}

// A folder tree with nested folders, odd names, a damaged file, files that are no sound, and
// a link that loops: every sound file converted into the same sub-folders (or beside
// itself), the damaged one listed at the end with its cause, nothing written outside.
TEST(JobCli, ConvertRecursiveRepeatsTheTreeAndListsWhatFailed)
{
    QTemporaryDir home;
    const QString root = home.filePath("in tree");
    const QStringList sounds{"top.wav", "with space/it's \"q\".wav", QStringLiteral("中文/深/歌.wav"), "-dash/-lead.wav"};
    for (const QString& s : sounds) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(root + "/" + s).path()));
        ASSERT_EQ(QProcess::execute("sox", {"-n", "-r", "44100", "-b", "16", "-c", "2", root + "/" + s, "synth", "0.2", "sine", "440"}), 0);
    }
    ASSERT_TRUE(QDir().mkpath(root + "/bad") && WriteAll(root + "/bad/broken.wav", "RIFF and nothing more"));
    ASSERT_TRUE(WriteAll(root + "/notes.txt", "not sound"));
    ASSERT_TRUE(QFile::link(root, root + "/中文/loop"));
    const auto listing = [](const QString& folder) {
        QStringList files;
        for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            files << QDir(folder).relativeFilePath(it.next());
        files.sort();
        return files;
    };
    const QStringList before = listing(home.path());
    QStringList flacs;
    for (const QString& s : sounds) flacs << QString(s).replace(".wav", ".flac");
    flacs.sort();

    const QString out = home.filePath("out");
    TResult r = Cli(home, {"convert", "--to", "flac", "--recursive", "--out", out, root});
    EXPECT_EQ(r.ExitCode, 1) << r.Err.toStdString();
    EXPECT_EQ(listing(out), flacs);
    const QStringList tail = r.Err.trimmed().split('\n').mid(r.Err.trimmed().count('\n') - 1);
    ASSERT_EQ(tail.size(), 2) << r.Err.toStdString();
    EXPECT_EQ(tail[0], QStringLiteral("varnelcd-cli convert: 1 个未能转换："));
    EXPECT_TRUE(tail[1].startsWith("  " + root + "/bad/broken.wav: ")) << tail[1].toStdString();
    QStringList now = listing(home.path());
    now.removeIf([](const QString& f) { return f.startsWith("out/"); });
    EXPECT_EQ(now, before);

    r = Cli(home, {"convert", "--to", "flac", "--recursive", "--beside", root});
    EXPECT_EQ(r.ExitCode, 1);
    for (const QString& f : flacs)
        EXPECT_TRUE(QFileInfo::exists(root + "/" + f)) << f.toStdString();
    EXPECT_EQ(listing(home.path()).size(), before.size() + 2 * flacs.size());   // out/ and the ones beside
    EXPECT_EQ(Cli(home, {"convert", "--to", "flac", "--beside", root}).ExitCode, 2);   // only with --recursive
}

TEST(JobCli, RipLogsTheReadSpeedAskedFor)
{
    QTemporaryDir home;
    const QString cue = MakeTestDisc(home.path(), {"--track", "audio:30"});
    const QString log = home.filePath("rip.log");
    const TResult r = Cli(home, {"rip", "--no-accuraterip", "--no-ctdb", "--disc-image", cue, "--out", home.filePath("out"),
                                 "--format", "wav", "--speed", "8", "--log", log});
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(ReadAll(log).contains("\nRead speed: not applicable (disc image)\n")) << ReadAll(log).toStdString();
    for (const char* odd : {"-1", "73", "fast"})
        EXPECT_EQ(Cli(home, {"rip", "--disc-image", cue, "--speed", odd}).ExitCode, 2) << odd;
}
