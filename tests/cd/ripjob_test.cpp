// The rip job over disc images, read through either CD library: what each format leaves in
// the output folder, the track's bytes and length, the tags, the rip time, and every way a
// track can fail or the job can be stopped. Every case runs on both libraries' readers.
#include "audio/WaveOut.h"
#include "cd/CDInput.h"
#include "cd/DiscReader.h"
#include "jobs/CDRipJob.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/CoverTestUtil.h"
#include "encode/OggRipTestUtil.h"
#include "encode/JobTestUtil.h"
#include "encode/WMAEncodeProcess.h"
#include "fixtures/AuTestComponents.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"
#include "metadata/MusicBrainz.h"
#include "platform/ReadFaults.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QtEndian>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QElapsedTimer>
#include <QMap>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Which CD library reads the disc.
enum class TLibrary { CDInput, First };

class RipJobTest : public ::testing::TestWithParam<TLibrary> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Out = Dir.filePath("out");
        ASSERT_TRUE(QDir().mkpath(Out));
        OptionsSetting = TOptionsSetting{};
        OptionsSetting.CommonOptions.OutputFolder = Out + '/';
        OptionsSetting.CommonOptions.CueSheet = 0;   // the cue sheet's tests are its own
        OptionsSetting.CommonOptions.WriteRipLog = false;   // the listings are of the tracks' files
        OptionsSetting.CommonOptions.Jobs = 1;              // the cases follow one track at a time
        OldPath = qgetenv("PATH");
        qputenv("PATH", QByteArray(VARNELCD_BINARY_DIR) + ':' + OldPath);   // our wm8eutil
        SetReadFaults(QString());
    }
    void TearDown() override
    {
        qputenv("PATH", OldPath);
        SetReadFaults(QString());
        Source.reset();
        if (Handle) CloseCDHandle(Handle);
        SetDiscImages({});
    }

    // A disc of pattern tracks (lengths in sectors) as the CD input component's drive.
    // `more`: the disc's further options (its CD-Text).
    void UseDisc(const QStringList& sectors, const QStringList& more = {})
    {
        QStringList args = more;
        for (const QString& s : sectors) args << "--track" << "audio:" + s;
        const QString cue = MakeTestDisc(Dir.path(), args);
        Source.reset();
        if (Handle) CloseCDHandle(Handle);
        Handle = 0;
        SetDiscImages({cue});
        if (GetParam() == TLibrary::First) {
            THandleRequest req{};
            Handle = GetCDHandle(req);
            ASSERT_NE(Handle, 0u);
            Source = AkripDiscSource(Handle);
        } else {
            CDIn.SetCurrentDrive(CDIn.DrivesCount() - 1);
            Source = CDInDiscSource(CDIn);
        }
        QString bin = cue;
        Bin = ReadAll(bin.replace(".cue", ".bin"));
        int64_t first = 0;
        Starts.clear();
        for (const QString& s : sectors) {
            Starts.append(first);
            first += s.toInt();
        }
    }
    QByteArray TrackBytes(int track, int64_t sectors = -1) const
    {
        const int64_t first = Starts[track - 1];
        const int64_t end = track < Starts.size() ? Starts[track] : Bin.size() / 2352;
        return Bin.mid(first * 2352, (sectors < 0 ? end - first : sectors) * 2352);
    }

    std::unique_ptr<TCDRipJob> Run(const QStringList& entries, const std::function<void(TCDRipJob&)>& onView = {})
    {
        auto job = std::make_unique<TCDRipJob>(*Source, entries, &Prompter);
        TCDRipJob* j = job.get();
        Captions.clear();
        QObject::connect(j, &TJobBase::ViewChanged, j, [this, j, onView] {
            if (Captions.value(Captions.size() - 1) != j->StepView().Caption) Captions << j->StepView().Caption;
            if (onView) onView(*j);
        });
        RunJobToEnd(*j);
        return job;
    }

    QStringList Files() const { return QDir(Out).entryList(QDir::Files, QDir::Name); }
    QString OutFile(const QString& name) const { return Out + '/' + name; }


    QTemporaryDir Dir;
    QString Out;
    QByteArray OldPath;
    QByteArray Bin;
    QList<int64_t> Starts;
    TCDIn CDIn;
    HCDROM Handle = 0;
    std::unique_ptr<TDiscSource> Source;
    TCannedPrompter Prompter;
    QStringList Captions;   // the step window's titles, each once as it changed
};

