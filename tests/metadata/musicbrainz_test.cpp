// MusicBrainz: disc ids against libdiscid's Python binding, the lookup against the fake server
// (replies good and bad, the user agent and the spacing of requests), the release choice, the
// cover download and what the rip jobs take from a stored cover; and the command line.
#include "fixtures/CannedPrompter.h"
#include "fixtures/FakeCddbServer.h"
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"
#include "metadata/MusicBrainz.h"
#include "settings/CDInfo.h"
#include "settings/Options.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kDiscId = QStringLiteral("Ec7gobakzcOZVwoWZNfXCJd.Srw-");
const QString kId1 = QStringLiteral("11111111-1111-4111-8111-111111111111");
const QString kId2 = QStringLiteral("22222222-2222-4222-8222-222222222222");
const TCddbToc kToc{{0, 18750, 19425}, 33225};   // offsets 150 18900 19575, lead-out 33375

QJsonObject Medium(const QString& discId, const QJsonArray& offsets, int tracks)
{
    QJsonArray list;
    for (int n = 1; n <= tracks; ++n) {
        QJsonObject t{{"position", n}, {"title", QStringLiteral("Song %1").arg(n)}};
        if (n == 2)
            t["artist-credit"] = QJsonArray{QJsonObject{{"name", "Guest"}}};
        list << t;
    }
    return {{"format", "CD"}, {"position", 1}, {"tracks", list},
            {"discs", QJsonArray{QJsonObject{{"id", discId}, {"offsets", offsets}}}}};
}

QJsonObject Release(const QString& id, const QString& title, const QJsonObject& medium)
{
    return {{"id", id}, {"title", title}, {"date", "1999-05-01"}, {"country", "GB"},
            {"artist-credit", QJsonArray{QJsonObject{{"name", "Band"}, {"joinphrase", " & "}},
                                         QJsonObject{{"artist", QJsonObject{{"name", "Friends"}}}}}},
            {"media", QJsonArray{medium}}};
}

QByteArray Reply(const QJsonArray& releases)
{
    return QJsonDocument(QJsonObject{{"releases", releases}}).toJson(QJsonDocument::Compact);
}

const QJsonObject kOurs = Medium(kDiscId, {150, 18900, 19575}, 3);

} // namespace

TEST(MusicBrainz, DiscIdsAgreeWithLibdiscid)
{
    const TMbDiscId example = MbDiscIdOf(kToc);
    EXPECT_EQ(example.Id, kDiscId);
    EXPECT_EQ(example.Toc, "1+3+33375+150+18900+19575");
    EXPECT_FALSE(MbDiscIdOf({{0, 500}, 400}).Valid);     // a start past the lead-out
    EXPECT_FALSE(MbDiscIdOf({{}, 400}).Valid);
    EXPECT_EQ(MbDiscIdOf({{0, 18750, 44625}, 60000, {false, false, true}}).Id, MbDiscIdOf({{0, 18750}, 33225}).Id);

    QRandomGenerator random(7);
    for (int disc = 0; disc < 5; ++disc) {
        TCddbToc toc;
        int at = 0;
        for (int n = int(random.bounded(1, 30)); n > 0; --n, at += int(random.bounded(300, 40000)))
            toc.Starts << at;
        toc.LeadOut = at;
        QStringList offsets;
        for (int s : toc.Starts)
            offsets << QString::number(s + 150);
        QProcess py;
        py.start("/usr/bin/python3", {"-c", QStringLiteral("import libdiscid; print(libdiscid.put(1, %1, %2, [%3]).id)")
                                                .arg(toc.Starts.size()).arg(toc.LeadOut + 150).arg(offsets.join(','))});
        ASSERT_TRUE(py.waitForFinished(10000));
        EXPECT_EQ(MbDiscIdOf(toc).Id, QString::fromLatin1(py.readAllStandardOutput().trimmed())) << offsets.join(' ').toStdString();
    }
}

