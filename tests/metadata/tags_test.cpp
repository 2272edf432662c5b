// The tag record: filled from the stored disc information, written into every output format
// (read back by independent tools: mutagen, id3v2, ffprobe, metaflac, vorbiscomment), read
// back by our reader, and hostile tags read without harm.
#include "metadata/ID3EditController.h"
#include "metadata/TagReader.h"
#include "metadata/TagWriters.h"
#include "metadata/TrackTags.h"
#include "metadata/WavInfo.h"
#include "metadata/id3.h"
#include "platform/OutputFile.h"
#include "platform/TagLibTags.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestUtil.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

QByteArray Tool(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    p.waitForFinished(60000);
    if (exitCode)
        *exitCode = p.exitCode();
    return p.readAllStandardOutput();
}

QString Md5(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// A PNG-looking cover whose bytes differ all along.
QByteArray Cover(qsizetype size = 3000)
{
    QByteArray bytes("\x89PNG\r\n\x1a\n", 8);
    for (qsizetype i = bytes.size(); i < size; ++i)
        bytes.append(char((i * 131) ^ (i >> 8)));
    return bytes;
}

TTagRecord SampleRecord()
{
    TTagRecord r;
    r.Title = QStringLiteral("夜に駆ける (中文标题)");
    r.Artist = QStringLiteral("周杰伦");
    r.Album = QStringLiteral("アルバム 专辑");
    r.AlbumArtist = QStringLiteral("Various 群星");
    r.Date = QStringLiteral("2003");
    r.Genre = QStringLiteral("Pop");
    r.Track = 3;
    r.TrackTotal = 12;
    r.Disc = 1;
    r.DiscTotal = 2;
    r.Comment = QStringLiteral("备注");
    r.Isrc = QStringLiteral("JPA123456789");
    r.MbAlbumId = QStringLiteral("0d9c2d3f-6a5e-4b8c-9c61-2f1e6a7b8c9d");
    r.MbDiscId = QStringLiteral("lwHl8fGzJyLXQR33ug60E8jhf4k-");
    r.Cover = Cover();
    r.CoverMime = QStringLiteral("image/png");
    r.TrackGain = -6.5213;
    r.TrackPeak = 0.9885531;
    r.AlbumGain = -7.1;
    r.AlbumPeak = 1.0;
    return r;
}

class TagsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    QString Path(const QString& name) const { return dir.filePath(name); }

    // One second of stereo sound in `format` made by the peer encoders.
    QString MakeAudio(const QString& name)
    {
        const QString wav = Path(QStringLiteral("source.wav"));
        if (!QFile::exists(wav))
            Tool(QStringLiteral("sox"), {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1", "sine", "440"});
        const QString out = Path(name);
        if (name.endsWith(".mp3"))
            Tool(QStringLiteral("lame"), {"--quiet", wav, out});
        else if (name.endsWith(".flac"))
            Tool(QStringLiteral("flac"), {"--silent", "-o", out, wav});
        else if (name.endsWith(".ogg"))
            Tool(QStringLiteral("oggenc"), {"--quiet", "-o", out, wav});
        else
            QFile::copy(wav, out);
        EXPECT_TRUE(QFile::exists(out)) << name.toStdString();
        return out;
    }

    QJsonObject FfprobeTags(const QString& file)
    {
        const QByteArray json = Tool(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format_tags:stream_tags",
                                                                "-of", "json", file});
        const QJsonObject all = QJsonDocument::fromJson(json).object();
        QJsonObject tags = all["format"].toObject()["tags"].toObject();
        for (const auto& stream : all["streams"].toArray()) {
            const QJsonObject more = stream.toObject()["tags"].toObject();
            for (auto it = more.begin(); it != more.end(); ++it)
                tags.insert(it.key(), it.value());
        }
        // Key case differs between containers.
        QJsonObject lower;
        for (auto it = tags.begin(); it != tags.end(); ++it)
            lower.insert(it.key().toLower(), it.value());
        return lower;
    }
};

// ---- the record of a disc track ---------------------------------------------------------

TEST_F(TagsTest, TrackRecordTakesTheStoredTextsAsTheyAre)
{
    TCDInfo info;
    info.Artist = QStringLiteral("Disc Artist");
    info.Album = QStringLiteral("专辑");
    info.Year = QStringLiteral("1998");
    info.TrackNumber = 5;
    info.MBRelease = QStringLiteral("rel-id");
    info.DiscNumber = 2;
    info.DiscTotal = 3;
    info.Titles[1] = QStringLiteral("First/Song");
    info.Titles[2] = QStringLiteral("Guest Singer / Second: Song?");
    info.Titles[3] = QStringLiteral("AC / DC Tribute");       // a CD-Text title, kept whole
    info.Titles[4] = QStringLiteral("Fourth");
    TDiscTagExtras extras;
    extras.CDText.TrackTitles = {QString(), QString(), QStringLiteral("AC / DC Tribute"), QStringLiteral("Fourth")};
    extras.CDText.TrackPerformers = {QString(), QString(), QStringLiteral("Band 乐队"), QStringLiteral("Soloist")};
    extras.Isrcs = {QStringLiteral("ISRC1")};
    extras.MbDiscId = QStringLiteral("disc-id");

    struct {
        int Track;
        QString Title, Artist;
    } rows[] = {
        {1, QStringLiteral("First/Song"), QStringLiteral("Disc Artist")},
        {2, QStringLiteral("Second: Song?"), QStringLiteral("Guest Singer")},
        {3, QStringLiteral("AC / DC Tribute"), QStringLiteral("Band 乐队")},
        {4, QStringLiteral("Fourth"), QStringLiteral("Soloist")},
        {5, DefaultTrackTitle(5), QStringLiteral("Disc Artist")},
    };
    for (const auto& row : rows) {
        const TTagRecord r = TrackTagRecord(info, row.Track, 0, extras);
        EXPECT_EQ(r.Title, row.Title) << row.Track;
        EXPECT_EQ(r.Artist, row.Artist) << row.Track;
        EXPECT_EQ(r.AlbumArtist, QStringLiteral("Disc Artist"));
        EXPECT_EQ(NumberOfTotal(r.Track, r.TrackTotal), QStringLiteral("%1/5").arg(row.Track));
        EXPECT_TRUE(r.Genre.isEmpty()) << "no genre, never 255";
    }
    const TTagRecord first = TrackTagRecord(info, 1, 12, extras);
    EXPECT_EQ(std::tie(first.Album, first.Date, first.Isrc, first.MbAlbumId, first.MbDiscId, first.TrackTotal, first.Disc, first.DiscTotal),
              std::make_tuple(info.Album, info.Year, QString("ISRC1"), QString("rel-id"), QString("disc-id"), 12, 2, 3));
    info.Genre = GenreIndexOf(QStringLiteral("Jazz"));
    EXPECT_EQ(TrackTagRecord(info, 1, 0).Genre, QStringLiteral("Jazz"));
    EXPECT_FALSE(VorbisComments(first).contains({QStringLiteral("GENRE"), QString()}));
    // The hidden track before track 1 is numbered 0.
    const TTagRecord hidden = TrackTagRecord(info, 0, 0);
    EXPECT_EQ(TrackNumberText(hidden), QStringLiteral("0/5"));
    EXPECT_TRUE(VorbisComments(hidden).contains({QStringLiteral("TRACKNUMBER"), QStringLiteral("0")}));
    EXPECT_EQ(TrackNumberText(first), QStringLiteral("1/12"));
}

TEST_F(TagsTest, ReplayGainTexts)
{
    struct {
        double Value;
        const char* Gain;
        const char* Peak;
    } rows[] = {{-6.5213, "-6.52 dB", "-6.521300"}, {-0.001, "0.00 dB", "0.000000"}, {3.0, "3.00 dB", "3.000000"},
                {0.9885531, "0.99 dB", "0.988553"}};
    for (const auto& row : rows) {
        EXPECT_EQ(FormatReplayGain(row.Value), QLatin1String(row.Gain));
        if (row.Value >= 0) {
            EXPECT_EQ(FormatReplayPeak(row.Value), QLatin1String(row.Peak));
        }
        EXPECT_NEAR(ParseReplayGain(QLatin1String(row.Gain)), std::round(row.Value * 100) / 100, 1e-9);
    }
    EXPECT_TRUE(std::isnan(ParseReplayGain(QStringLiteral("loud"))));
    EXPECT_TRUE(std::isnan(ParseReplayPeak(QStringLiteral("-1"))));
}

// ---- written, then read by the peers and by us -------------------------------------------

TEST_F(TagsTest, Mp3PeersReadBothId3v2VersionsAndTheId3v1TagStays)
{
    const TTagRecord r = SampleRecord();
    for (int version : {24, 23}) {
        const QString mp3 = MakeAudio(QStringLiteral("v%1.mp3").arg(version));
        QString error;
        ASSERT_TRUE(WriteFileTags(mp3, TTagFormat::Mp3, r, {version, true}, &error)) << error.toStdString();

        const QByteArray script =
            "import sys, json, hashlib, mutagen.id3 as m\n"
            "t = m.ID3(sys.argv[1])\n"
            "txt = lambda k: str(t[k].text[0]) if k in t else ''\n"
            "apic = t.getall('APIC')[0]\n"
            "print(json.dumps({'version': t.version[1], 'enc': int(t['TIT2'].encoding),"
            " 'TIT2': txt('TIT2'), 'TPE1': txt('TPE1'), 'TALB': txt('TALB'), 'TPE2': txt('TPE2'),"
            " 'TRCK': txt('TRCK'), 'TPOS': txt('TPOS'), 'TCON': txt('TCON'), 'TSRC': txt('TSRC'),"
            " 'date': str(t['TDRC'].text[0]) if 'TDRC' in t else txt('TYER'),"
            " 'COMM': str(t.getall('COMM')[0].text[0]), 'gain': txt('TXXX:REPLAYGAIN_TRACK_GAIN'),"
            " 'peak': txt('TXXX:REPLAYGAIN_TRACK_PEAK'), 'again': txt('TXXX:REPLAYGAIN_ALBUM_GAIN'),"
            " 'album': txt('TXXX:MusicBrainz Album Id'), 'type': int(apic.type), 'mime': apic.mime,"
            " 'cover': hashlib.md5(apic.data).hexdigest()}, ensure_ascii=False))\n";
        const QJsonObject m = QJsonDocument::fromJson(Tool("/usr/bin/python3", {"-c", QString::fromUtf8(script), mp3})).object();
        EXPECT_EQ(m["version"].toInt(), version == 24 ? 4 : 3);
        EXPECT_EQ(m["enc"].toInt(), version == 24 ? 3 : 1) << "UTF-8 in v2.4, UTF-16 in v2.3";
        EXPECT_EQ(m["TIT2"].toString(), r.Title);
        EXPECT_EQ(m["TPE1"].toString(), r.Artist);
        EXPECT_EQ(m["TALB"].toString(), r.Album);
        EXPECT_EQ(m["TPE2"].toString(), r.AlbumArtist);
        EXPECT_EQ(m["TRCK"].toString(), "3/12");
        EXPECT_EQ(m["TPOS"].toString(), "1/2");
        EXPECT_EQ(m["TCON"].toString(), "Pop");
        EXPECT_EQ(m["TSRC"].toString(), r.Isrc);
        EXPECT_EQ(m["date"].toString(), "2003");
        EXPECT_EQ(m["COMM"].toString(), r.Comment);
        EXPECT_EQ(m["gain"].toString(), "-6.52 dB");
        EXPECT_EQ(m["peak"].toString(), "0.988553");
        EXPECT_EQ(m["again"].toString(), "-7.10 dB");
        EXPECT_EQ(m["album"].toString(), r.MbAlbumId);
        EXPECT_EQ(m["type"].toInt(), 3);
        EXPECT_EQ(m["mime"].toString(), "image/png");
        EXPECT_EQ(m["cover"].toString(), Md5(r.Cover));

        const QJsonObject f = FfprobeTags(mp3);
        EXPECT_EQ(f["title"].toString(), r.Title);
        EXPECT_EQ(f["artist"].toString(), r.Artist);
        EXPECT_EQ(f["track"].toString(), "3/12");
        EXPECT_EQ(f["replaygain_track_gain"].toString(), "-6.52 dB");

        const QString id3v2 = QString::fromUtf8(Tool("id3v2", {"-l", mp3}));
        EXPECT_TRUE(id3v2.contains(QStringLiteral("id3v1 tag info"))) << id3v2.toStdString();
        if (version == 23) {   // id3lib reads v2.3 only
            EXPECT_TRUE(id3v2.contains(QStringLiteral("TRCK (Track number/Position in set): 3/12"))) << id3v2.toStdString();
            EXPECT_TRUE(id3v2.contains("TIT2 (Title/songname/content description): " + r.Title)) << id3v2.toStdString();
        }

        Tid3tag v1;
        ASSERT_FALSE(Tid3tag::Failed(v1.ReadTag(mp3)));
        EXPECT_EQ(v1.Track(), 3);
        EXPECT_EQ(v1.Year(), "2003");
    }
}

TEST_F(TagsTest, FlacAndOggPeersReadTheCommentsAndThePicture)
{
    const TTagRecord r = SampleRecord();
    for (const QString& name : {QStringLiteral("t.flac"), QStringLiteral("t.ogg")}) {
        const QString file = MakeAudio(name);
        const bool flac = name.endsWith(".flac");
        QString error;
        ASSERT_TRUE(WriteFileTags(file, flac ? TTagFormat::Flac : TTagFormat::Ogg, r, {}, &error)) << error.toStdString();
        const QString listed = QString::fromUtf8(flac ? Tool("metaflac", {"--export-tags-to=-", file})
                                                      : Tool("vorbiscomment", {"-l", file}));
        for (const QString& line : {"TITLE=" + r.Title, "ARTIST=" + r.Artist, "ALBUMARTIST=" + r.AlbumArtist,
                                    QStringLiteral("TRACKNUMBER=3"), QStringLiteral("TRACKTOTAL=12"),
                                    QStringLiteral("DISCNUMBER=1"), QStringLiteral("DISCTOTAL=2"),
                                    QStringLiteral("GENRE=Pop"), QStringLiteral("REPLAYGAIN_TRACK_GAIN=-6.52 dB"),
                                    QStringLiteral("REPLAYGAIN_ALBUM_PEAK=1.000000"), "MUSICBRAINZ_DISCID=" + r.MbDiscId})
            EXPECT_TRUE(listed.contains(line + "\n")) << name.toStdString() << ": " << line.toStdString();
        const QByteArray script = "import sys, hashlib, base64, mutagen, mutagen.flac\n"
                                  "f = mutagen.File(sys.argv[1])\n"
                                  "pics = f.pictures if hasattr(f, 'pictures') else "
                                  "[mutagen.flac.Picture(base64.b64decode(v)) for v in f['metadata_block_picture']]\n"
                                  "print(pics[0].type, pics[0].mime, hashlib.md5(pics[0].data).hexdigest())\n";
        EXPECT_EQ(Tool("/usr/bin/python3", {"-c", QString::fromUtf8(script), file}).trimmed(),
                  "3 image/png " + Md5(r.Cover).toLatin1());
        EXPECT_EQ(FfprobeTags(file)["title"].toString(), r.Title);
    }
}

TEST_F(TagsTest, WavInfoChunkIsReadByFfprobeAndKeepsTheWaveWhole)
{
    const QString wav = MakeAudio(QStringLiteral("t.wav"));
    const qint64 audioBytes = QFileInfo(wav).size();
    TTagRecord r = SampleRecord();
    r.Title = QStringLiteral("奇数");   // an odd number of bytes with its NUL: padded
    for (int pass = 0; pass < 2; ++pass)   // a second write replaces the first list
        ASSERT_TRUE(WriteFileTags(wav, TTagFormat::Wav, r, {}));
    const QByteArray bytes = ReadAll(wav);
    EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 4), quint32(bytes.size() - 8));
    EXPECT_EQ(bytes.size(), audioBytes + WavInfoChunk(r).size());
    EXPECT_EQ(bytes.size() % 2, 0);
    const QJsonObject f = FfprobeTags(wav);
    EXPECT_EQ(f["title"].toString(), r.Title);
    EXPECT_EQ(f["artist"].toString(), r.Artist);
    EXPECT_EQ(f["album"].toString(), r.Album);
    EXPECT_EQ(f["genre"].toString(), r.Genre);
    EXPECT_EQ(f["track"].toString(), "3");
    int code = -1;
    Tool("sox", {wav, "-n", "stat"}, &code);
    EXPECT_EQ(code, 0);
}