INSTANTIATE_TEST_SUITE_P(BothLibraries, RipJobTest, ::testing::Values(TLibrary::CDInput, TLibrary::First),
                         [](const auto& info) { return info.param == TLibrary::First ? "First" : "CDInput"; });

const QStringList ThreeEntries = {"01One", "02Two", "03Three"};

TEST_P(RipJobTest, EachFormatLeavesItsFilesOfTheTracksLength)
{
    UseDisc({"40", "30", "20"});
    OptionsSetting.CDInfo.Artist = "Artist";
    OptionsSetting.CDInfo.Album = "Album";
    OptionsSetting.CDInfo.Comment = "Disc note";
    struct TCase {
        int Format;
        bool KeepWav, ID3Use;
        QString Ext;
        int Tolerance;   // frames: a codec frame
    } cases[] = {
        {TCDRipJob::FormatWav, false, false, ".wav", 0},
        {TCDRipJob::FormatMp3, false, false, ".mp3", 1152},
        {TCDRipJob::FormatMp3, true, true, ".mp3", 1152},
        {TCDRipJob::FormatOgg, false, true, ".ogg", 2048},
        {TCDRipJob::FormatOgg, true, false, ".ogg", 2048},
        {TCDRipJob::FormatWma, false, false, ".wma", 2048},
        {99, false, false, ".wav", 0},   // an unknown format rips to WAV
    };
    const QStringList titles = {"One", "Two", "Three"};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Format * 10 + c.KeepWav);
        QDir(Out).removeRecursively();
        QDir().mkpath(Out);
        OptionsSetting.CommonOptions.OutputFormat = c.Format;
        OptionsSetting.CommonOptions.IsKeepWav = c.KeepWav;
        OptionsSetting.ID3Use = c.ID3Use;
        auto job = Run(ThreeEntries);
        EXPECT_TRUE(Prompter.Log.isEmpty()) << Prompter.Log.value(0).Text.toStdString();
        QStringList expected;
        for (const QString& t : titles) {
            expected << t + c.Ext;
            if (c.KeepWav) expected << t + ".wav";
        }
        expected.sort();
        EXPECT_EQ(Files(), expected);
        // The step window names each read and, one worker, each encoding in turn.
        QStringList captions;
        for (int i = 0; i < 3; ++i) {
            captions << QString("抓取中(%1/03): %2").arg(i + 1, 2, 10, QChar('0')).arg(titles[i]);
            if (c.Ext != ".wav") captions << QString("编码中(%1/03): %2").arg(i + 1, 2, 10, QChar('0')).arg(titles[i]);
        }
        EXPECT_EQ(Captions.mid(Captions.indexOf(captions[0])), captions);
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(job->Results()[i].Produced);
            const QString path = OutFile(titles[i] + c.Ext);
            const QByteArray bytes = TrackBytes(i + 1);
            if (c.Ext == ".wav") {
                const QByteArray file = ReadAll(path);
                ASSERT_EQ(file.size(), 44 + bytes.size());
                EXPECT_TRUE(file.mid(44) == bytes);
            } else {
                EXPECT_NEAR(DecodedFrames(path), bytes.size() / 4, c.Tolerance);
            }
            if (c.Format == TCDRipJob::FormatMp3) {
                // Every MP3 is tagged (ID3v1.1): title, artist and the track number.
                const QByteArray tag = ReadAll(path).right(128);
                ASSERT_TRUE(tag.startsWith("TAG"));
                EXPECT_EQ(QString::fromLocal8Bit(tag.mid(3, 30)).remove(QChar(0)).trimmed(), titles[i]);
                EXPECT_EQ(QString::fromLocal8Bit(tag.mid(33, 30)).remove(QChar(0)).trimmed(), "Artist");
                EXPECT_EQ(int(uint8_t(tag[126])), i + 1);
            }
            if (c.Format == TCDRipJob::FormatOgg) {
                QProcess p;
                p.start("vorbiscomment", {"-l", path});
                ASSERT_TRUE(p.waitForFinished(30000));
                const QString comments = QString::fromUtf8(p.readAllStandardOutput()).toLower();
                if (c.ID3Use) {
                    EXPECT_TRUE(comments.contains("title=" + titles[i].toLower())) << comments.toStdString();
                    EXPECT_TRUE(comments.contains(QString("tracknumber=%1").arg(i + 1)));
                    EXPECT_TRUE(comments.contains("comment=disc note"));
                    EXPECT_TRUE(comments.contains("artist=artist"));
                } else {
                    EXPECT_FALSE(comments.contains("title=")) << comments.toStdString();
                }
            }
        }
    }
}