TEST(MusicBrainz, LookupRepliesGoodAndBad)
{
    using O = TMbLookup::Outcome;
    const QJsonObject other = Medium("otherdiscid.................", {150, 18900, 19575}, 3);
    const QJsonObject fourTracks = Medium("otherdiscid.................", {150, 1000, 2000, 3000}, 4);
    struct Case {
        const char* name;
        QList<TFakeReply> replies;
        O outcome;
        int releases;
        QString firstTitle;
    };
    TFakeReply truncated = TFakeReply::Http(200, Reply({Release(kId1, "Cut", kOurs)}));
    truncated.How = TFakeReply::Kind::CutShort;
    const QList<Case> cases = {
        {"one release", {TFakeReply::Http(200, Reply({Release(kId1, "Album", kOurs)}))}, O::Found, 1, "Album"},
        {"two releases", {TFakeReply::Http(200, Reply({Release(kId1, "A", kOurs), Release(kId2, "B", kOurs)}))}, O::Found, 2, "A"},
        {"toc match only", {TFakeReply::Http(200, Reply({Release(kId1, "Four", fourTracks), Release(kId2, "Fits", other)}))}, O::Found, 1, "Fits"},
        {"404", {TFakeReply::Http(404, "{}")}, O::NotFound, 0, {}},
        {"503 then 200", {TFakeReply::Http(503), TFakeReply::Http(200, Reply({Release(kId1, "Later", kOurs)}))}, O::Found, 1, "Later"},
        {"503 twice", {TFakeReply::Http(503), TFakeReply::Http(503)}, O::Failed, 0, {}},
        {"500", {TFakeReply::Http(500)}, O::Failed, 0, {}},
        {"stall", {TFakeReply::Stall()}, O::Failed, 0, {}},
        {"truncated", {truncated}, O::Failed, 0, {}},
        {"malformed", {TFakeReply::Http(200, "{\"releases\": [")}, O::Failed, 0, {}},
        {"3 MiB", {TFakeReply::Http(200, QByteArray(3 << 20, ' '))}, O::Failed, 0, {}},
        {"no releases key", {TFakeReply::Http(200, "{\"id\": \"x\"}")}, O::Failed, 0, {}},
        {"missing fields", {TFakeReply::Http(200, Reply({QJsonObject{{"title", "no id"}, {"media", QJsonArray{kOurs}}},
                                                         QJsonObject{{"id", kId2}, {"media", QJsonArray{QJsonObject{{"tracks", QJsonArray{QJsonObject{{"position", 1}}, QJsonObject{}, QJsonObject{}}}}}}}}))},
         O::Found, 1, ""},
    };
    TFakeCddbServer server;
    THttpOptions http;
    http.IdleTimeoutMs = 700;
    int sent = 0;
    for (const Case& c : cases) {
        for (const TFakeReply& r : c.replies)
            server.Push(r);
        const TMbLookup r = MbLookupDisc("http://" + server.HostPort(), MbDiscIdOf(kToc), kToc, http);
        sent += int(c.replies.size());
        EXPECT_EQ(r.Result, c.outcome) << c.name << ": " << r.Error.toStdString();
        EXPECT_EQ(r.Releases.size(), c.releases) << c.name;
        EXPECT_EQ(r.Result == O::Found, r.Error.isEmpty()) << c.name;
        if (!r.Releases.isEmpty()) {
            EXPECT_EQ(r.Releases[0].Title, c.firstTitle) << c.name;
        }
        EXPECT_EQ(server.Requests().size(), sent) << c.name;
    }
    const QStringList requests = server.Requests();
    EXPECT_EQ(requests[0], "/ws/2/discid/" + kDiscId + "?toc=1+3+33375+150+18900+19575&inc=artist-credits+recordings&fmt=json");
    const QList<qint64> at = server.ArrivalTimesMs();
    for (int i = 0; i < at.size(); ++i) {
        EXPECT_TRUE(server.RequestHeaders()[i].contains("User-Agent: VarnelCD/2.0 ( https://varnelcd.sourceforge.io/ )"));
        if (i > 0) {
            EXPECT_GE(at[i] - at[i - 1], 950) << "request " << i;
        }
    }
}