TEST_F(TagsTest, WmaKeysGoIntoTheFileAsFfmpegMuxesThem)
{
    const TTagRecord r = SampleRecord();
    QStringList args{"-v", "error", "-f", "lavfi", "-i", "sine=d=1", "-c:a", "wmav2"};
    for (const auto& [key, value] : WmaMetadata(r))
        args << "-metadata" << key + "=" + value;
    const QString wma = Path(QStringLiteral("t.wma"));
    Tool("ffmpeg", args << wma);
    TTagRecord back;
    QString message;
    ASSERT_TRUE(ReadFileTags(wma, back, &message)) << message.toStdString();
    EXPECT_EQ(std::tie(back.Title, back.Artist, back.AlbumArtist, back.Album, back.Date, back.Genre, back.Track),
              std::tie(r.Title, r.Artist, r.AlbumArtist, r.Album, r.Date, r.Genre, r.Track));
    EXPECT_NEAR(back.TrackGain, -6.52, 1e-9);

    // The same record written by TagLib into a WMA file the muxer made without tags.
    const QString plain = Path(QStringLiteral("plain.wma"));
    Tool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=d=1", "-c:a", "wmav2", plain});
    ASSERT_TRUE(WriteFileTags(plain, TTagFormat::Wma, r, {}));
    const QJsonObject f = FfprobeTags(plain);
    EXPECT_EQ(f["title"].toString(), r.Title);
    EXPECT_EQ(f["artist"].toString(), r.Artist);
    EXPECT_EQ(f["album"].toString(), r.Album);
    EXPECT_EQ(f["album_artist"].toString(), r.AlbumArtist);
    EXPECT_EQ(f["track"].toString(), "3");
    TTagRecord tagged;
    ASSERT_TRUE(ReadFileTags(plain, tagged));
    EXPECT_EQ(tagged.Cover, r.Cover);
    EXPECT_EQ(tagged.Genre, r.Genre);
}