TEST_P(RipJobTest, TheDiscCoverGoesIntoTheFilesAndTheirFolders)
{
    UseDisc({"20", "20"});
    CheckDiscCovers(Out, Prompter, TCDRipJob::FormatWav, [&] { return Run({"01One", "02Two"})->Results(); });
}

TEST_P(RipJobTest, OggRipsCarryTheDiscsComments)
{
    UseDisc({"20", "20"});
    CheckOggRipComments(Out, [&](const QStringList& entries) { return Run(entries)->Results(); });
}

TEST_P(RipJobTest, RipTimeCutsLongTracksAndShortOnesEndAtTheirEnd)
{
    UseDisc({"100", "50", "20"});
    OptionsSetting.CommonOptions.OutputFormat = TCDRipJob::FormatWav;
    OptionsSetting.CommonOptions.EnableRipTime = true;
    OptionsSetting.CommonOptions.RipTime = 1;   // 75 sectors
    Run({"01A", "02B"});
    EXPECT_TRUE(ReadAll(OutFile("A.wav")).mid(44) == TrackBytes(1, 75));
    EXPECT_TRUE(ReadAll(OutFile("B.wav")).mid(44) == TrackBytes(2));
}

TEST_P(RipJobTest, NormalizeScalesTheRip)
{
    UseDisc({"30"});
    OptionsSetting.CommonOptions.OutputFormat = TCDRipJob::FormatWav;
    OptionsSetting.CommonOptions.IsNormalize = true;
    OptionsSetting.CommonOptions.NormalizePercent = 50;
    auto job = Run({"01A"});
    EXPECT_TRUE(job->Results()[0].Produced);
    const QByteArray wav = ReadAll(OutFile("A.wav"));
    EXPECT_EQ(wav.size(), 44 + TrackBytes(1).size());
    EXPECT_FALSE(wav.mid(44) == TrackBytes(1));

    // The pass cannot write its copy (a folder stands where it goes): the message, the WAV
    // stays as ripped, and the next track is still made.
    UseDisc({"30", "20"});
    ASSERT_TRUE(QDir(Out).mkdir("B.wav.nor"));   // the copy of the rip's part file "B.wav.part"
    job = Run({"01B", "02C"});
    ASSERT_EQ(Prompter.Texts("error").size(), 1);
    EXPECT_TRUE(Prompter.Texts("error")[0].contains("B.wav")) << Prompter.Texts("error")[0].toStdString();
    EXPECT_TRUE(ReadAll(OutFile("B.wav")).mid(44) == TrackBytes(1));
    EXPECT_TRUE(QFileInfo::exists(OutFile("C.wav")));
    EXPECT_TRUE(job->Results()[1].Produced);
}