TEST(MusicBrainz, ReleaseFieldsChoiceAndDiscInformation)
{
    QList<TMbRelease> releases;
    QString error;
    ASSERT_TRUE(ParseMbReleases(Reply({Release(kId1, "A\nB", kOurs), Release(kId2, "Second", kOurs)}), kDiscId, kToc, releases, error));
    ASSERT_EQ(releases.size(), 2);
    const TMbRelease& r = releases[1];
    EXPECT_EQ(r.Artist, "Band & Friends");
    EXPECT_EQ(releases[0].Title, "A B");                       // no line break reaches a field
    EXPECT_EQ(r.Year, "1999");
    EXPECT_EQ(r.Titles, QStringList({"Song 1", "Guest / Song 2", "Song 3"}));

    TCannedPrompter prompter;
    EXPECT_EQ(ChooseMbRelease(releases, prompter), -1);        // cancelled
    prompter.Choices = {1};
    EXPECT_EQ(ChooseMbRelease(releases, prompter), 1);
    EXPECT_TRUE(prompter.Texts("choice").value(0).contains("Second\tBand & Friends\t1999-05-01\tGB\tCD"));
    EXPECT_EQ(ChooseMbRelease(releases.mid(0, 1), prompter), 0);   // one release: no question
    EXPECT_EQ(prompter.Texts("choice").size(), 2);

    TCDInfo info;
    info.Genre = 17;
    QStringList rows{"x", "y"};
    ApplyMbRelease(r, info, rows);
    EXPECT_EQ(rows, QStringList({"Song 1", "Guest / Song 2"}));
    EXPECT_EQ(info.Album, "Second");
    EXPECT_EQ(info.MBRelease, kId2);
    EXPECT_EQ(info.Genre, 17);
    EXPECT_EQ(info.DiscNumber, 1);
    EXPECT_EQ(info.DiscTotal, 1);

    // Disc 2 of a two-disc set: its position and the set's count go with the titles.
    QJsonObject second = kOurs;
    second["position"] = 2;
    QJsonObject set = Release(kId1, "Set", Medium("otherdiscid.................", {150, 5000}, 2));
    set["media"] = QJsonArray{set["media"].toArray()[0], second};
    ASSERT_TRUE(ParseMbReleases(Reply({set}), kDiscId, kToc, releases, error));
    ASSERT_EQ(releases.size(), 1);
    ApplyMbRelease(releases[0], info, rows);
    EXPECT_EQ(info.DiscNumber, 2);
    EXPECT_EQ(info.DiscTotal, 2);
}

// A server's id names a cover file and a cdinfo.dat value: only the exact lower-case form
// passes; text fields lose their control characters and are cut to length.
TEST(MusicBrainz, HostileIdsAndFieldsDoNotGetThrough)
{
    const QStringList badIds = {kId1 + "\n", kId1 + "\r", "\n" + kId1, QStringLiteral("abcdef01-2345-4678-89ab-cdef01234567").toUpper(), kId1 + "0",
                                kId1.left(35), QString(kId1).replace(8, 1, "/"), QString(kId1).replace(0, 1, QChar(0))};
    for (const QString& id : badIds) {
        QList<TMbRelease> releases;
        QString error;
        ASSERT_TRUE(ParseMbReleases(Reply({Release(id, "T", kOurs)}), kDiscId, kToc, releases, error));
        EXPECT_TRUE(releases.isEmpty()) << id.toStdString();
        EXPECT_TRUE(StoredCoverPath(id).isEmpty()) << id.toStdString();
    }
    QList<TMbRelease> releases;
    QString error;
    const QString nul = QStringLiteral("a") + QChar(0) + QStringLiteral("b\u2028c\x1b");
    ASSERT_TRUE(ParseMbReleases(Reply({Release(kId1, nul + QString(5000, 'x'), kOurs)}), kDiscId, kToc, releases, error));
    ASSERT_EQ(releases.size(), 1);
    EXPECT_EQ(releases[0].Title.left(5), "a b c");
    EXPECT_EQ(releases[0].Title.size(), 255);
}

