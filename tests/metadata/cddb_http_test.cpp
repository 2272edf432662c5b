// CDDB over HTTP against the scripted fake server: the HTTP client's failures, the first
// library's CDDB functions and query thread (Stop, quitting mid-query), and the HTTP CDDB
// component. Timeouts are short; waits are watchdogs only.
#include "fixtures/FakeCddbServer.h"
#include "fixtures/TestDisc.h"
#include "audio/AuException.h"
#include "cd/CDInput.h"
#include "metadata/CddbInfo.h"
#include "metadata/CddbLookup.h"
#include "platform/HttpClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <thread>

namespace {

THttpOptions Short()
{
    THttpOptions o;
    o.IdleTimeoutMs = 300;
    o.TotalTimeoutMs = 1500;
    return o;
}

const QStringList kEntry{"210 rock 1401bb03 CD database entry follows (until terminating `.')",
                         "# xmcd", "DTITLE=Band / Record", "DYEAR=2001", "DGENRE=Rock",
                         "TTITLE0=First", "TTITLE1=Guest / Second", "TTITLE2=Band / Third", "."};

TEST(HttpClient, FailuresCarryAReason)
{
    TFakeCddbServer server;
    TFakeReply dribble = TFakeReply::Http(200, QByteArray(200, 'x'));
    dribble.How = TFakeReply::Kind::Dribble;
    dribble.DribbleMs = 100;                      // never idle, but past the total timeout
    TFakeReply cut = TFakeReply::Http(200, "half");
    cut.How = TFakeReply::Kind::CutShort;
    const struct {
        TFakeReply Reply;
        const char* Reason;
    } cases[] = {
        {TFakeReply::Http(200, "fine"), ""},
        {TFakeReply::Http(500, "oops"), "HTTP 500"},
        {TFakeReply::Stall(), "sent nothing"},
        {dribble, "did not finish"},
        {cut, "cut short"},
        {TFakeReply::Http(200, QByteArray(5 << 20, 'y')), "larger than"},
    };
    const QUrl url("http://" + server.HostPort() + "/x");
    for (const auto& c : cases) {
        server.Push(c.Reply);
        const THttpResult r = HttpGet(url, Short());
        EXPECT_EQ(r.Ok, QByteArray(c.Reason).isEmpty()) << c.Reason;
        EXPECT_TRUE(r.Error.contains(c.Reason)) << r.Error.toStdString();
        if (r.Ok) {
            EXPECT_EQ(r.Body, "fine");
        }
    }
    // Refused: a port nobody listens on any more.
    quint16 freePort = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        freePort = probe.serverPort();
    }
    const THttpResult refused = HttpGet(QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(freePort)), Short());
    EXPECT_FALSE(refused.Ok);
    EXPECT_TRUE(refused.Error.startsWith("No connection")) << refused.Error.toStdString();
}

TEST(HttpClient, ProxyGetsTheAbsoluteUrlOfAnUnresolvableHost)
{
    TFakeCddbServer proxy;
    proxy.Push(TFakeReply::Http(200, "via proxy"));
    THttpOptions o = Short();
    o.UseProxy = true;
    o.ProxyAddress = "127.0.0.1";
    o.ProxyPort = QString::number(proxy.Port());
    const THttpResult r = HttpGet(QUrl("http://no-such-host.invalid/~cddb/cddb.cgi?cmd=x"), o);
    EXPECT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(proxy.Requests(), QStringList{"http://no-such-host.invalid/~cddb/cddb.cgi?cmd=x"});
    EXPECT_EQ(HttpProxyPort("0"), 80);
    EXPECT_EQ(HttpProxyPort("65536"), 80);
    EXPECT_EQ(HttpProxyPort("x"), 80);
    EXPECT_EQ(HttpProxyPort(" 3128 "), 3128);
}

TEST(HttpClient, AbortEndsAStalledRequestFromAnotherThread)
{
    TFakeCddbServer server;
    server.Push(TFakeReply::Stall());
    THttpAbort abort;
    THttpOptions o;   // the ordinary timeouts: only the abort can end it soon
    std::thread stopper([&] {
        server.WaitForRequests(1);
        abort.Abort();
    });
    const THttpResult r = HttpGet(QUrl("http://" + server.HostPort() + "/x"), o, &abort);
    stopper.join();
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Error, "Stopped.");
    EXPECT_FALSE(HttpGet(QUrl("http://" + server.HostPort() + "/x"), o, &abort).Ok);   // stays aborted
}

class CddbLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString cue = MakeTestDisc(Dir.path(), {"--track", "audio:300", "--track", "audio:200"});
        ASSERT_FALSE(cue.isEmpty());
        SetDiscImages({cue});
        TDriveList list{};
        list.Capacity = MAX_CD_DRIVES;
        GetCDList(list);
        THandleRequest request;
        request.HostAdapter = uint8_t(list.Count - 1);
        Handle = GetCDHandle(request);
        ASSERT_NE(Handle, 0u);
        TCddbHandleToc source(Handle);
        TCddbToc toc;
        ASSERT_TRUE(source.ReadCddbToc(toc));
        Id = CddbDiscIdOf(toc);
        // The CD input component reports the same table for the same drive.
        TCDIn in;
        in.SetCurrentDrive(list.Count - 1);
        TCddbCDInToc viaCDIn(in);
        TCddbToc other;
        ASSERT_TRUE(viaCDIn.ReadCddbToc(other));
        EXPECT_EQ(other.Starts, toc.Starts);
        EXPECT_EQ(other.LeadOut, toc.LeadOut);
        Settings.Server = Server.HostPort();
        SetCddbLibraryOptions(Settings, 500, 3000);
    }
    void TearDown() override
    {
        CloseCDHandle(Handle);
        SetDiscImages({});
    }
    QTemporaryDir Dir;
    TFakeCddbServer Server;
    TQueryCDDB Settings;
    HCDROM Handle = 0;
    TCddbDiscId Id;
};

TEST_F(CddbLibrary, QueryAndReadOutcomes)
{
    const QString match = "rock " + Id.IdText + " Band / Record";
    const struct {
        QList<TFakeReply> Replies;
        int Code;
        int Error;
        const char* Reason;
        int Requests;
    } cases[] = {
        {{TFakeReply::Cddb({"200 " + match}), TFakeReply::Cddb(kEntry)}, CddbResult::Finished, 0, "", 2},
        // 211: the first read fails, the next match is read.
        {{TFakeReply::Cddb({"211 close", "misc 00000001 X / Y", match, "."}),
          TFakeReply::Cddb({"401 misc 00000001 No such CD entry in database"}), TFakeReply::Cddb(kEntry)},
         CddbResult::Finished, 0, "", 3},
        {{TFakeReply::Cddb({"202 No match for disc ID"})}, CddbResult::NoMatch, ALERR_CDDB_NOMATCH, "no entry", 1},
        {{TFakeReply::Cddb({"403 Database entry is corrupt"})}, CddbResult::NoMatch, ALERR_CDDB_SERVER, "403", 1},
        {{TFakeReply::Http(500, "down")}, CddbResult::NoMatch, ALERR_CDDB_NETWORK, "HTTP 500", 1},
        {{TFakeReply::Cddb({"200 " + match}), TFakeReply::Cddb({"402 Server error"})}, CddbResult::NoMatch,
         ALERR_CDDB_SERVER, "402", 2},
    };
    int before = 0;
    for (const auto& c : cases) {
        for (const TFakeReply& r : c.Replies)
            Server.Push(r);
        const TCddbLookupResult r = RunCddbLookup(Handle);
        EXPECT_EQ(r.Code, c.Code) << c.Reason;
        EXPECT_EQ(r.Error, c.Error) << c.Reason;
        EXPECT_TRUE(r.Reason.contains(c.Reason)) << r.Reason.toStdString();
        if (r.Code == CddbResult::Finished) {
            EXPECT_EQ(r.Entry.Artist, "Band");
            EXPECT_EQ(r.Entry.Titles.value(1), "Guest / Second");
        }
        EXPECT_EQ(Server.Requests().size() - before, c.Requests) << c.Reason;
        before = int(Server.Requests().size());
    }
    const QString first = Server.Requests().value(0);
    EXPECT_TRUE(first.startsWith("/~cddb/cddb.cgi?cmd=cddb+query+" + Id.IdText + "+2+150+450+")) << first.toStdString();
    EXPECT_TRUE(first.endsWith("&hello=anonymous+localhost+program+1.0&proto=6")) << first.toStdString();
    EXPECT_EQ(Server.Requests().value(1), "/~cddb/cddb.cgi?cmd=cddb+read+rock+" + Id.IdText +
                                              "&hello=anonymous+localhost+program+1.0&proto=6");
}

TEST_F(CddbLibrary, AnEntryLargerThanTheBufferFailsUncut)
{
    Server.Push(TFakeReply::Cddb(kEntry));
    TCddbMatch m{};
    qstrcpy(m.Category, "rock");
    qstrcpy(m.DiscId, "1401bb03");
    char text[16] = "unchanged";
    EXPECT_EQ(CDDBGetDiskInfo(&m, text, sizeof(text)), 0);
    EXPECT_EQ(GetAspiLibError(), ALERR_BUFTOOSMALL);
    EXPECT_EQ(text[0], 0);
}

// Receives WM_CDDB_RESULT the way the waiting box does.
class TResultSink : public QObject {
public:
    int Results = 0;
    TCddbLookupResult Last;
    bool event(QEvent* e) override
    {
        if (e->type() != CddbResultEventType)
            return QObject::event(e);
        ++Results;
        Last = static_cast<TCddbResultEvent*>(e)->Result;
        return true;
    }
};