TEST_F(TagsTest, EveryFormatReadsBackWhatWasWritten)
{
    const TTagRecord r = SampleRecord();
    for (const QString& name : {QStringLiteral("r.mp3"), QStringLiteral("r.flac"), QStringLiteral("r.ogg"),
                               QStringLiteral("r.wav")}) {
        const QString file = MakeAudio(name);
        ASSERT_TRUE(WriteFileTags(file, TagFormatOf(file + ".part"), r, {}));
        TTagRecord back;
        QString message;
        ASSERT_TRUE(ReadFileTags(file, back, &message)) << name.toStdString();
        EXPECT_TRUE(message.isEmpty()) << message.toStdString();
        EXPECT_EQ(std::tie(back.Title, back.Artist, back.Album, back.Date, back.Genre, back.Track),
                  std::tie(r.Title, r.Artist, r.Album, r.Date, r.Genre, r.Track)) << name.toStdString();
        if (name.endsWith(".wav"))
            continue;   // INFO has no more fields
        EXPECT_EQ(std::tie(back.AlbumArtist, back.TrackTotal, back.Disc, back.DiscTotal, back.Comment, back.Isrc,
                           back.MbAlbumId, back.MbDiscId, back.CoverMime),
                  std::tie(r.AlbumArtist, r.TrackTotal, r.Disc, r.DiscTotal, r.Comment, r.Isrc, r.MbAlbumId,
                           r.MbDiscId, r.CoverMime)) << name.toStdString();
        EXPECT_EQ(back.Cover, r.Cover);
        EXPECT_NEAR(back.TrackGain, -6.52, 1e-9);
        EXPECT_NEAR(back.AlbumPeak, 1.0, 1e-9);
    }
}