TEST(MusicBrainz, CoverDownloadStorageAndPictureBlocks)
{
    // A JPEG header with a 300x500 three-component frame, and a 2x3 RGBA PNG header.
    const QByteArray jpeg = QByteArray::fromHex("ffd8ffe000104a46494600010100000100010000ffc0001108"
                                                "01f4012c03012200021101031101ffd9");
    const QByteArray png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000020000000308060000001e");
    using O = TCoverFetch::Outcome;
    struct Case {
        const char* name;
        QList<TFakeReply> replies;
        O outcome;
        QString mime;
    };
    const QList<Case> cases = {
        {"307 elsewhere", {TFakeReply::Http(307).With("Location", "/elsewhere/front.jpg"), TFakeReply::Http(200, jpeg)}, O::Found, "image/jpeg"},
        {"404", {TFakeReply::Http(404, "none")}, O::None, {}},
        {"png", {TFakeReply::Http(200, png)}, O::Found, "image/png"},
        {"12 MiB", {TFakeReply::Http(200, jpeg + QByteArray(12 << 20, 'x'))}, O::Failed, {}},
        {"not an image", {TFakeReply::Http(200, "<html>")}, O::Failed, {}},
    };
    TFakeCddbServer server;
    TCoverImage last;
    for (const Case& c : cases) {
        for (const TFakeReply& r : c.replies)
            server.Push(r);
        const TCoverFetch f = FetchMbCover("http://" + server.HostPort(), kId1, {});
        EXPECT_EQ(f.Result, c.outcome) << c.name << ": " << f.Error.toStdString();
        EXPECT_EQ(f.Image.Mime, c.mime) << c.name;
        EXPECT_EQ(f.Result == O::Failed, !f.Error.isEmpty()) << c.name;
        if (!f.Image.IsNull())
            last = f.Image;
    }
    EXPECT_EQ(server.Requests().mid(0, 2), QStringList({"/release/" + kId1 + "/front-500", "/elsewhere/front.jpg"}));
    EXPECT_EQ(CoverImageOf(jpeg).Width, 300);
    EXPECT_EQ(CoverImageOf(jpeg).Height, 500);
    EXPECT_EQ(CoverImageOf(jpeg).Depth, 24);
    EXPECT_EQ(last.Width, 2);
    EXPECT_EQ(last.Height, 3);
    EXPECT_EQ(last.Depth, 32);

    OptionsSetting.CDInfo.MBRelease = kId1;
    EXPECT_TRUE(CurrentDiscCoverPath().isEmpty() || QFile::remove(CurrentDiscCoverPath()));
    EXPECT_TRUE(CurrentDiscCover().IsNull());
    EXPECT_TRUE(StoreMbCover(QStringLiteral("../evil"), last).isEmpty());
    StoreMbCover(kId1, CoverImageOf(jpeg));
    EXPECT_EQ(StoreMbCover(kId1, last), CoverFolder() + kId1 + ".png");
    EXPECT_EQ(CurrentDiscCoverPath(), CoverFolder() + kId1 + ".png");   // the older JPEG is gone
    EXPECT_EQ(CurrentDiscCover().Bytes, png);

    const QByteArray block = FlacPictureBlock(CurrentDiscCover());
    const QByteArray head = QByteArray::fromHex("00000003" "00000009") + "image/png" +
                            QByteArray::fromHex("00000000" "00000002" "00000003" "00000020" "00000000") +
                            QByteArray::fromHex("0000001e");
    EXPECT_EQ(block, head + png);
    EXPECT_EQ(OggCoverComment(CurrentDiscCover()), block.toBase64());
}

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

} // namespace

TEST(MusicBrainzCli, ListsChoosesStoresAndKeepsTheCover)
{
    QTemporaryDir dir;
    const QString cue = MakeTestDisc(dir.path(), {"--track", "audio:18750", "--track", "audio:675", "--track", "audio:13800"});
    ASSERT_FALSE(cue.isEmpty());
    TFakeCddbServer server;
    const QString url = "http://" + server.HostPort();
    const QStringList common{"musicbrainz", "--disc-image", cue, "--server", url, "--coverart", url};
    QFile::remove(CDInfoFileName());
    const QByteArray two = Reply({Release(kId1, "First", kOurs), Release(kId2, "Second", kOurs)});

    for (const QStringList& extra : {QStringList{"--id-only"}, QStringList{"--id-only", "--cd-input-only"}})
        EXPECT_EQ(Cli(common + extra).Out, "discid\t" + kDiscId + "\ntoc\t1+3+33375+150+18900+19575\n");
    const QString enhanced = MakeTestDisc(dir.path(), {"--track", "audio:18750", "--track", "audio:675", "--track", "data:13800"}, "enhanced");
    EXPECT_TRUE(Cli({"musicbrainz", "--disc-image", enhanced, "--id-only"}).Out.endsWith("\ntoc\t1+2+19575+150+18900\n")); // data left out
    server.Push(TFakeReply::Http(200, two));
    const TRun list = Cli(common);
    EXPECT_EQ(list.Code, 3) << list.Err.toStdString();
    EXPECT_TRUE(list.Out.contains("release\t2\t" + kId2 + "\tSecond\tBand & Friends\t1999-05-01\tGB\n")) << list.Out.toStdString();
    EXPECT_FALSE(QFile::exists(CDInfoFileName()));

    server.Push(TFakeReply::Http(200, two));
    server.Push(TFakeReply::Http(200, QByteArray::fromHex("89504e470d0a1a0a")));
    const TRun chosen = Cli(common + QStringList{"--release", "2"});
    EXPECT_EQ(chosen.Code, 0) << chosen.Err.toStdString();
    const QString cover = CoverFolder() + kId2 + ".png";
    EXPECT_TRUE(chosen.Out.contains("release\t" + kId2 + "\nartist\tBand & Friends\nalbum\tSecond\nyear\t1999\n1\tSong 1\t"))
        << chosen.Out.toStdString();
    EXPECT_TRUE(chosen.Out.contains("\n2\tGuest / Song 2\t"));
    EXPECT_TRUE(chosen.Out.endsWith("cover\t" + cover + "\n")) << chosen.Out.toStdString();
    EXPECT_TRUE(QFile::exists(cover));
    EXPECT_TRUE(ReadAll(CDInfoFileName()).contains(("MBRelease=" + kId2).toUtf8()));
}
