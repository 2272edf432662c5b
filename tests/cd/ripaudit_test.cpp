// Read offset correction, checksums, database verdicts and the rip log of `varnelcd-cli rip`
// on both CD rip paths, against the bytes of a generated disc image and a scripted database.
#include "cd/RipAudit.h"
#include "fixtures/CtdbTestAudio.h"
#include "fixtures/FakeCddbServer.h"
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"
#include "settings/Options.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr int kSector = 2352;
const QStringList kPaths = {"--cd-input-only", ""};   // the CD input component, the first library
const QStringList kTracks = {"20", "15", "25"};      // sectors

struct TRun {
    int ExitCode = -1;
    QString Err;
    QString Log;
};

class RipAuditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QStringList args;
        for (const QString& t : kTracks) args << "--track" << "audio:" + t;
        Cue = MakeTestDisc(Home.path(), args);
        QString bin = Cue;
        Bin = ReadAll(bin.replace(".cue", ".bin"));
        for (int64_t at = 0; const QString& t : kTracks) {
            Disc.Starts.push_back(at);
            Disc.Data.push_back(false);
            at += t.toInt();
            Disc.LeadOut = at;
        }
    }

    // One rip to WAV into a fresh folder; the log is read from --log.
    TRun Rip(const QStringList& args, const QString& faults = {}, const QByteArray& optionsIni = {})
    {
        QDir(Out()).removeRecursively();
        const QString config = Home.filePath("config");
        QDir(config).removeRecursively();
        if (!optionsIni.isEmpty()) {
            const QString folder = config + "/Varnel软件/CD音频转换";
            QDir().mkpath(folder);
            WriteAll(folder + "/options.ini", optionsIni);
        }
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", Home.path());
        env.insert("XDG_CONFIG_HOME", config);
        env.insert("VARNELCD_READ_FAULTS", faults);
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        const QString log = Home.filePath("rip.log");
        QFile::remove(log);
        const QStringList ctdb = args.contains("--ctdb-url") ? QStringList{} : QStringList{"--no-ctdb"};
        p.start(VARNELCD_CLI, QStringList{"rip", "--disc-image", Cue, "--out", Out(), "--format", "wav", "--log", log} + ctdb + args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardError()), QString::fromUtf8(ReadAll(log))};
    }

    QString Out() const { return Home.filePath("out"); }
    QByteArray Wav(int track) const { return ReadAll(Out() + QStringLiteral("/音轨 %1.wav").arg(track, 2, 10, QChar('0'))).mid(44); }

    // What a drive with read offset `offset` gives for a track once corrected: the disc's
    // bytes shifted, zeros outside the disc.
    QByteArray Corrected(int track, int offset) const
    {
        const int64_t first = Disc.Starts[size_t(track - 1)] * kSector + int64_t(offset) * 4;
        const int64_t length = kTracks[track - 1].toInt() * kSector;
        QByteArray out(length, '\0');
        for (int64_t i = 0; i < length; ++i)
            if (first + i >= 0 && first + i < Bin.size()) out[qsizetype(i)] = Bin.at(qsizetype(first + i));
        return out;
    }
    TTrackChecksum Sums(int track, int offset) const
    {
        const QByteArray bytes = Corrected(track, offset);
        TTrackChecksum sum(bytes.size() / 4, track == 1, track == int(kTracks.size()));
        sum.Add(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
        return sum;
    }

    QTemporaryDir Home;
    QString Cue;
    QByteArray Bin;
    TDiscLayout Disc;
};

QString Hex(uint32_t v) { return QStringLiteral("%1").arg(v, 8, 16, QChar('0')).toUpper(); }

// The log's lines for one track ("Track N" up to the next blank line).
QStringList TrackLines(const QString& log, int track)
{
    const QStringList lines = log.split('\n');
    const qsizetype at = lines.indexOf(QStringLiteral("Track %1").arg(track));
    QStringList out;
    for (qsizetype i = at + 1; at >= 0 && i < lines.size() && !lines[i].isEmpty(); ++i) out << lines[i].trimmed();
    return out;
}