TEST_F(TagsTest, SettingsChooseTheMp3TagsAndTheReplayGain)
{
    const TTagRecord r = SampleRecord();
    const QString mp3 = MakeAudio(QStringLiteral("v1.mp3"));
    ASSERT_TRUE(WriteFileTags(mp3, TTagFormat::Mp3, r, {1, false}));
    TTagRecord none;
    EXPECT_FALSE(ReadId3v2Tag(mp3, none));
    const QString flac = MakeAudio(QStringLiteral("nogain.flac"));
    ASSERT_TRUE(WriteFileTags(flac, TTagFormat::Flac, r, {24, false}));
    EXPECT_FALSE(Tool("metaflac", {"--export-tags-to=-", flac}).contains("REPLAYGAIN"));

    // The album's gain, known after the last track, goes into a finished file.
    TTagRecord album = r;
    album.AlbumGain = 2.5;
    ASSERT_TRUE(RetagFile(flac, album, {}));
    EXPECT_TRUE(Tool("metaflac", {"--export-tags-to=-", flac}).contains("REPLAYGAIN_ALBUM_GAIN=2.50 dB\n"));
    EXPECT_FALSE(QFile::exists(PartPathOf(flac)));
    int code = -1;
    Tool("flac", {"-t", "-s", flac}, &code);
    EXPECT_EQ(code, 0);
}