// Equal and empty titles would overwrite each other or hide; a too long one is cut, one that
// would hide or holds a NUL is cleaned: every track is made.
TEST_P(RipJobTest, TitlesThatCannotNameTheirOwnFile)
{
    UseDisc({"20", "20", "20", "20", "20", "20"});
    OptionsSetting.CommonOptions.OutputFormat = TCDRipJob::FormatWav;
    const QString longTitle(300, QChar('x'));
    auto job = Run({"01Same", "02same", "03", "04" + longTitle, "05..", QString("06a") + QChar(0) + "b"});
    EXPECT_EQ(Files(), (QStringList{"02same.wav", "03.wav", "05.wav", "Same.wav", "ab.wav", QString(251, 'x') + ".wav"}));
    EXPECT_TRUE(ReadAll(OutFile("02same.wav")).mid(44) == TrackBytes(2));
    EXPECT_TRUE(ReadAll(OutFile("ab.wav")).mid(44) == TrackBytes(6));
    for (const TEntryResult& r : job->Results()) EXPECT_TRUE(r.Produced) << r.Failure.toStdString();
    EXPECT_TRUE(Prompter.Log.isEmpty()) << Prompter.Log.value(0).Text.toStdString();
}

// The whole-disc file's cue sheet titles the tracks as stored, though equal and empty
// titles gave way to their entries for the file names.
TEST_P(RipJobTest, TheCueSheetKeepsTheStoredTitles)
{
    UseDisc({"20", "20", "20"});
    OptionsSetting.CommonOptions.OutputFormat = TCDRipJob::FormatFlac;
    OptionsSetting.FlacOptions.Cuesheet = true;
    Run({"01Same", "02Same", "03"});
    QProcess p;
    p.start("metaflac", {"--export-tags-to=-", OutFile("Unknown Artist - Unknown Album.flac")});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QStringList titles = QString::fromUtf8(p.readAllStandardOutput()).split('\n').filter("    TITLE");
    EXPECT_EQ(titles, (QStringList{"    TITLE \"Same\"", "    TITLE \"Same\""}));
    OptionsSetting.FlacOptions.Cuesheet = false;
}