// dBAR: one chunk for the disc, each track's entry (confidence, CRC, frame CRC).
QByteArray Dbar(const TAccurateRipId& id, const std::vector<std::pair<int, uint32_t>>& entries)
{
    QByteArray b;
    const auto put32 = [&b](uint32_t v) { for (int i = 0; i < 4; ++i) b.append(char(v >> (8 * i))); };
    b.append(char(id.Tracks));
    put32(id.Id1);
    put32(id.Id2);
    put32(id.Id3);
    for (const auto& [confidence, crc] : entries) {
        b.append(char(confidence));
        put32(crc);
        put32(0);
    }
    return b;
}

} // namespace

TEST_F(RipAuditTest, OffsetCorrectionAtBothDiscEndsIsTheSameOnBothPaths)
{
    constexpr int N = 1001;   // not a whole number of sectors
    for (const int offset : {-N, 0, N}) {
        QStringList sums;   // per path: the three sums of both tracks
        for (const QString& path : kPaths) {
            SCOPED_TRACE(QStringLiteral("offset %1 %2").arg(offset).arg(path).toStdString());
            // +N comes from the stored setting of image drives, the others from --offset.
            const bool stored = offset > 0;
            QStringList args = {"--tracks", "1,3", "--no-accuraterip"};
            if (!path.isEmpty()) args << path;
            if (!stored) args << "--offset" << QString::number(offset);
            const TRun r = Rip(args, {}, stored ? QByteArray("[ReadOffsets]\nImage=") + QByteArray::number(offset) + "\n" : QByteArray());
            ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
            EXPECT_TRUE(r.Log.contains(QStringLiteral("\nRead offset correction: %1\n").arg(SignedNumber(offset))));
            QString all;
            for (const int track : {1, 3}) {
                EXPECT_TRUE(Wav(track) == Corrected(track, offset)) << "track " << track;
                const TTrackChecksum sum = Sums(track, offset);
                const QStringList lines = TrackLines(r.Log, track);
                EXPECT_TRUE(lines.contains("Copy CRC: " + Hex(sum.Crc32()))) << lines.join('|').toStdString();
                EXPECT_TRUE(lines.contains("AccurateRip v1: " + Hex(sum.V1())));
                EXPECT_TRUE(lines.contains("AccurateRip v2: " + Hex(sum.V2())));
                EXPECT_TRUE(lines.contains("AccurateRip: not checked"));
                // Zeros only where the shift leaves the disc: before track 1, past track 3.
                const bool before = track == 1 && offset < 0, past = track == 3 && offset > 0;
                EXPECT_EQ(lines.contains(QStringLiteral("Before the disc: %1 samples of silence").arg(N)), before);
                EXPECT_EQ(lines.contains(QStringLiteral("Past the disc: %1 samples of silence").arg(N)), past);
                all += lines.filter(QRegularExpression("^(Copy CRC|AccurateRip v)")).join('|');
            }
            sums << all;
        }
        EXPECT_EQ(sums[0], sums[1]);
    }
}