TEST_F(TagsTest, AConversionKeepsItsSourcesTagsAndCover)
{
    const TTagRecord r = SampleRecord();
    const QString source = MakeAudio(QStringLiteral("source.flac"));
    ASSERT_TRUE(WriteFileTags(source, TTagFormat::Flac, r, {}));
    const QString part = MakeAudio(QStringLiteral("converted.mp3"));
    QString message;
    ASSERT_TRUE(CopyFileTags(source, part, TTagFormat::Mp3, {}, &message)) << message.toStdString();
    TTagRecord back;
    ASSERT_TRUE(ReadFileTags(part, back));
    EXPECT_EQ(std::tie(back.Title, back.Artist, back.TrackTotal, back.Cover), std::tie(r.Title, r.Artist, r.TrackTotal, r.Cover));

    const QString untagged = MakeAudio(QStringLiteral("untagged.ogg"));
    EXPECT_TRUE(CopyFileTags(MakeAudio(QStringLiteral("bare.wav")), untagged, TTagFormat::Ogg, {}, &message));
    EXPECT_TRUE(message.contains(QStringLiteral("no INFO list"))) << message.toStdString();
}

TEST_F(TagsTest, ReadsWhatOtherTaggersWrite)
{
    const QString mp3 = MakeAudio(QStringLiteral("peer.mp3"));
    Tool("id3v2", {"-t", "Peer Title", "-a", "Peer", "-g", "8", "-T", "4/10", "-y", "1999", mp3});
    TTagRecord tag;
    ASSERT_TRUE(ReadFileTags(mp3, tag));
    EXPECT_EQ(std::tie(tag.Title, tag.Artist, tag.Genre, tag.Track, tag.TrackTotal, tag.Date),
              std::make_tuple(QString("Peer Title"), QString("Peer"), QString("Jazz"), 4, 10, QString("1999")));

    const QString flac = MakeAudio(QStringLiteral("peer.flac"));
    Tool("metaflac", {"--set-tag=TITLE=歌", "--set-tag=TRACKNUMBER=5/7", "--set-tag=REPLAYGAIN_TRACK_GAIN=+1.50 dB",
                      "--set-tag=REPLAYGAIN_TRACK_PEAK=0.5", flac});
    TTagRecord comments;
    ASSERT_TRUE(ReadFileTags(flac, comments));
    EXPECT_EQ(std::tie(comments.Title, comments.Track, comments.TrackTotal),
              std::make_tuple(QString("歌"), 5, 7));
    EXPECT_NEAR(comments.TrackGain, 1.5, 1e-9);
}

