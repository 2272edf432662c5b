// The CD drive library over disc images made by make-test-disc.
#include "fixtures/TestDisc.h"
#include "platform/akrip32.h"
#include "metadata/AkripCddb.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

class Akrip32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetDiscImages({});
        qputenv("VARNELCD_DISC_IMAGES", "");
    }
    void TearDown() override
    {
        for (HCDROM h = 1; h <= 10; ++h)
            CloseCDHandle(h);
        for (int i = 0; i < MAX_CD_DRIVES; ++i)
            CloseDriveTray(i);
        SetDiscImages({});
    }

    // Opens a handle on image drive 0 showing `cue`.
    HCDROM OpenImage(const QString& cue)
    {
        SetDiscImages({cue});
        THandleRequest req;
        req.HostAdapter = 0;
        return GetCDHandle(req);
    }

    static int Msf(const TTocEntry& e) { return e.Address[1] * 4500 + e.Address[2] * 75 + e.Address[3]; }
    static int Lba(const TTocEntry& e)
    {
        return (e.Address[0] << 24) | (e.Address[1] << 16) | (e.Address[2] << 8) | e.Address[3];
    }

    // Reads `count` sectors from `start`; empty on failure.
    static QByteArray Read(HCDROM h, uint32_t start, uint32_t count)
    {
        QByteArray data(qsizetype(count) * CD_SECTOR_SIZE, '\x5a');
        TSectorBuffer buf;
        buf.Head.StartSector = start;
        buf.Head.NumSectors = count;
        buf.Head.MaxLen = uint32_t(data.size());
        buf.Data = reinterpret_cast<uint8_t*>(data.data());
        if (ReadCDAudioLBA(h, buf) != 1)
            return {};
        EXPECT_EQ(buf.Head.Len, count * CD_SECTOR_SIZE);
        EXPECT_EQ(buf.Head.StartOffset, 0);
        return data;
    }

    static QByteArray BinOf(const QString& cue)
    {
        QFile f(cue.chopped(4) + QStringLiteral(".bin"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};

TEST_F(Akrip32Test, DriveListHoldsTheImagesInOrder)
{
    TDriveList list{};
    list.Capacity = MAX_CD_DRIVES;
    EXPECT_EQ(GetCDList(list), 0);            // this machine has no physical drive
    EXPECT_EQ(list.Count, 0);
    THandleRequest req;
    EXPECT_EQ(GetCDHandle(req), 0u);
    EXPECT_EQ(GetAspiLibError(), ALERR_INVPARAM);

    const QString longName = QString(70, QLatin1Char('x')) + QStringLiteral("镜像.cue");
    const QString longPath = dir.filePath(longName);
    SetDiscImages({dir.filePath(QStringLiteral("a.cue"))});
    qputenv("VARNELCD_DISC_IMAGES", QFile::encodeName(QStringLiteral("::") + longPath + QStringLiteral(":")));
    EXPECT_EQ(DiscImages(), (QStringList{dir.filePath(QStringLiteral("a.cue")), longPath}));
    list = TDriveList{};
    list.Capacity = MAX_CD_DRIVES;
    ASSERT_EQ(GetCDList(list), 2);
    EXPECT_EQ(list.Entries[0].HostAdapter, 0);
    EXPECT_EQ(list.Entries[1].HostAdapter, 1);
    EXPECT_EQ(QString::fromUtf8(list.Entries[0].Identifier), dir.filePath(QStringLiteral("a.cue")));
    EXPECT_STREQ(list.Entries[0].Vendor, "VarnelCD");
    EXPECT_STREQ(list.Entries[0].Product, "Disc image");
    EXPECT_LE(strlen(list.Entries[0].Vendor) + strlen(list.Entries[0].Product), 26u);
    EXPECT_STREQ(list.Entries[0].Revision, "2.0");
    // The long path is cut to 64 bytes without splitting a character; the full one is kept.
    const QByteArray cut(list.Entries[1].Identifier);
    EXPECT_LE(cut.size(), 64);
    EXPECT_TRUE(QFile::encodeName(longPath).startsWith(cut));
    EXPECT_EQ(QString::fromUtf8(cut).toUtf8(), cut);
    EXPECT_EQ(DriveIdentifier(1), longPath);
    EXPECT_TRUE(DriveIdentifier(2).isEmpty());

    // A caller's smaller capacity is respected; more images than drive slots are cut off.
    QStringList many;
    for (int i = 0; i < 12; ++i)
        many << dir.filePath(QStringLiteral("d%1.cue").arg(i));
    SetDiscImages(many);
    list = TDriveList{};
    list.Capacity = 3;
    EXPECT_EQ(GetCDList(list), 3);
    list.Capacity = MAX_CD_DRIVES;
    EXPECT_EQ(GetCDList(list), MAX_CD_DRIVES);
}

TEST_F(Akrip32Test, HandleTable)
{
    const QString cue = MakeTestDisc(dir.path(), {"--track", "audio:10"});
    const HCDROM h = OpenImage(cue);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(DriveOfHandle(h), 0);
    EXPECT_FALSE(CloseCDHandle(0));
    EXPECT_EQ(GetAspiLibError(), ALERR_INVHANDLE);
    EXPECT_FALSE(CloseCDHandle(11));
    TTocRecord toc;
    EXPECT_EQ(ReadTOC(0, toc), 0);
    EXPECT_EQ(ReadTOC(77, toc), 0);
    EXPECT_EQ(GetAspiLibError(), ALERR_INVHANDLE);
    EXPECT_FALSE(ModifyCDParms(99, 36, 1));

    // Ten handles at most; the caller's recovery (close 1..10, try again) works.
    THandleRequest req;
    std::vector<HCDROM> all{h};
    for (int i = 1; i < 10; ++i) {
        all.push_back(GetCDHandle(req));
        EXPECT_NE(all.back(), 0u);
    }
    EXPECT_EQ(GetCDHandle(req), 0u);
    EXPECT_EQ(GetAspiLibError(), ALERR_NOMOREHND);
    EXPECT_TRUE(CloseCDHandle(1));
    EXPECT_FALSE(CloseCDHandle(1));           // closed twice
    EXPECT_EQ(DriveOfHandle(1), -1);
    EXPECT_EQ(GetCDHandle(req), 1u);

    // The error code belongs to the thread that caused it.
    std::thread([] { EXPECT_EQ(GetAspiLibError(), ALERR_NOERROR); }).join();
    CDDBSetOption(1, "x", 0);
    TCddbMatchList matches;                   // no match records handed in
    EXPECT_EQ(CDDBQuery(1, matches), 0);
    EXPECT_EQ(matches.Count, 0);
    EXPECT_EQ(GetAspiLibError(), ALERR_INVPARAM);
}

TEST_F(Akrip32Test, TocInLbaThenMsf)
{
    const HCDROM h = OpenImage(MakeTestDisc(dir.path(), {"--track", "audio:300", "--track", "audio:451", "--track", "audio:1000"}));
    ASSERT_NE(h, 0u);
    TTocRecord toc;
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(toc.FirstTrack, 1);
    EXPECT_EQ(toc.LastTrack, 3);
    EXPECT_EQ(toc.DataLength, 2 + 8 * 4);
    EXPECT_EQ(Lba(toc.Entries[0]), 0);
    EXPECT_EQ(Lba(toc.Entries[1]), 300);
    EXPECT_EQ(Lba(toc.Entries[2]), 751);
    EXPECT_EQ(Lba(toc.Entries[3]), 1751);
    EXPECT_EQ(toc.Entries[3].TrackNumber, 0xAA);

    EXPECT_FALSE(ModifyCDParms(h, 12, 1));
    ASSERT_TRUE(ModifyCDParms(h, 36, 1));
    ASSERT_EQ(ReadTOC(h, toc), 1);
    const uint8_t first[4] = {0, 0, 2, 0};
    EXPECT_EQ(memcmp(toc.Entries[0].Address, first, 4), 0);
    EXPECT_EQ(Msf(toc.Entries[1]), 150 + 300);
    EXPECT_EQ(Msf(toc.Entries[2]), 150 + 751);
    EXPECT_EQ(toc.Entries[3].Address[1], 0);  // 1901 = 00:25:26
    EXPECT_EQ(toc.Entries[3].Address[2], 25);
    EXPECT_EQ(toc.Entries[3].Address[3], 26);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(toc.Entries[i].TrackNumber, i + 1);
        EXPECT_EQ(toc.Entries[i].AdrControl & 0xF4, 0x10);
    }
    EXPECT_EQ(toc.Entries[4].TrackNumber, 0);     // nothing behind the lead-out
}

TEST_F(Akrip32Test, PregapMovesTrackOne)
{
    const HCDROM h = OpenImage(MakeTestDisc(dir.path(), {"--pregap", "150", "--track", "audio:75"}));
    ModifyCDParms(h, 36, 1);
    TTocRecord toc;
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(Msf(toc.Entries[0]), 300);
    EXPECT_EQ(Msf(toc.Entries[1]), 375);
    EXPECT_EQ(Read(h, 0, 1), QByteArray(CD_SECTOR_SIZE, '\0'));
    EXPECT_EQ(Read(h, 150, 1), ExpectedAudioSector(1, 0));
}

TEST_F(Akrip32Test, AudioReadsReturnTheImageBytes)
{
    const QString cue = MakeTestDisc(dir.path(), {"--track", "audio:300", "--track", "audio:257"});
    const QByteArray bin = BinOf(cue);
    ASSERT_EQ(bin.size(), 557 * CD_SECTOR_SIZE);
    const HCDROM h = OpenImage(cue);
    ASSERT_NE(h, 0u);

    // The whole disc in reads of 10 sectors (the last one shorter), as a rip does.
    QByteArray all;
    for (uint32_t s = 0; s < 557; s += 10) {
        const QByteArray part = Read(h, s, std::min<uint32_t>(10, 557 - s));
        ASSERT_FALSE(part.isEmpty()) << "sector " << s;
        all += part;
    }
    EXPECT_TRUE(all == bin);
    EXPECT_EQ(Read(h, 295, 10), bin.mid(295 * CD_SECTOR_SIZE, 10 * CD_SECTOR_SIZE));
    EXPECT_EQ(Read(h, 0, 1), ExpectedAudioSector(1, 0));
    EXPECT_EQ(Read(h, 300, 1), ExpectedAudioSector(2, 0));
    EXPECT_EQ(Read(h, 556, 1), ExpectedAudioSector(2, 256));

    // The .bin named directly is the same disc.
    const HCDROM viaBin = OpenImage(cue.chopped(4) + QStringLiteral(".bin"));
    TTocRecord toc;
    ASSERT_EQ(ReadTOC(viaBin, toc), 1);
    EXPECT_EQ(toc.LastTrack, 2);
    EXPECT_EQ(Read(viaBin, 300, 2), bin.mid(300 * CD_SECTOR_SIZE, 2 * CD_SECTOR_SIZE));

    // Past the lead-out nothing is returned, not even the part that exists.
    TSectorBuffer buf;
    QByteArray data(3 * CD_SECTOR_SIZE, '\x5a');
    buf.Data = reinterpret_cast<uint8_t*>(data.data());
    buf.Head.MaxLen = uint32_t(data.size());
    buf.Head.StartSector = 555;
    buf.Head.NumSectors = 3;
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);
    EXPECT_EQ(GetAspiLibError(), ALERR_READERROR);
    EXPECT_EQ(buf.Head.Len, 0u);
    buf.Head.StartSector = 0xFFFFFFF0u;
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);
    EXPECT_EQ(GetAspiLibError(), ALERR_READERROR);
    // A buffer too small for the count.
    buf.Head.StartSector = 0;
    buf.Head.NumSectors = 4;
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);
    EXPECT_EQ(GetAspiLibError(), ALERR_BUFTOOSMALL);
    buf.Head.NumSectors = 0x7FFFFFFF;         // count * 2352 overflows 32 bits
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);
    EXPECT_EQ(GetAspiLibError(), ALERR_BUFTOOSMALL);
}