TEST_F(RipAuditTest, DatabaseAnswersTestPassAndReadFaultsInTheLog)
{
    const TAccurateRipId id = Disc.Id().Id;
    const TTrackChecksum s1 = Sums(1, 0), s2 = Sums(2, 0);
    TFakeCddbServer server;
    const QString url = QStringLiteral("http://%1/accuraterip").arg(server.HostPort());
    struct TCase {
        const char* Name;
        QList<TFakeReply> Replies;
        QStringList Args;
        QString Faults;
        QStringList Verdicts;   // tracks 1..3
        QString Summary;
        int Requests;
    } cases[] = {
        {"accurate by v2, v1 and not", {TFakeReply::Http(200, Dbar(id, {{12, s1.V2()}, {3, s2.V1()}, {5, 0x1234}}))}, {}, {},
         {"accurate (v2, confidence 12)", "accurate (v1, confidence 3)", "not accurate"}, "Summary: 2 of 3 tracks accurate", 1},
        // An entry nobody submitted proves nothing.
        {"confidence 0", {TFakeReply::Http(200, Dbar(id, {{0, s1.V2()}, {0, s2.V1()}, {5, 0x1234}}))}, {}, {},
         {"not accurate", "not accurate", "not accurate"}, "Summary: 0 of 3 tracks accurate", 1},
        {"404", {TFakeReply::Http(404)}, {"--test"}, {}, {"not in database", "not in database", "not in database"},
         "Summary: 0 of 3 tracks accurate", 1},
        {"500", {TFakeReply::Http(500)}, {}, "25", {}, "Summary: 0 of 3 tracks accurate", 1},
        {"off", {}, {"--no-accuraterip"}, {}, {"not checked", "not checked", "not checked"}, "Summary: 0 of 3 tracks accurate", 0},
    };
    int requests = 0;
    for (const TCase& c : cases) {
        for (const QString& path : kPaths) {
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(c.Name, path).toStdString());
            for (const TFakeReply& reply : c.Replies) server.Push(reply);
            QStringList args = QStringList{"--accuraterip-url", url} + c.Args;
            if (!path.isEmpty()) args << path;
            const TRun r = Rip(args, c.Faults);
            requests += c.Requests;
            EXPECT_EQ(server.Requests().size(), requests);
            if (c.Requests > 0) {
                EXPECT_TRUE(server.Requests().constLast().endsWith(id.Path()));
            }
            EXPECT_TRUE(r.Log.contains("\nAccurateRip id: " + id.Text() + "\n"));
            EXPECT_TRUE(r.Log.contains("\n" + c.Summary + "\n")) << r.Log.toStdString();
            for (int t = 1; t <= 3; ++t) {
                const QStringList lines = TrackLines(r.Log, t);
                if (!c.Verdicts.isEmpty()) {
                    EXPECT_TRUE(lines.contains("AccurateRip: " + c.Verdicts[t - 1])) << lines.join('|').toStdString();
                }
                if (c.Args.contains("--test")) {
                    const QString crc = lines.filter("Copy CRC: ").value(0).mid(10);
                    EXPECT_TRUE(lines.contains("Test CRC: " + crc)) << lines.join('|').toStdString();
                }
            }
            if (!c.Faults.isEmpty()) {
                // A sector no read returns fails its track; the log names it.
                const QStringList lines = TrackLines(r.Log, 2);
                EXPECT_TRUE(lines.contains("Read error at sector 25")) << r.Log.toStdString();
                EXPECT_GE(lines.indexOf(QRegularExpression("Copy failed: .*第 25 扇区")), 0) << r.Log.toStdString();
                EXPECT_EQ(r.ExitCode, 1);
                EXPECT_GE(TrackLines(r.Log, 1).indexOf(QRegularExpression("AccurateRip: no database answer: .*500.*")), 0);
            } else {
                EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
            }
        }
    }
    // A database that never answers holds the log (not the rip) until the client gives up.
    server.Push(TFakeReply::Stall());
    const TRun r = Rip({"--accuraterip-url", url, "--tracks", "1"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_GE(TrackLines(r.Log, 1).indexOf(QRegularExpression("AccurateRip: no database answer: .+")), 0) << r.Log.toStdString();
}

// Burst: a track AccurateRip or a CTDB track CRC confirms is read once; any other, and one
// whose burst read failed, is read again in full paranoia with test and copy.
TEST_F(RipAuditTest, BurstReadsAgainOnlyWhatNoDatabaseConfirms)
{
    const TAccurateRipId id = Disc.Id().Id;
    const TCtdbAccumulator disc = CtdbAccumulate(CtdbTocOf(Disc), Bin);
    const QByteArray confirms = Dbar(id, {{2, Sums(1, 0).V2()}, {2, Sums(2, 0).V1()}, {2, Sums(3, 0).V2()}});
    TFakeCddbServer ar, ctdb;
    const QString burst = "burst, confirmed by ", again = "secure re-read with test and copy (";
    struct TCase {
        const char* Name;
        QByteArray Dbar;            // empty: 404
        bool CtdbKnows;
        QString Faults;
        QStringList Passes;         // tracks 1..3
    } cases[] = {
        {"AccurateRip, track 3 not", Dbar(id, {{2, Sums(1, 0).V2()}, {2, Sums(2, 0).V1()}, {2, 0x1234}}), false, {},
         {burst + "AccurateRip", burst + "AccurateRip", again + "no database confirmed the burst copy)"}},
        {"CTDB", {}, true, {}, {burst + "CTDB", burst + "CTDB", burst + "CTDB"}},
        {"read fault", confirms, false, "25", {burst + "AccurateRip", again + "the burst read failed: Read error at sector 25)",
                                              burst + "AccurateRip"}},
    };
    for (const TCase& c : cases) {
        for (const QString& path : kPaths) {
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(c.Name, path).toStdString());
            ar.Push(c.Dbar.isEmpty() ? TFakeReply::Http(404) : TFakeReply::Http(200, c.Dbar));
            for (int i = 0; i < 2; ++i)
                ctdb.Push(c.CtdbKnows ? TFakeReply::Http(200, CtdbReplyXml(CtdbEntryXml(CtdbEntryOf(disc, 8, 3)))) : TFakeReply::Http(404));
            QStringList args = {"--strategy", "burst", "--accuraterip-url", "http://" + ar.HostPort(), "--ctdb-url",
                                "http://" + ctdb.HostPort()};
            if (!path.isEmpty()) args << path;
            const TRun r = Rip(args, c.Faults);
            EXPECT_TRUE(r.Log.contains("\nRead mode: burst")) << r.Log.toStdString();
            for (int t = 1; t <= 3; ++t) {
                const QStringList lines = TrackLines(r.Log, t);
                EXPECT_TRUE(lines.contains("Read pass: " + c.Passes[t - 1])) << lines.join('|').toStdString();
                EXPECT_EQ(lines.filter("Test CRC").size(), c.Passes[t - 1].startsWith("secure") && c.Faults.isEmpty() ? 1 : 0);
            }
            if (!c.Faults.isEmpty()) {
                EXPECT_TRUE(TrackLines(r.Log, 2).contains("Read error at sector 25")) << r.Log.toStdString();
                EXPECT_EQ(r.ExitCode, 1);
            } else {
                EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
            }
        }
    }
}