// Named by a pattern: folders below the output folder, " (2)" for a path used twice, the
// WAVs cleaned up after encoding; a file in the place of a folder fails that track alone.
TEST_P(RipJobTest, FileNamePatternFoldersTheFiles)
{
    UseDisc({"20", "20", "20"});
    OptionsSetting.CDInfo.Artist = "AC/DC";
    OptionsSetting.CDInfo.Album = "Live";
    struct TCase {
        QString Pattern;
        int Format;
        QStringList Files;   // the second track's file first
        bool ThirdProduced;
    } cases[] = {
        {"%A/%D/%N %T", TCDRipJob::FormatMp3, {"ACDC/Live/02 One.mp3", "ACDC/Live/01 One.mp3", "ACDC/Live/03 Three.mp3"}, true},
        {"%T/%A", TCDRipJob::FormatWav, {"One/ACDC (2).wav", "One/ACDC.wav"}, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Pattern.toStdString());
        QDir(Out).removeRecursively();
        QDir().mkpath(Out + "/ACDC/Live");
        ASSERT_TRUE(WriteAll(OutFile("Three"), ""));   // where "%T/%A" wants a folder
        Prompter.Log.clear();
        OptionsSetting.CommonOptions.FileNamePattern = c.Pattern;
        OptionsSetting.CommonOptions.OutputFormat = c.Format;
        auto job = Run({"01One", "02One", "03Three"});
        QStringList files;
        for (QDirIterator it(Out, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            files.append(QDir(Out).relativeFilePath(it.next()));
        files.removeAll("Three");
        EXPECT_EQ(QSet<QString>(files.begin(), files.end()), QSet<QString>(c.Files.begin(), c.Files.end()));
        EXPECT_EQ(job->Results()[1].Output, OutFile(c.Files[0]));
        if (c.Format == TCDRipJob::FormatWav) {
            EXPECT_TRUE(ReadAll(OutFile(c.Files[0])).mid(44) == TrackBytes(2));
        }
        EXPECT_EQ(job->Results()[2].Produced, c.ThirdProduced);
        EXPECT_EQ(Prompter.Texts("error").size(), c.ThirdProduced ? 0 : 1);
    }
}

TEST_P(RipJobTest, AFailedTrackIsToldAndTheOthersAreDone)
{
    UseDisc({"40", "30", "20"});
    struct TCase {
        int Format;
        QString Faults;
        bool NoLame;
        QStringList Files;
        QList<bool> Produced;
    } cases[] = {
        // A read fault on track 2: no WAV for it, nothing encoded from it.
        {TCDRipJob::FormatWav, "45", false, {"One.wav", "Three.wav"}, {true, false, true}},
        {TCDRipJob::FormatMp3, "45", false, {"One.mp3", "Three.mp3"}, {true, false, true}},
        // No encoder: the rips stay, nothing is tagged or left half-written.
        {TCDRipJob::FormatMp3, "", true, {"One.wav", "Three.wav", "Two.wav"}, {false, false, false}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Faults.toStdString() + (c.NoLame ? " no lame" : ""));
        QDir(Out).removeRecursively();
        QDir().mkpath(Out);
        Prompter.Log.clear();
        OptionsSetting.CommonOptions.OutputFormat = c.Format;
        SetReadFaults(c.Faults);
        qputenv("PATH", c.NoLame ? Dir.filePath("empty").toUtf8() : QByteArray(VARNELCD_BINARY_DIR) + ':' + OldPath);
        auto job = Run(ThreeEntries);
        EXPECT_EQ(Files(), c.Files);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(job->Results()[i].Produced, c.Produced[i]) << i;
        if (!c.NoLame) {
            ASSERT_EQ(Prompter.Texts("error").size(), 1);
            EXPECT_EQ(Prompter.Texts("error")[0], QStringLiteral("音轨 2 读取出错：第 45 扇区"));
        }
    }
}

TEST_P(RipJobTest, AnUnwritableFolderFailsEveryTrack)
{
    UseDisc({"20", "20"});
    OptionsSetting.CommonOptions.OutputFormat = TCDRipJob::FormatMp3;
    ASSERT_TRUE(WriteAll(Dir.filePath("file"), "x"));
    OptionsSetting.CommonOptions.OutputFolder = Dir.filePath("file") + '/';
    auto job = Run({"01A", "02B"});
    EXPECT_FALSE(job->Results()[0].Produced);
    EXPECT_FALSE(job->Results()[1].Produced);
    EXPECT_EQ(Prompter.Texts("error").size(), 2);
}

// Stopping while a track is read or encoded: no child left, no partial file, no work WAV.
TEST_P(RipJobTest, StopDuringTheRipAndEachEncode)
{
    UseDisc({"4000", "20"});
    struct TCase {
        int Format;
        bool InEncode;
    } cases[] = {{TCDRipJob::FormatWav, false}, {TCDRipJob::FormatMp3, true},
                 {TCDRipJob::FormatOgg, true}, {TCDRipJob::FormatWma, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Format);
        QDir(Out).removeRecursively();
        QDir().mkpath(Out);
        OptionsSetting.CommonOptions.OutputFormat = c.Format;
        bool stopped = false;
        auto job = Run({"01A", "02B"}, [&](TCDRipJob& j) {
            const bool encoding = j.View().ProgressHint == "正在编码...";
            if (!stopped && encoding == c.InEncode && j.View().Completed == 0 && j.View().Gauge > 0) {
                stopped = true;
                j.StopJob();
            }
        });
        ASSERT_TRUE(stopped);
        EXPECT_TRUE(job->WasStopped());
        EXPECT_FALSE(job->Step().Mp3().Running());
        EXPECT_FALSE(job->Step().Wma().Running());
        // The WMA encoder's progress is a time estimate: on a loaded machine it may have ended,
        // and its whole file been renamed into place, in the instant before the stop. Any
        // other file, and any part file, is a fault.
        QStringList left = Files();
        if (c.Format == TCDRipJob::FormatWma && left == QStringList{"A.wma"}) {
            EXPECT_GT(QFileInfo(Out + "/A.wma").size(), 0);
            left.clear();
        }
        EXPECT_EQ(left, QStringList());

    }
    // The drive is left ready: the next rip reads the whole track.
    OptionsSetting.CommonOptions.OutputFormat = TCDRipJob::FormatWav;
    Run({"02B"});
    EXPECT_TRUE(ReadAll(OutFile("B.wav")).mid(44) == TrackBytes(2));
}

} // namespace

// FLAC straight from the disc, per track and as one whole-disc file: a stop while a track
// is read leaves no FLAC file and no WAV.
TEST_P(RipJobTest, StoppingAFlacRipLeavesNoFile)
{
    UseDisc({"4000", "20"});
    OptionsSetting.CommonOptions.OutputFormat = TCDRipJob::FormatFlac;
    for (const bool cue : {false, true}) {
        SCOPED_TRACE(cue);
        OptionsSetting.FlacOptions.Cuesheet = cue;
        QDir(Out).removeRecursively();
        QDir().mkpath(Out);
        bool stopped = false;
        auto job = Run({"01A", "02B"}, [&](TCDRipJob& j) {
            if (!stopped && j.View().Gauge > 0) {
                stopped = true;
                j.StopJob();
            }
        });
        ASSERT_TRUE(stopped);
        EXPECT_TRUE(job->WasStopped());
        // On a loaded machine the first progress shown may come after the track's last read:
        // its file is then whole and in place. A file that is not whole is a fault.
        for (const QString& name : Files()) {
            QProcess p;
            p.start("metaflac", {"--show-total-samples", OutFile(name)});
            ASSERT_TRUE(p.waitForFinished(10000));
            EXPECT_EQ(p.readAllStandardOutput().trimmed().toLongLong(), (cue ? 4020 : 4000) * 588LL) << name.toStdString();
        }
    }
}


// Any worker count leaves the files one worker leaves, byte for byte, in every format, and
// never more than Jobs+1 ripped WAVs wait for or are in an encoder.
TEST_P(RipJobTest, WorkerCountsLeaveTheSameFiles)
{
    UseDisc({"40", "30", "20", "25", "35"});
    const QStringList entries = {"01One", "02Two", "03Three", "04Four", "05Five"};
    OptionsSetting.CDInfo.Artist = "Artist";
    struct TCase { int Format; bool Normalize; } cases[] = {
        {TCDRipJob::FormatWav, false}, {TCDRipJob::FormatMp3, false}, {TCDRipJob::FormatOgg, false},
        {TCDRipJob::FormatWma, false}, {TCDRipJob::FormatFlac, true}, {TCDRipJob::FormatFlac, false},
        {TCDRipJob::FormatOpus, false}, {TCDRipJob::FormatAac, false}, {TCDRipJob::FormatAlac, false}};
    for (const TCase& c : cases) {
        OptionsSetting.CommonOptions.OutputFormat = c.Format;
        OptionsSetting.CommonOptions.IsNormalize = c.Normalize;
        OptionsSetting.CommonOptions.NormalizePercent = 50;
        QMap<QString, QByteArray> reference;
        for (const int jobs : {1, 2, 4, 0}) {
            SCOPED_TRACE(c.Format * 10 + jobs);
            QDir(Out).removeRecursively();
            QDir().mkpath(Out);
            Prompter.Log.clear();
            OptionsSetting.CommonOptions.Jobs = jobs;
            auto job = Run(entries);
            EXPECT_TRUE(Prompter.Log.isEmpty()) << Prompter.Log.value(0).Text.toStdString();
            EXPECT_EQ(job->Jobs(), jobs ? jobs : std::max(1, QThread::idealThreadCount()));
            EXPECT_LE(job->MaxPending(), job->Jobs() + 1);
            if (jobs == 1) {
                EXPECT_LE(job->MaxPending(), 1);
            }
            const auto files = Snapshot(Out);
            EXPECT_EQ(files.size(), entries.size());
            if (jobs == 1) reference = files;
            else EXPECT_TRUE(files == reference) << QStringList(files.keys()).join(' ').toStdString();
        }
    }
}

// With two workers a read fault and an encoder that fails one track leave the other tracks
// done, and the messages and results come in track order.
TEST_P(RipJobTest, FailuresWithWorkersComeInTrackOrder)
{
    UseDisc({"40", "30", "20", "25"});
    qputenv("PATH", FailingLame(Dir.filePath("bin"), "Three").toUtf8() + ':' + OldPath);
    SetReadFaults("45");   // in track 2
    OptionsSetting.CommonOptions.OutputFormat = TCDRipJob::FormatMp3;
    OptionsSetting.CommonOptions.Jobs = 2;
    auto job = Run({"01One", "02Two", "03Three", "04Four"});
    EXPECT_EQ(Files(), (QStringList{"Four.mp3", "One.mp3", "Three.wav"}));
    const QList<bool> produced = {true, false, false, true};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(job->Results()[i].Produced, produced[i]) << i;
    const QStringList errors = Prompter.Texts("error");
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[0].startsWith("音轨 2 读取出错：第 45 扇区"));
    EXPECT_TRUE(errors[1].contains("Three.mp3"));
}