TEST_F(Akrip32Test, DataTracks)
{
    const QString dataOnly = MakeTestDisc(dir.path(), {"--track", "data:200"}, QStringLiteral("data"));
    const QString mixed = MakeTestDisc(dir.path(), {"--track", "audio:100", "--track", "data:100"}, QStringLiteral("mixed"));
    SetDiscImages({dataOnly, mixed});
    TMediaState s = DriveMediaState(0);
    EXPECT_TRUE(s.DiscPresent);
    EXPECT_FALSE(s.AudioDisc);
    s = DriveMediaState(1);
    EXPECT_TRUE(s.DiscPresent);
    EXPECT_TRUE(s.AudioDisc);

    THandleRequest req;
    req.HostAdapter = 1;
    const HCDROM h = GetCDHandle(req);
    TTocRecord toc;
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(toc.Entries[0].AdrControl & 0x04, 0);
    EXPECT_EQ(toc.Entries[1].AdrControl & 0x04, 0x04);
    EXPECT_EQ(Read(h, 99, 1), ExpectedAudioSector(1, 99));
    EXPECT_TRUE(Read(h, 99, 2).isEmpty());    // runs into the data track
    EXPECT_EQ(GetAspiLibError(), ALERR_READERROR);
    EXPECT_TRUE(Read(h, 150, 1).isEmpty());
}