// A disc with a data track is looked up by its audio tracks' starts and the disc's lead-out;
// the database's slots follow the table of contents (on a mixed-mode disc slot 1 is the data
// track's, with nothing for the last audio track).
TEST(RipAuditDataTrack, DiscsWithADataTrackAreCheckedByTheirAudioTracks)
{
    struct TCase {
        const char* Name;
        QStringList Tracks;   // make-test-disc --track values
        QString Id;           // the AccurateRip id worked out by hand
        QStringList Verdicts; // tracks 1..3; none for the data track, which is not read
    } cases[] = {
        // Audio at 30 and 50, lead-out 75: 30+50+75, 30·1+50·2+75·3; CDDB over all three.
        {"mixed mode", {"data:30", "audio:20", "audio:25"}, "002-0000009b-00000163-06000103",
         {"", "accurate (v2, confidence 4)", "not in database"}},
        {"enhanced", {"audio:20", "audio:25", "data:30"}, "002-0000005f-0000010a-06000103",
         {"accurate (v2, confidence 4)", "accurate (v2, confidence 4)", ""}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QTemporaryDir home;
        QStringList args;
        for (const QString& t : c.Tracks) args << "--track" << t;
        const QString cue = MakeTestDisc(home.path(), args);
        QString binPath = cue;
        const QByteArray bin = ReadAll(binPath.replace(".cue", ".bin"));
        // Each audio track's sums as the database holds them: the disc's first and last audio
        // tracks leave out their outer samples.
        std::vector<std::pair<int, uint32_t>> entries;
        QList<int> audio;
        int64_t at = 0;
        QList<int64_t> starts;
        for (const QString& t : c.Tracks) {
            starts << at;
            if (t.startsWith("audio")) audio << int(starts.size());
            at += t.section(':', 1).toInt();
        }
        starts << at;
        for (int n = 1; n <= 3; ++n) {
            if (!audio.contains(n)) {
                if (n == 1) entries.push_back({0, 0});
                continue;
            }
            const QByteArray bytes = bin.mid(qsizetype(starts[n - 1] * kSector), qsizetype((starts[n] - starts[n - 1]) * kSector));
            TTrackChecksum sum(bytes.size() / 4, n == audio.first(), n == audio.last());
            sum.Add(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            entries.push_back({4, sum.V2()});
        }
        entries.resize(size_t(audio.size()));   // one slot per audio track
        const QStringList id = c.Id.split('-');
        const TAccurateRipId arId{id[0].toInt(), id[1].toUInt(nullptr, 16), id[2].toUInt(nullptr, 16), id[3].toUInt(nullptr, 16)};
        TFakeCddbServer server;
        for (const QString& path : kPaths) {
            SCOPED_TRACE(path.toStdString());
            server.Push(TFakeReply::Http(200, Dbar(arId, entries)));
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("HOME", home.path());
            env.insert("XDG_CONFIG_HOME", home.filePath("config"));
            p.setProcessEnvironment(env);
            const QString log = home.filePath("rip.log");
            QStringList ripArgs = {"rip", "--disc-image", cue, "--out", home.filePath("out"), "--format", "wav", "--no-ctdb",
                                   "--existing", "overwrite", "--log", log, "--accuraterip-url",
                                   QStringLiteral("http://%1/").arg(server.HostPort())};
            if (!path.isEmpty()) ripArgs << path;
            p.start(VARNELCD_CLI, ripArgs);
            ASSERT_TRUE(p.waitForFinished(60000));
            EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
            const QString text = QString::fromUtf8(ReadAll(log));
            EXPECT_TRUE(text.contains("AccurateRip id: " + c.Id)) << text.toStdString();
            for (int n = 1; n <= 3; ++n)
                EXPECT_TRUE(c.Verdicts[n - 1].isEmpty() ? TrackLines(text, n).isEmpty()
                                                        : TrackLines(text, n).contains("AccurateRip: " + c.Verdicts[n - 1]))
                    << n << ": " << TrackLines(text, n).join('|').toStdString();
        }
    }
}

TEST(RipLog, ExactText)
{
    TRipLogRecord r;
    r.Program = "VarnelCD 2.0";
    r.Date = "2026-01-02 03:04:05 UTC";
    r.Disc = "A - B";
    r.Catalog = "0123456789012";
    r.Drive = "VarnelCD Disc image";
    r.ReadOffset = -6;
    r.ReadMode = "secure";
    r.Paranoia = "full";
    r.Retries = 20;
    r.TestAndCopy = true;
    r.GapHandling = "appended to previous track";
    r.OutputFormat = "FLAC, compression level 5";
    r.AccurateRipId = "002-00000001-00000002-03000002";
    r.CtdbId = "xFGYFlJdo92ikAXGH5LTHMImHww-";
    r.CtdbLines = {"differs in 4 samples, confidence 2"};
    r.RepairLines = {"4 samples corrected"};
    r.Stopped = true;
    r.Selected = 3;
    r.Toc = {{1, 0, 19, false, 0, "USABC0000001"}, {2, 20, 4519, false, -1, ""}};
    TRipLogTrack t1;
    t1.Number = 1, t1.FirstSector = 0, t1.LastSector = 19, t1.Read = true, t1.Crc = 0xabc, t1.V1 = 1, t1.V2 = 2;
    t1.FileName = "/o/01.flac", t1.Peak = 16384, t1.ReadMs = 100, t1.Ctdb = "not verified", t1.Corrected = {"5-6"};
    t1.LeadZeros = 6, t1.Tested = true, t1.TestCrc = 0xabd, t1.ReadErrors = {7, 5, 8, 7}, t1.JitterRepairs = 3;
    t1.Verdict.Kind = TTrackVerdict::Accurate, t1.Verdict.V2 = true, t1.Verdict.Confidence = 4;
    TRipLogTrack t2;
    t2.Number = 2, t2.FirstSector = 20, t2.LastSector = 4519, t2.Failure = "Read error at sector 30";
    t2.ReadErrors = {30};
    r.Tracks = {t1, t2};
    const QString text = RipLogText(r);
    const QString body = "VarnelCD 2.0 rip log\n"
                         "Date: 2026-01-02 03:04:05 UTC\n"
                         "\n"
                         "Disc: A - B\n"
                         "Catalog: 0123456789012\n"
                         "Drive: VarnelCD Disc image\n"
                         "Read offset correction: -6\n"
                         "Read mode: secure\n"
                         "Paranoia mode: full, retries 20\n"
                         "Test and copy: yes\n"
                         "Gap handling: appended to previous track\n"
                         "Output format: FLAC, compression level 5\n"
                         "AccurateRip id: 002-00000001-00000002-03000002\n"
                         "CTDB TOC id: xFGYFlJdo92ikAXGH5LTHMImHww-\n"
                         "\n"
                         "TOC of the extracted CD\n"
                         "\n"
                         "     Track |   Start  |  Length  | Start sector | End sector\n"
                         "    ---------------------------------------------------------\n"
                         "         1 | 00:00.00 | 00:00.20 |            0 |         19\n"
                         "         2 | 00:00.20 | 01:00.00 |           20 |       4519\n"
                         "\n"
                         "Track 1\n"
                         "  File name: /o/01.flac\n"
                         "  Pre-gap length: 00:00.00\n"
                         "  ISRC: USABC0000001\n"
                         "  Range: sectors 0-19\n"
                         "  Before the disc: 6 samples of silence\n"
                         "  Peak level: 50.0 %\n"
                         "  Extraction speed: 2.7x\n"
                         "  Test CRC: 00000ABD\n"
                         "  Copy CRC: 00000ABC\n"
                         "  Test and copy CRCs differ: the copy is not reliable\n"
                         "  AccurateRip v1: 00000001\n"
                         "  AccurateRip v2: 00000002\n"
                         "  AccurateRip: accurate (v2, confidence 4)\n"
                         "  CTDB: not verified\n"
                         "  Repaired samples: 5-6\n"
                         "  Read error at sector 5\n"
                         "  Read error at sectors 7-8\n"
                         "  Jitter repairs: 3\n"
                         "  Copy finished with errors\n"
                         "\n"
                         "Track 2\n"
                         "  Pre-gap length: not detected\n"
                         "  Range: sectors 20-4519\n"
                         "  Copy failed: Read error at sector 30\n"
                         "  Read error at sector 30\n"
                         "  Jitter repairs: 0\n"
                         "  Copy finished with errors\n"
                         "\n"
                         "CTDB: differs in 4 samples, confidence 2\n"
                         "CTDB repair: 4 samples corrected\n"
                         "Summary: 1 of 2 tracks accurate\n"
                         "Tracks with errors: 1, 2\n"
                         "Rip stopped by the user: 2 of 3 tracks done\n"
                         "\n";
    EXPECT_EQ(text, body + RipLogChecksumLine(body.toUtf8()) + "\n");
    EXPECT_TRUE(RipLogChecksumOk(text.toUtf8()));
    EXPECT_FALSE(RipLogChecksumOk(QString(text).replace("-6", "+6").toUtf8()));
    EXPECT_FALSE(RipLogChecksumOk(body.toUtf8()));
    EXPECT_EQ(RipLogFileName(" ", "../x/y"), "Unknown Artist - xy.log");
    EXPECT_FALSE(TestCopyMismatch(t1).isEmpty());
    EXPECT_EQ(CommonFolder({"/o/A/B/1/x.wav", "/o/A/B/2/y.wav", "/o/A/B/3/z.wav"}), "/o/A/B");
}

TEST(ReadOffsets, StoredPerDriveAndLoadedInRange)
{
    QTemporaryDir home;
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    ASSERT_TRUE(WriteAll(OptionsFileName(), "[ReadOffsets]\nImage=6\nPLEXTOR_PX-716A=30\nBig=5881\nJunk=x\n"));
    LoadOptions();
    EXPECT_EQ(OptionsSetting.ReadOffsets, (QMap<QString, int32_t>{{"Image", 6}, {"PLEXTOR_PX-716A", 30}}));
    EXPECT_EQ(ReadOffsetFor(ReadOffsetKey(" PLEXTOR  PX-716A", false)), 30);
    EXPECT_EQ(ReadOffsetFor(ReadOffsetKey("any", true)), 6);
    OptionsSetting.ReadOffsets = {{"Image", -5880}};
    ASSERT_TRUE(SaveOptions());
    LoadOptions();
    EXPECT_EQ(OptionsSetting.ReadOffsets, (QMap<QString, int32_t>{{"Image", -5880}}));
    qputenv("XDG_CONFIG_HOME", old);
}

// offset find: images whose audio lies later (+) or earlier (-) than the disc the database
// knows give the correction that brings it back; it is stored for the drive.
TEST(OffsetFind, ShiftedImagesAgainstTheUnshiftedDatabase)
{
    QTemporaryDir home;
    const QStringList lengths = {"300", "200", "400"};
    QStringList args;
    for (const QString& l : lengths) args << "--track" << "audio:" + l;
    const QString cue = MakeTestDisc(home.path(), args);
    QString binPath = cue;
    const QByteArray bin = ReadAll(binPath.replace(".cue", ".bin"));
    TDiscLayout disc;
    std::vector<std::pair<int, uint32_t>> v1, v2;
    for (int64_t at = 0, t = 0; t < lengths.size(); ++t) {
        disc.Starts.push_back(at);
        disc.Data.push_back(false);
        const QByteArray track = bin.mid(at * kSector, lengths[t].toInt() * kSector);
        TTrackChecksum sum(track.size() / 4, t == 0, t == lengths.size() - 1);
        sum.Add(reinterpret_cast<const uint8_t*>(track.constData()), size_t(track.size()));
        v1.push_back({4, sum.V1()});
        v2.push_back({7, sum.V2()});
        at += lengths[t].toInt();
        disc.LeadOut = at;
    }
    TFakeCddbServer server;
    for (const int shift : {667, -1164}) {
        SCOPED_TRACE(shift);
        // A disc whose pressing puts every sample `shift` samples later.
        QByteArray shifted(bin.size(), '\0');
        for (qsizetype i = 0; i < bin.size(); ++i)
            if (i - shift * 4 >= 0 && i - shift * 4 < bin.size()) shifted[i] = bin[i - shift * 4];
        const QString name = QStringLiteral("shifted%1").arg(shift);
        ASSERT_TRUE(WriteAll(home.filePath(name + ".bin"), shifted));
        ASSERT_TRUE(WriteAll(home.filePath(name + ".cue"), ReadAll(cue).replace("disc.bin", (name + ".bin").toUtf8())));
        QByteArray reply = Dbar(disc.Id().Id, v1);
        reply += Dbar(disc.Id().Id, v2);
        server.Push(TFakeReply::Http(200, reply));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        p.setProcessEnvironment(env);
        p.start(VARNELCD_CLI, {"offset", "find", "--disc-image", home.filePath(name + ".cue"), "--accuraterip-url",
                               "http://" + server.HostPort()});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()),
                  QStringLiteral("offset\t%1\nv1\t3 of 3 tracks, confidence 12\nv2\ttrack 2, confidence 7\nstored\tImage\n")
                      .arg(SignedNumber(shift)));
        EXPECT_TRUE(ReadAll(home.filePath("config/Varnel软件/CD音频转换/options.ini"))
                        .contains(QStringLiteral("Image=%1").arg(shift).toUtf8()));
    }
}