// Stops at random moments with two workers (normalizing, then encoding): back within a
// second, no encoder left running, no encoded file other than a whole one, every WAV with a
// truthful header.
TEST_P(RipJobTest, StopsWithWorkersLeaveNoChildAndNoPartialFile)
{
    UseDisc({"60", "50", "40", "30"});
    const QStringList entries = {"01One", "02Two", "03Three", "04Four"};
    OptionsSetting.CommonOptions.OutputFormat = TCDRipJob::FormatMp3;
    OptionsSetting.CommonOptions.Jobs = 2;
    OptionsSetting.CommonOptions.IsNormalize = true;   // the workers normalize first
    // (The album's loudness goes into the files of a job that ends: a stopped job's whole
    // files lack it, so the comparison is made without.)
    OptionsSetting.CommonOptions.ReplayGain = false;
    int total = 0;
    Run(entries, [&](TCDRipJob&) { ++total; });
    const auto whole = Snapshot(Out);
    int stops = 0;
    for (int seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        QDir(Out).removeRecursively();
        QDir().mkpath(Out);
        int views = 0;
        const int stopAt = seed * 7 % std::max(1, total * 3 / 4) + 1;   // a view change runs the stop
        qint64 stopMs = -1;
        auto job = Run(entries, [&](TCDRipJob& j) {
            if (++views != stopAt) return;
            QElapsedTimer clock;
            clock.start();
            j.StopJob();
            stopMs = clock.elapsed();
        });
        // (A run with fewer view changes than this one's stop point ends unstopped.)
        stops += stopMs >= 0;
        EXPECT_LT(stopMs, 1000);
        EXPECT_EQ(ChildProcesses(), 0);
        for (auto [name, bytes] : Snapshot(Out).asKeyValueRange()) {
            if (name.endsWith(".mp3")) {
                EXPECT_TRUE(bytes == whole.value(name)) << name.toStdString();
            } else {
                ASSERT_GE(bytes.size(), 44) << name.toStdString();
                EXPECT_EQ(int64_t(qFromLittleEndian<uint32_t>(bytes.constData() + 40)), bytes.size() - 44);
            }
        }
    }
    EXPECT_GE(stops, 10);
}