TEST_F(Akrip32Test, MissingImageAppearsAndChanges)
{
    const QString cue = dir.filePath(QStringLiteral("later.cue"));
    const HCDROM h = OpenImage(cue);
    ASSERT_NE(h, 0u);                         // the drive is there, only empty
    TTocRecord toc;
    EXPECT_EQ(ReadTOC(h, toc), 0);
    EXPECT_EQ(GetAspiLibError(), ALERR_NODISC);
    EXPECT_TRUE(Read(h, 0, 1).isEmpty());
    EXPECT_EQ(GetAspiLibError(), ALERR_NODISC);
    TMediaState s = DriveMediaState(0);
    EXPECT_FALSE(s.DiscPresent);
    EXPECT_TRUE(s.Token.isEmpty());

    ASSERT_EQ(MakeTestDisc(dir.path(), {"--track", "audio:100"}, QStringLiteral("later")), cue);
    s = DriveMediaState(0);
    EXPECT_TRUE(s.DiscPresent);
    EXPECT_TRUE(s.AudioDisc);
    EXPECT_FALSE(s.Token.isEmpty());
    EXPECT_EQ(DriveMediaState(0).Token, s.Token);   // stable while nothing changes
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(toc.LastTrack, 1);

    // Another disc in the same drive: the same handle sees it at its next TOC read.
    MakeTestDisc(dir.path(), {"--track", "audio:100", "--track", "audio:80"}, QStringLiteral("later"));
    EXPECT_NE(DriveMediaState(0).Token, s.Token);
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(toc.LastTrack, 2);
    EXPECT_EQ(Read(h, 100, 1), ExpectedAudioSector(2, 0));

    // Only the .bin changes (shorter): that is another disc as well.
    const QString token = DriveMediaState(0).Token;
    QFile bin(dir.filePath(QStringLiteral("later.bin")));
    ASSERT_TRUE(bin.resize(150 * CD_SECTOR_SIZE));
    EXPECT_NE(DriveMediaState(0).Token, token);
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(Lba(toc.Entries[2]), 150);
    EXPECT_TRUE(Read(h, 150, 1).isEmpty());

    QFile::remove(cue);
    EXPECT_FALSE(DriveMediaState(0).DiscPresent);
    EXPECT_EQ(ReadTOC(h, toc), 0);
    EXPECT_EQ(GetAspiLibError(), ALERR_NODISC);
}

