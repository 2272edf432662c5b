// varnelcd-cli cddb against the fake server: what it prints, what it stores, and that a
// lookup without an entry exits 1 with the reason and stores nothing.
#include "fixtures/FakeCddbServer.h"
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"
#include "settings/CDInfo.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

struct TRun {
    int Code = -1;
    QString Out, Err;
};

TRun Cli(const QStringList& args)
{
    QProcess p;
    p.start(VARNELCD_CLI, args);
    TRun r;
    if (!p.waitForFinished(20000))
        return r;
    r.Code = p.exitCode();
    r.Out = QString::fromUtf8(p.readAllStandardOutput());
    r.Err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

TEST(CddbCli, PrintsAndStoresAnEntryOrNothing)
{
    QTemporaryDir dir;
    const QString cue = MakeTestDisc(dir.path(), {"--track", "audio:18750", "--track", "audio:675", "--track", "audio:13800"});
    ASSERT_FALSE(cue.isEmpty());
    TFakeCddbServer server;
    const QStringList common{"cddb", "--disc-image", cue, "--server", server.HostPort(), "--timeout", "3"};
    QFile::remove(CDInfoFileName());

    server.Push(TFakeReply::Cddb({"202 No match for disc ID 1401bb03"}));
    const TRun none = Cli(common + QStringList{"--lang", "en"});
    EXPECT_EQ(none.Code, 1);
    EXPECT_TRUE(none.Err.contains("No match found")) << none.Err.toStdString();
    EXPECT_TRUE(none.Err.contains("1401bb03")) << none.Err.toStdString();
    EXPECT_FALSE(QFile::exists(CDInfoFileName()));

    const TRun id = Cli(common + QStringList{"--id-only"});
    EXPECT_EQ(id.Code, 0);
    EXPECT_EQ(id.Out, "discid\t1401bb03\nquery\t3 150 18900 19575 445\n");

    server.Push(TFakeReply::Cddb({"200 rock 1401bb03 Band / Record"}));
    server.Push(TFakeReply::Cddb({"210 rock 1401bb03 follows", "DTITLE=Band / Record", "DGENRE=Rock",
                                  "TTITLE0=First", "TTITLE2=Third", "."}));
    const TRun found = Cli(common);
    EXPECT_EQ(found.Code, 0) << found.Err.toStdString();
    EXPECT_TRUE(found.Out.contains("artist\tBand\nalbum\tRecord\nyear\t\ngenre\tRock\n1\tFirst\t")) << found.Out.toStdString();
    EXPECT_TRUE(found.Out.contains("\n3\tThird\t")) << found.Out.toStdString();
    const QString cache = QString::fromUtf8(ReadAll(CDInfoFileName()));
    EXPECT_TRUE(cache.contains("Third")) << cache.toStdString();
    EXPECT_TRUE(cache.contains("Record")) << cache.toStdString();
}

} // namespace

namespace {

// Not a test: runs the fake server alone for a person trying the program, e.g.
//   tests/metadata_cddb_cli_test --gtest_also_run_disabled_tests --gtest_filter='*ServeDemoEntry'
// prints "serving on 127.0.0.1:PORT", answers one lookup (query and read) with a demo entry
// for any disc, and ends after it or after two minutes.
TEST(CddbCli, DISABLED_ServeDemoEntry)
{
    TFakeCddbServer server;
    server.Push(TFakeReply::Cddb({"211 close matches found", "rock 00000000 The Demo Band / Songs For Testing", "."}));
    server.Push(TFakeReply::Cddb({"210 rock 00000000 CD database entry follows", "# xmcd",
                                  "DTITLE=The Demo Band / Songs For Testing", "DYEAR=2024", "DGENRE=Rock",
                                  "TTITLE0=Opening Night", "TTITLE1=A Short Interlude", "TTITLE2=The Long Goodbye", "."}));
    std::printf("serving on %s\n", qPrintable(server.HostPort()));
    std::fflush(stdout);
    server.WaitForRequests(2, 120000);
    for (const QString& r : server.Requests())
        std::printf("request %s\n", qPrintable(r));
}

} // namespace
