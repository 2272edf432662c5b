// varnelcd-cli ctdb and repair against a fake database: a disc image read whole, and a rip
// folder found damaged, repaired in place and then verified.
#include "fixtures/CtdbTestAudio.h"
#include "fixtures/FakeCddbServer.h"
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TRun {
    int Exit = -1;
    QString Out;
    QString Err;
};

TRun Cli(const QString& home, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("VARNELCD_DISC_IMAGES", "");
    p.setProcessEnvironment(env);
    p.start(VARNELCD_CLI, args);
    if (!p.waitForFinished(120000))
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

TEST(CtdbCli, ADiscImageReadWhole)
{
    QTemporaryDir home;
    const QString cue = MakeTestDisc(home.path(), {"--track", "audio:300", "--track", "audio:200"});
    const TCtdbToc toc = CtdbTocOf(QStringLiteral("0:300:500"));
    QByteArray pcm;
    for (int s = 0; s < 300; ++s)
        pcm += ExpectedAudioSector(1, uint32_t(s));
    for (int s = 0; s < 200; ++s)
        pcm += ExpectedAudioSector(2, uint32_t(s));
    const TCtdbAccumulator disc = CtdbAccumulate(toc, pcm);

    TFakeCddbServer server;
    server.Push(TFakeReply::Http(200, CtdbReplyXml(CtdbEntryXml(CtdbEntryOf(disc, 8, 6), "/p/9"))));
    server.Push(TFakeReply::Http(404));
    const QString url = "http://" + server.HostPort();
    const QString head = "tocid\t" + toc.Id + "\nurl\t" + url + "/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=0:300:500\n";

    TRun r = Cli(home.path(), {"ctdb", "--disc-image", cue, "--url", url, "--id-only"});
    EXPECT_EQ(std::tie(r.Exit, r.Out), std::make_tuple(0, head)) << qPrintable(r.Err);
    r = Cli(home.path(), {"ctdb", "--disc-image", cue, "--url", url});
    EXPECT_EQ(std::tie(r.Exit, r.Out), std::make_tuple(0, head + "verified OK, confidence 6\ntrack\t1\tconfidence 6\n"
                                                                 "track\t2\tconfidence 6\n")) << qPrintable(r.Err);
    r = Cli(home.path(), {"ctdb", "--disc-image", cue, "--url", url});
    EXPECT_EQ(std::tie(r.Exit, r.Out), std::make_tuple(3, head + "disc not present in database\n"));
}

TEST(CtdbCli, RepairsARipFolderOfWavOrFlacFiles)
{
    const TCtdbToc toc = CtdbTocOf(QStringLiteral("0:400:1000"));
    const QByteArray clean = CtdbNoise(31, 0, toc.AudioSamples);
    const TCtdbAccumulator reference = CtdbAccumulate(toc, clean);
    QByteArray damaged = clean;
    CtdbDamage(damaged, 100000, 100, 6);
    CtdbDamage(damaged, 400000, 50, 7);
    const qsizetype split = 4 * 400 * 588;
    const QByteArray reply = CtdbReplyXml(CtdbEntryXml(CtdbEntryOf(reference, 16, 3), "/p/9"));
    const QByteArray parity = CtdbParityFile(reference, 16);

    for (const bool flac : {false, true}) {
        SCOPED_TRACE(flac ? "flac" : "wav");
        QTemporaryDir home;
        const QString rips = home.filePath("rips");
        ASSERT_TRUE(QDir().mkpath(rips));
        if (flac) {
            CtdbWriteFlac(rips + "/disc.flac", damaged);
            ASSERT_TRUE(WriteAll(rips + "/rip.cue", "FILE \"disc.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                                    "TRACK 02 AUDIO\nINDEX 01 00:05:25\n"));
        } else {
            ASSERT_TRUE(WriteAll(rips + "/1.wav", CtdbWav(damaged.left(split))));
            ASSERT_TRUE(WriteAll(rips + "/2.wav", CtdbWav(damaged.mid(split))));
            ASSERT_TRUE(WriteAll(rips + "/rip.cue", "FILE \"1.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                                    "FILE \"2.wav\" WAVE\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n"));
        }
        TFakeCddbServer server;
        for (const TFakeReply& r : {TFakeReply::Http(200, reply), TFakeReply::Http(206, parity), TFakeReply::Http(200, reply),
                                    TFakeReply::Http(206, parity), TFakeReply::Http(200, reply)})
            server.Push(r);
        const QString url = "http://" + server.HostPort();
        const QString differs = "differs in 300 samples, confidence 3\ntrack\t1\tconfidence 0\ntrack\t2\tconfidence 0\n";

        TRun r = Cli(home.path(), {"ctdb", rips, "--url", url});
        EXPECT_EQ(r.Exit, 4) << qPrintable(r.Err);
        EXPECT_TRUE(r.Out.endsWith("\n" + differs)) << qPrintable(r.Out);
        r = Cli(home.path(), {"repair", rips + "/rip.cue", "--url", url});
        EXPECT_EQ(r.Exit, 0) << qPrintable(r.Err);
        EXPECT_EQ(r.Out, differs + QString("repaired\t300 samples in %1 files, offset 0\n").arg(flac ? 1 : 2) +
                             "corrected\t100000-100099\ncorrected\t400000-400049\n");
        if (flac) {
            EXPECT_TRUE(CtdbFlacPcm(rips + "/disc.flac") == clean);
        } else {
            EXPECT_EQ(ReadAll(rips + "/1.wav"), CtdbWav(clean.left(split)));
            EXPECT_EQ(ReadAll(rips + "/2.wav"), CtdbWav(clean.mid(split)));
        }
        r = Cli(home.path(), {"ctdb", rips, "--url", url});
        EXPECT_EQ(r.Exit, 0) << qPrintable(r.Err);
        EXPECT_TRUE(r.Out.endsWith("\nverified OK, confidence 3\ntrack\t1\tconfidence 3\ntrack\t2\tconfidence 3\n"));
        EXPECT_EQ(QDir(rips).entryList(QDir::Files).size(), flac ? 2 : 3);   // no part file left
    }
}

} // namespace