// ---- hostile input ---------------------------------------------------------------------

// An ID3v2.4 tag of one TIT2 frame holding `text` bytes (UTF-8 by its encoding byte).
QByteArray Id3v2WithTitle(const QByteArray& text)
{
    const auto syncsafe = [](quint32 v) {
        const char bytes[4] = {char((v >> 21) & 0x7f), char((v >> 14) & 0x7f), char((v >> 7) & 0x7f), char(v & 0x7f)};
        return QByteArray(bytes, 4);
    };
    const QByteArray body = QByteArray(1, '\x03') + text;
    const QByteArray frame = "TIT2" + syncsafe(quint32(body.size())) + QByteArray(2, '\0') + body;
    return QByteArray("ID3\x04\x00\x00", 6) + syncsafe(quint32(frame.size())) + frame;
}

TEST_F(TagsTest, HostileTagsAreCutOrRefusedCleanly)
{
    const QByteArray audio = ReadAll(MakeAudio(QStringLiteral("plain.mp3")));
    struct {
        const char* Name;
        QByteArray Bytes;
        bool Found;
        QString Title;
    } rows[] = {
        {"long", Id3v2WithTitle(QByteArray(100 * 1024, 'x')) + audio, true, QString(MaxTagText, QLatin1Char('x'))},
        // NUL parts a list of values in ID3v2.4; TagLib drops a text that is not UTF-8.
        {"nul", Id3v2WithTitle(QByteArray("ab\0cd", 5)) + audio, true, QStringLiteral("ab cd")},
        {"utf8", Id3v2WithTitle("ok\xff\xfe") + audio, true, QString()},
        {"header", QByteArray("ID3\x04\x00\x00\x7f\x7f\x7f\x7f", 10) + audio, false, QString()},
        {"nonsync", QByteArray("ID3\xff\xff\xff\xff\xff\xff\xff", 10) + audio, false, QString()},
        {"cut", Id3v2WithTitle("whole title").left(25), true, QStringLiteral("whol")},
    };
    for (const auto& row : rows) {
        const QString file = Path(QStringLiteral("%1.mp3").arg(QLatin1String(row.Name)));
        ASSERT_TRUE(WriteAll(file, row.Bytes));
        TTagRecord tag;
        QString message;
        EXPECT_EQ(ReadFileTags(file, tag, &message), row.Found) << row.Name;
        EXPECT_EQ(tag.Title, row.Title) << row.Name;
        EXPECT_EQ(message.isEmpty(), row.Found) << row.Name << ": " << message.toStdString();
    }

    // A 20 MB cover is left out with a note; the rest of the tag stays.
    const QString big = MakeAudio(QStringLiteral("big.mp3"));
    TTagRecord r = SampleRecord();
    r.Cover = Cover(20 * 1024 * 1024);
    ASSERT_TRUE(WriteFileTags(big, TTagFormat::Mp3, r, {}));
    TTagRecord tag;
    QString message;
    ASSERT_TRUE(ReadFileTags(big, tag, &message));
    EXPECT_TRUE(tag.Cover.isEmpty());
    EXPECT_EQ(tag.Title, r.Title);
    EXPECT_TRUE(message.contains(QStringLiteral("cover (20.0 MB)"))) << message.toStdString();

    // A WAV INFO list whose field runs past its end, and one with invalid UTF-8.
    TTagRecord info;
    EXPECT_TRUE(ParseWavInfo(QByteArray("INFOINAM\xff\x00\x00\x00title", 17), info));
    EXPECT_EQ(info.Title, QStringLiteral("title"));
    EXPECT_TRUE(ParseWavInfo(QByteArray("INFOIART\x03\x00\x00\x00\xc3\x28z\0", 16), info));
    EXPECT_EQ(info.Artist, QStringLiteral("\uFFFD(z"));
    EXPECT_TRUE(ParseWavInfo(QByteArray("INFOICMT\x06\x00\x00\x00" "ab\0cd\0", 18), info));
    EXPECT_EQ(info.Comment, QStringLiteral("ab"));
    EXPECT_FALSE(ParseWavInfo(QByteArray("adtlxxxx"), info));
}

} // namespace

