// varnelcd-cli rip --format a,b,c: several formats from one read of the disc.
#include "encode/JobTestUtil.h"
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class RipFormatsCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Home.isValid());
        Cue = MakeTestDisc(Home.path(), {"--track", "audio:400", "--track", "audio:300", "--track", "audio:200"});
    }
    // The rip's exit status; its audio files (no log, no cue sheet) below `out`.
    int Rip(const QString& out, const QStringList& args, QMap<QString, QByteArray>* files)
    {
        QDir(out).removeRecursively();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", Home.path());
        env.insert("XDG_CONFIG_HOME", Home.path() + "/config");
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(VARNELCD_CLI, QStringList{"rip", "--no-accuraterip", "--no-ctdb", "--no-cue", "--disc-image", Cue, "--out", out} + args);
        if (!p.waitForFinished(120000)) return -1;
        *files = Snapshot(out);
        for (const QString& name : files->keys())
            if (name.endsWith(".log")) files->remove(name);
        return p.exitCode();
    }

    QTemporaryDir Home;
    QString Cue;
};

} // namespace

// Three formats from one read are, byte for byte, the files of three one-format rips, for
// any worker count and either CD library.
TEST_F(RipFormatsCli, OneReadMakesTheFilesOfOneFormatRips)
{
    const QStringList pattern = {"--pattern", "%F/%N %T"};
    QMap<QString, QByteArray> reference;
    for (const char* format : {"flac", "mp3", "opus"}) {
        QMap<QString, QByteArray> files;
        ASSERT_EQ(Rip(Home.filePath("one"), QStringList{"--format", format, "--jobs", "1"} + pattern, &files), 0);
        EXPECT_EQ(files.size(), 3) << format;
        reference.insert(files);
    }
    for (const QString input : {"--cd-input-only", ""}) {
        for (const char* jobs : {"1", "2", "0"}) {
            SCOPED_TRACE((input + " --jobs " + jobs).toStdString());
            QStringList args = QStringList{"--format", "flac,mp3,opus", "--jobs", jobs} + pattern;
            if (!input.isEmpty()) args << input;
            QMap<QString, QByteArray> files;
            ASSERT_EQ(Rip(Home.filePath("three"), args, &files), 0);
            EXPECT_TRUE(files == reference) << QStringList(files.keys()).join(' ').toStdString();
        }
    }
}

// Without %F the formats share one folder: AAC and ALAC (both ".m4a") get distinct names, the
// rip's WAV stays only when WAV is one of the formats, and odd names are refused.
TEST_F(RipFormatsCli, NamesAndTheWavOfSeveralFormats)
{
    const struct {
        const char* Formats;
        int ExitCode;
        QStringList Files;
        QStringList More;
    } cases[] = {
        {"mp3,aac,alac", 0, {"One.m4a", "One.mp3", "One (alac).m4a"}, {}},
        {"alac,aac", 0, {"One.m4a", "One (aac).m4a"}, {}},
        {"ogg,wav,mp3", 0, {"One.mp3", "One.ogg", "One.wav"}, {}},
        {"wav,flac", 0, {"One.flac", "One.wav"}, {}},
        {"flac,ape", 2, {}, {}},
        // The whole-disc file from the read, the other formats per track from its WAV.
        {"flac,mp3", 0, {"One.mp3", "Unknown Artist - Unknown Album.flac"}, {"--cuesheet"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Formats);
        QMap<QString, QByteArray> files;
        EXPECT_EQ(Rip(Home.filePath("out"), QStringList{"--format", c.Formats, "--tracks", "1", "--pattern", "One", "--jobs", "2"} + c.More, &files),
                  c.ExitCode);
        QStringList expected = c.Files;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(files.keys(), expected);
        for (const QByteArray& bytes : files) EXPECT_GT(bytes.size(), 1000);
    }
}