TEST_F(Akrip32Test, GarbledImagesFailCleanly)
{
    const QString good = MakeTestDisc(dir.path(), {"--track", "audio:100", "--track", "audio:50"}, QStringLiteral("good"));
    const QByteArray goodCue = [&] { QFile f(good); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    const QList<QByteArray> garbage = {
        QByteArray(),
        QByteArray("\x00\xff\xfe garbage \x01\x02", 14),
        "FILE \"good.bin\" BINARY\n  TRACK 01 AUDIO\n",                        // no index
        "FILE \"missing.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
        "FILE \"good.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:10:00\n  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n",
        "FILE \"good.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 99:99:99\n",
        "FILE \"good.bin\" BINARY\n  TRACK 250 AUDIO\n    INDEX 01 00:00:00\n",
        "FILE \"good.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n    TITLE \"" + QByteArray(5000, 'x') + "\"\n",
        goodCue.left(goodCue.size() / 2),
        "FILE \"" + QByteArray(3000, 'y') + "\" BINARY\n",
    };
    int n = 0;
    for (const QByteArray& text : garbage) {
        const QString path = dir.filePath(QStringLiteral("bad%1.cue").arg(n++));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        SetDiscImages({path});
        EXPECT_FALSE(DriveMediaState(0).DiscPresent) << n;
        THandleRequest req;
        const HCDROM h = GetCDHandle(req);
        ASSERT_NE(h, 0u);
        TTocRecord toc;
        EXPECT_EQ(ReadTOC(h, toc), 0) << n;
        EXPECT_EQ(GetAspiLibError(), ALERR_NODISC);
        ReadCDText(h);
        CloseCDHandle(h);
    }
    // Random damage to a good cue sheet: whatever libcdio makes of it, a TOC read either
    // fails with "no disc" or gives a TOC whose reads stay inside the image.
    uint32_t rng = 12345;
    auto next = [&rng] { rng = rng * 1103515245u + 12345u; return rng >> 8; };
    const QString mutant = dir.filePath(QStringLiteral("good.cue"));
    for (int round = 0; round < 300; ++round) {
        QByteArray text = goodCue;
        for (int k = 0, edits = 1 + int(next() % 4); k < edits; ++k) {
            const qsizetype at = qsizetype(next() % uint32_t(text.size()));
            switch (next() % 3) {
            case 0: text[at] = char(next() & 0xFF); break;
            case 1: text.remove(at, qsizetype(next() % 8)); break;
            default: text.insert(at, "0123456789:\" \n"[next() % 15]); break;
            }
        }
        QFile f(mutant);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        SetDiscImages({mutant});
        DriveMediaState(0);
        THandleRequest req;
        const HCDROM h = GetCDHandle(req);
        TTocRecord toc;
        if (ReadTOC(h, toc) == 1) {
            ASSERT_GE(toc.LastTrack, toc.FirstTrack);
            ReadCDText(h);
            const int leadOut = Lba(toc.Entries[toc.LastTrack - toc.FirstTrack + 1]);
            const QByteArray last = Read(h, uint32_t(leadOut - 1), 1);
            if (!last.isEmpty() && leadOut <= 150) {
                const bool first = leadOut <= 100;
                EXPECT_EQ(last, ExpectedAudioSector(first ? 1 : 2, uint32_t(first ? leadOut - 1 : leadOut - 101)));
            }
        } else {
            EXPECT_EQ(GetAspiLibError(), ALERR_NODISC);
        }
        CloseCDHandle(h);
    }
    {
        QFile f(mutant);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(goodCue);
    }

    // A folder or an unknown file is no disc either.
    for (const QString& path : {dir.path(), good.chopped(4) + QStringLiteral(".xyz")}) {
        SetDiscImages({path});
        EXPECT_FALSE(DriveMediaState(0).DiscPresent);
    }
    // A bin cut short: the sectors that exist read, the missing ones fail.
    QFile bin(good.chopped(4) + QStringLiteral(".bin"));
    ASSERT_TRUE(bin.resize(120 * CD_SECTOR_SIZE + 1000));   // and a partial sector at the end
    const HCDROM h = OpenImage(good);
    TTocRecord toc;
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(Read(h, 119, 1), ExpectedAudioSector(2, 19));
    for (uint32_t start : {115u, 120u}) {
        EXPECT_TRUE(Read(h, start, 10).isEmpty()) << start;
        EXPECT_EQ(GetAspiLibError(), ALERR_READERROR);
    }
    EXPECT_TRUE(Read(h, 120, 1).isEmpty());
}

TEST_F(Akrip32Test, CdTextRoundTrip)
{
    const HCDROM h = OpenImage(MakeTestDisc(dir.path(), {
        "--track", "audio:50", "--track", "audio:50", "--track", "audio:50",
        "--disc-title", "夜曲集 Nocturnes", "--disc-performer", "Café Trio",
        "--title", "1:第一首", "--title", "2:Übung", "--performer", "1:Someone"}));
    const TCDTextInfo info = ReadCDText(h);
    EXPECT_TRUE(info.Present);
    EXPECT_EQ(info.Title, QStringLiteral("夜曲集 Nocturnes"));
    EXPECT_EQ(info.Performer, QStringLiteral("Café Trio"));
    ASSERT_EQ(info.TrackTitles.size(), 3);
    EXPECT_EQ(info.TrackTitles[0], QStringLiteral("第一首"));
    EXPECT_EQ(info.TrackTitles[1], QStringLiteral("Übung"));
    EXPECT_EQ(info.TrackTitles[2], QStringLiteral("Track 03"));
    ASSERT_FALSE(info.TrackPerformers.isEmpty());
    EXPECT_EQ(info.TrackPerformers[0], QStringLiteral("Someone"));

    // A cue sheet written in Latin-1 (as older tools do) reads right too. (libcdio wants
    // the bin named like the cue sheet.)
    const QString latin = dir.filePath(QStringLiteral("latin.cue"));
    ASSERT_TRUE(QFile::copy(dir.filePath(QStringLiteral("disc.bin")), dir.filePath(QStringLiteral("latin.bin"))));
    QFile f(latin);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("TITLE \"Caf\xe9 M\xfcller\"\nFILE \"latin.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    f.close();
    EXPECT_EQ(ReadCDText(OpenImage(latin)).Title, QStringLiteral("Café Müller"));

    // A GBK cue sheet whose first track is 3: titles by track number, read as GBK.
    const QString gbk = dir.filePath(QStringLiteral("gbk.cue"));
    ASSERT_TRUE(QFile::copy(dir.filePath(QStringLiteral("disc.bin")), dir.filePath(QStringLiteral("gbk.bin"))));
    f.setFileName(gbk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("TITLE \"\xB3\xBF\xEA\xD8\xD0\xA1\xB5\xF7\"\nFILE \"gbk.bin\" BINARY\n"
            "  TRACK 03 AUDIO\n    TITLE \"\xC8\xED\xBC\xFE\"\n    INDEX 01 00:00:00\n"
            "  TRACK 04 AUDIO\n    TITLE \"Four\"\n    INDEX 01 00:01:00\n");
    f.close();
    const TCDTextInfo three = ReadCDText(OpenImage(gbk));
    EXPECT_EQ(three.Title, QStringLiteral("晨曦小调"));
    EXPECT_EQ(three.TrackTitles, QStringList({"", "", QStringLiteral("软件"), "Four"}));

    const HCDROM plain = OpenImage(MakeTestDisc(dir.path(), {"--track", "audio:50"}, QStringLiteral("plain")));
    const TCDTextInfo none = ReadCDText(plain);
    EXPECT_FALSE(none.Present);
    EXPECT_TRUE(none.Title.isEmpty());
    EXPECT_TRUE(none.TrackTitles.isEmpty());
}

TEST_F(Akrip32Test, EjectedImageDriveIsEmptyUntilClosed)
{
    const HCDROM h = OpenImage(MakeTestDisc(dir.path(), {"--track", "audio:30"}));
    TTocRecord toc;
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_TRUE(EjectDrive(0));
    EXPECT_FALSE(DriveMediaState(0).DiscPresent);
    EXPECT_EQ(ReadTOC(h, toc), 0);
    EXPECT_EQ(GetAspiLibError(), ALERR_NODISC);
    EXPECT_TRUE(Read(h, 0, 1).isEmpty());
    EXPECT_TRUE(CloseDriveTray(0));
    EXPECT_TRUE(DriveMediaState(0).DiscPresent);
    EXPECT_EQ(ReadTOC(h, toc), 1);
    EXPECT_FALSE(EjectDrive(5));
    EXPECT_FALSE(CloseDriveTray(-1));
}

// CD-input-only mode: this library offers no drive and no handle; the shared drive table
// still holds the image. A tray held shut by a rip does not open.
TEST_F(Akrip32Test, CDInputOnlyAndLockedTray)
{
    const QString cue = MakeTestDisc(dir.path(), {"--track", "audio:30"});
    SetDiscImages({cue});
    SetCDInputOnly(true);
    TDriveList list{};
    list.Capacity = MAX_CD_DRIVES;
    EXPECT_EQ(GetCDList(list), 0);
    EXPECT_EQ(GetCDHandle(THandleRequest{}), 0u);
    SetCDInputOnly(false);
    const std::vector<TCDDrive> table = CDDriveTable();
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(table.back().Path, cue);
    EXPECT_TRUE(table.back().Image);
    const int drive = int(table.size()) - 1;
    LockImageTray(cue, true);
    EXPECT_FALSE(EjectDrive(drive));
    LockImageTray(cue, false);
    EXPECT_TRUE(EjectDrive(drive));
    EXPECT_TRUE(ImageTrayOpen(cue));
    EXPECT_TRUE(CloseDriveTray(drive));
}

TEST_F(Akrip32Test, ReadsOnAWorkerWhileTheMainThreadPolls)
{
    const QString cue = MakeTestDisc(dir.path(), {"--track", "audio:400", "--track", "audio:400"});
    const QByteArray bin = BinOf(cue);
    const HCDROM h = OpenImage(cue);
    std::atomic<bool> ok{true};
    std::thread worker([&] {
        for (uint32_t s = 0; s < 800; s += 10) {
            if (Read(h, s, 10) != bin.mid(qsizetype(s) * CD_SECTOR_SIZE, 10 * CD_SECTOR_SIZE))
                ok = false;
        }
    });
    TTocRecord toc;
    for (int i = 0; i < 50; ++i) {
        EXPECT_TRUE(DriveMediaState(0).DiscPresent);
        EXPECT_EQ(ReadTOC(h, toc), 1);
        ReadCDText(h);
    }
    worker.join();
    EXPECT_TRUE(ok);

    // Closing a handle while another thread reads through it: the read either finishes
    // or fails, and nothing breaks.
    std::thread reader([&] {
        for (int i = 0; i < 200; ++i)
            Read(h, 0, 10);
    });
    QThread::msleep(1);
    EXPECT_TRUE(CloseCDHandle(h));
    reader.join();
    EXPECT_EQ(ReadTOC(h, toc), 0);
}

} // namespace