// The ID3 editor puts its edit into the file's ID3v2 tag too, changing only the fields the
// user changed (a long title, the full date, the cover and the other frames stay) and keeping
// the tag's version; a file without an ID3v2 tag gets none.
TEST_F(TagsTest, Id3EditorWritesItsEditIntoTheId3v2Tag)
{
    for (int version : {4, 3}) {
        const QString mp3 = MakeAudio(QStringLiteral("edit%1.mp3").arg(version));
        TTagRecord r = SampleRecord();
        r.Title = QString(60, QLatin1Char('L'));
        r.Date = QStringLiteral("2003-05-01");
        ASSERT_TRUE(WriteId3v2Tag(mp3, r, version));
        TCannedPrompter prompter;
        TID3EditController editor(prompter);
        editor.Load(mp3);
        TID3EditController::TFields f = editor.Fields();
        f.Artist = QStringLiteral("新歌手");
        f.Track = QStringLiteral("4");
        editor.SetFields(f);
        ASSERT_TRUE(editor.SaveTag());
        TTagRecord back;
        ASSERT_TRUE(ReadId3v2Tag(mp3, back));
        EXPECT_EQ(back.Title, r.Title);
        EXPECT_EQ(back.Artist, QStringLiteral("新歌手"));
        EXPECT_EQ(std::make_pair(back.Track, back.TrackTotal), std::make_pair(4, 12));
        EXPECT_EQ(std::tie(back.Date, back.Album, back.MbAlbumId), std::tie(r.Date, r.Album, r.MbAlbumId));
        EXPECT_EQ(Md5(back.Cover), Md5(r.Cover));
        EXPECT_EQ(int(ReadAll(mp3).at(3)), version);
        Tid3tag v1;
        ASSERT_FALSE(Tid3tag::Failed(v1.ReadTag(mp3)));
        EXPECT_EQ(v1.Artist(), QStringLiteral("新歌手"));
    }
    const QString plain = MakeAudio(QStringLiteral("plain.mp3"));
    TCannedPrompter prompter;
    TID3EditController editor(prompter);
    editor.Load(plain);
    TID3EditController::TFields f = editor.Fields();
    f.Title = QStringLiteral("t");
    editor.SetFields(f);
    ASSERT_TRUE(editor.SaveTag());
    EXPECT_FALSE(ReadAll(plain).startsWith("ID3"));
}