TEST_F(CddbLibrary, ThreadPostsTheResultAndStopLeavesNothing)
{
    TResultSink sink;
    Server.Push(TFakeReply::Cddb({"200 rock " + Id.IdText + " t"}));
    Server.Push(TFakeReply::Cddb(kEntry));
    {
        TQueryCDDBThread thread(1, 2, Handle, &sink, Settings);
        thread.SetTimeouts(500, 3000);
        thread.start();
        ASSERT_TRUE(thread.wait(10000));
    }
    QCoreApplication::sendPostedEvents(&sink);
    ASSERT_EQ(sink.Results, 1);
    EXPECT_EQ(sink.Last.Code, CddbResult::Finished);
    EXPECT_EQ(sink.Last.Entry.Album, "Record");

    // Stop during a stall with the ordinary timeouts: the thread ends at once, posts nothing.
    Server.Push(TFakeReply::Stall());
    TQueryCDDBThread stopped(1, 2, Handle, &sink, Settings);
    stopped.start();
    ASSERT_TRUE(Server.WaitForRequests(3));
    stopped.Abandon();
    ASSERT_TRUE(stopped.wait(5000));
    QCoreApplication::sendPostedEvents(&sink);
    EXPECT_EQ(sink.Results, 1);

    // Quitting mid-query: the thread's owner goes while the server stalls.
    Server.Push(TFakeReply::Stall());
    auto quitting = std::make_unique<TQueryCDDBThread>(1, 2, Handle, &sink, Settings);
    quitting->start();
    ASSERT_TRUE(Server.WaitForRequests(4));
    quitting.reset();
    QCoreApplication::sendPostedEvents(&sink);
    EXPECT_EQ(sink.Results, 1);
}

// A table of contents handed in by a test, as the CD input component would.
class TFixedToc : public TCddbTocSource {
public:
    explicit TFixedToc(TCddbToc toc, bool present = true) : Toc(std::move(toc)), Present(present) {}
    bool ReadCddbToc(TCddbToc& toc) override
    {
        toc = Toc;
        return Present;
    }
    TCddbToc Toc;
    bool Present;
};

TEST(CddbInfo, FirstMatchReadAndFailuresKeepTheAlbum)
{
    TFakeCddbServer server;
    TFixedToc source({{0, 18750, 19425}, 33225});
    TCDDBInfo info;
    info.Server = "http://" + server.HostPort();
    info.Http = Short();
    EXPECT_THROW(info.CddbDiscId(), EAuException);
    info.SetCDIn(&source);
    EXPECT_EQ(info.CddbDiscId(), "1401bb03");
    EXPECT_EQ(info.QueryString(), "3 150 18900 19575 445");

    server.Push(TFakeReply::Cddb({"211 close", "rock 1401bb03 Band / Record", "misc 1401bb03 Other", "."}));
    server.Push(TFakeReply::Cddb(kEntry));
    EXPECT_EQ(info.Query(), 211);
    ASSERT_TRUE(info.HasEntry());
    EXPECT_EQ(info.AlbumRecord().AlbumTitle, "Record");
    EXPECT_EQ(info.AlbumRecord().TrackTitles, (QStringList{"First", "Second", "Third"}));
    // What the disc information stores keeps a track's own artist for the tags.
    const QStringList stored{StoredCddbTitle(info.AlbumRecord(), 0), StoredCddbTitle(info.AlbumRecord(), 1),
                             StoredCddbTitle(info.AlbumRecord(), 2), StoredCddbTitle(info.AlbumRecord(), 3)};
    EXPECT_EQ(stored, (QStringList{"First", "Guest / Second", "Third", ""}));
    EXPECT_EQ(server.Requests().value(0),
              "/~cddb/cddb.cgi?cmd=cddb+query+1401bb03+3+150+18900+19575+445&hello=anonymous+localhost+CDConv+v1.0&proto=6");
    EXPECT_TRUE(server.Requests().value(1).startsWith("/~cddb/cddb.cgi?cmd=cddb+read+rock+1401bb03&"));

    const struct {
        QList<TFakeReply> Replies;
        int Status;
    } failures[] = {
        {{TFakeReply::Cddb({"202 No match"})}, 202},
        {{TFakeReply::Cddb({"200 rock 1401bb03 x"}), TFakeReply::Cddb({"403 Database entry is corrupt"})}, 200},
        {{TFakeReply::Http(500)}, -1},
    };
    for (const auto& f : failures) {
        for (const TFakeReply& r : f.Replies)
            server.Push(r);
        EXPECT_EQ(info.Query(), f.Status);
        EXPECT_FALSE(info.HasEntry());
        EXPECT_FALSE(info.Reason().isEmpty());
        EXPECT_EQ(info.AlbumRecord().Artist, "Band");   // the last entry stays
    }
    TFixedToc empty({}, false);
    info.SetCDIn(&empty);
    EXPECT_EQ(info.CddbDiscId(), "ffffffff");
    EXPECT_EQ(info.Query(), -2);
}

} // namespace