// What players read in the files: the titles as the list has them (a '/' kept), CJK text
// intact, the track's own artist from its CD-Text performer, n/N, the album artist, the
// stored cover and the loudness of the track and of the album.
TEST_P(RipJobTest, PeersReadTheTags)
{
    UseDisc({"60", "50"}, {"--cdtext", "--performer", QStringLiteral("2:歌手")});
    OptionsSetting.CDInfo.Artist = "Band";
    OptionsSetting.CDInfo.Album = QStringLiteral("アルバム");
    const QString mbid = "33333333-3333-4333-8333-333333333333";
    const QString png = Dir.filePath("c.png");
    ASSERT_EQ(QProcess::execute("convert", {"-size", "3x2", "xc:#c83c28", png}), 0);
    StoreMbCover(mbid, CoverImageOf(ReadAll(png)));
    OptionsSetting.CDInfo.MBRelease = mbid;
    OptionsSetting.MusicBrainz.Cover = true;
    const QByteArray script = R"(
import json, sys, mutagen
f = mutagen.File(sys.argv[1])
t = f.tags
def text(k):
    v = t.get(k)
    return str(v.text[0]) if hasattr(v, 'text') else (v[0] if v else '')
if sys.argv[1].endswith('.mp3'):
    out = {'title': text('TIT2'), 'artist': text('TPE1'), 'albumartist': text('TPE2'), 'album': text('TALB'),
           'track': text('TRCK'), 'gain': text('TXXX:REPLAYGAIN_TRACK_GAIN'), 'album_gain': text('TXXX:REPLAYGAIN_ALBUM_GAIN'),
           'cover': t.getall('APIC')[0].data.hex() if t.getall('APIC') else ''}
else:
    out = {'title': text('title'), 'artist': text('artist'), 'albumartist': text('albumartist'), 'album': text('album'),
           'track': text('tracknumber') + '/' + text('tracktotal'), 'gain': text('replaygain_track_gain'),
           'album_gain': text('replaygain_album_gain'), 'cover': f.pictures[0].data.hex() if f.pictures else ''}
print(json.dumps(out))
)";
    const QStringList titles{"First/Song", QStringLiteral("春の歌")};
    for (const int format : {TCDRipJob::FormatMp3, TCDRipJob::FormatFlac}) {
        SCOPED_TRACE(format);
        QDir(Out).removeRecursively();
        QDir().mkpath(Out);
        OptionsSetting.CommonOptions.OutputFormat = format;
        auto job = Run({RipEntryText(1, titles[0]), RipEntryText(2, titles[1])});
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(job->Results()[i].Produced) << job->Results()[i].Failure.toStdString();
            QProcess p;
            p.start("/usr/bin/python3", {"-c", QString::fromUtf8(script), job->Results()[i].Output});
            ASSERT_TRUE(p.waitForFinished(30000));
            const QJsonObject m = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
            EXPECT_EQ(m["title"].toString(), titles[i]);
            EXPECT_EQ(m["artist"].toString(), i == 1 ? QStringLiteral("歌手") : QString("Band"));
            EXPECT_EQ(m["albumartist"].toString(), "Band");
            EXPECT_EQ(m["album"].toString(), QStringLiteral("アルバム"));
            EXPECT_EQ(m["track"].toString(), QString("%1/2").arg(i + 1));
            EXPECT_TRUE(m["gain"].toString().endsWith(" dB")) << m["gain"].toString().toStdString();
            EXPECT_TRUE(m["album_gain"].toString().endsWith(" dB"));
            EXPECT_EQ(QByteArray::fromHex(m["cover"].toString().toLatin1()), ReadAll(png));
        }
    }
    QDir(CoverFolder()).removeRecursively();
}

namespace {

// On a slow drive the step window's times are the job's and move: elapsed since the start,
// and an estimate of the whole that is never below it.
TEST_P(RipJobTest, StepTimesAreTheJobsAndMove)
{
    UseDisc({"300", "300"});
    SetReadFaults("slow:60");
    OptionsSetting.CommonOptions.OutputFormat = TCDRipJob::FormatWav;
    QStringList elapsed;
    bool estimateBelow = false;
    Run({"01One", "02Two"}, [&](TCDRipJob& job) {
        const TStepView& v = job.StepView();
        if (v.Label1.isEmpty()) return;
        if (elapsed.value(elapsed.size() - 1) != v.Label1) elapsed << v.Label1;
        estimateBelow = estimateBelow || v.Label2 < v.Label1;
    });
    // From 00:00 on, never back to it with the next track.
    EXPECT_GE(elapsed.size(), 2) << elapsed.join(' ').toStdString();
    EXPECT_EQ(elapsed.value(0), "00:00");
    EXPECT_TRUE(std::is_sorted(elapsed.begin(), elapsed.end())) << elapsed.join(' ').toStdString();
    EXPECT_FALSE(estimateBelow);
}

} // namespace
