// The conversion job end to end: disc images ripped and encoded with the real lame, our
// wm8eutil and libvorbis; files converted in every mode; failures, stops and the WMA
// estimate. Outputs are judged by ffmpeg and by our own tag reader.
#include "CoverTestUtil.h"
#include "JobTestUtil.h"
#include "OggRipTestUtil.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/WMAEncodeProcess.h"
#include "metadata/TagReader.h"
#include "metadata/TagWriters.h"
#include "metadata/id3.h"
#include "settings/Lang.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <csignal>

namespace {

void FillDiscInfo()
{
    TCDInfo& d = OptionsSetting.CDInfo;
    d.Artist = "Artist";
    d.Album = "Album";
    d.Year = "2001";
    d.Genre = 17;   // "Rock" in the pick list
    d.Comment = "Comment";
}

bool ProcessGone(qint64 pid)
{
    return pid <= 0 || (::kill(pid_t(pid), 0) == -1 && errno == ESRCH);
}

} // namespace

// Every format of the table is reachable by its word, in any case, has its own extension
// and file mode, and sits at its setting value.
TEST(OutputFormatTable, RowsAreFindableAndDistinct)
{
    QSet<QString> extensions;
    QSet<int> modes;
    for (int i = 0; i < int(OutputFormats.size()); ++i) {
        const TOutputFormatRow& row = OutputFormats[i];
        SCOPED_TRACE(row.Word);
        EXPECT_EQ(row.Format, i);
        EXPECT_EQ(OutputFormatOfWord(QString::fromLatin1(row.Word)), i);
        EXPECT_EQ(OutputFormatOfWord(QString::fromLatin1(row.Word).toUpper()), i);
        EXPECT_EQ(FormatExtension(i), QLatin1String(row.Extension));
        EXPECT_TRUE(FormatExtension(i).startsWith('.'));
        extensions.insert(FormatExtension(i));
        modes.insert(TConversionJob::FileModeMaking(i));
    }
    // AAC and Apple Lossless share the MP4 audio extension; every other format has its own.
    EXPECT_EQ(extensions.size(), int(OutputFormats.size()) - 1);
    EXPECT_EQ(FormatExtension(FormatAac), FormatExtension(FormatAlac));
    EXPECT_EQ(modes.size(), int(OutputFormats.size()));
    EXPECT_FALSE(modes.contains(0));
    EXPECT_EQ(OutputFormatOfWord("aiff"), -1);
    EXPECT_EQ(TConversionJob::FileModeMaking(int(OutputFormats.size())), 0);
    EXPECT_EQ(OutputFormatWordList(), "mp3, wav, ogg, wma, flac, opus, aac or alac");
}

TEST_F(JobTest, WavToMp3ResamplesWhatTheEncoderCannotTakeDirectly)
{
    struct TCase {
        int Rate, Bits;
        const char* FirstPrefix;
        int TempBits;            // bits of the temporary file, 0: none written
    } cases[] = {{22050, 16, "重采样(", 16}, {48000, 16, "编码中(", 0}, {44100, 24, "重采样(", 16}};
    // A later 44100 Hz 24-bit file is encoded directly.
    const QString later = Wav("later.wav", 44100, 24);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Rate);
        const QString first = Wav(QString("first%1_%2.wav").arg(c.Rate).arg(c.Bits), c.Rate, c.Bits);
        // The resampled work file: a part file named by the output, never a user's name.
        const QString temp = Out + "/" + QFileInfo(first).completeBaseName() + ".mp3.wav.part";
        int tempBits = 0, tempRate = 0;
        Trace = {};
        auto job = Run(TConversionJob::WavToMp3, {first, later}, [&](TConversionJob& j) {
            if (j.View().Caption.startsWith("编码中(01") && QFileInfo::exists(temp) && tempBits == 0) {
                const QByteArray h = ReadAll(temp);
                tempRate = uchar(h[24]) | uchar(h[25]) << 8 | uchar(h[26]) << 16;
                tempBits = uchar(h[34]);
            }
        });
        const QString n = "/" + QFileInfo(first).completeBaseName();
        EXPECT_TRUE(Trace.Captions.value(0).startsWith(QString(c.FirstPrefix) + "01/02): " + first));
        if (c.TempBits) {
            EXPECT_TRUE(Trace.Captions.value(1).startsWith("编码中(01/02): "));
            EXPECT_EQ(tempBits, c.TempBits);
            EXPECT_EQ(tempRate, 44100);
        }
        EXPECT_EQ(Trace.Captions.last(), "编码中(02/02): " + later);
        EXPECT_NEAR(DecodedFrames(Out + n + ".mp3"), 44100, 2 * 1152) << "named after the given file";
        EXPECT_NEAR(DecodedFrames(Out + "/later.mp3"), 44100, 1152);
        EXPECT_FALSE(QFileInfo::exists(temp));
        EXPECT_TRUE(job->Results()[0].Produced && job->Results()[1].Produced);
        QFile::remove(Out + "/later.mp3");
    }
}

TEST_F(JobTest, TheOtherModes)
{
    const QString a22 = Wav("a22.wav", 22050, 16, 1);
    const QString b24 = Wav("b24.wav", 44100, 24);
    const QString c16 = Wav("c16.wav", 44100, 16);
    const QString mp3 = Dir.filePath("m.mp3");
    ASSERT_EQ(QProcess::execute("lame", {"--quiet", c16, mp3}), 0);
    const QString beside = Dir.filePath("c16.mp3");
    ASSERT_TRUE(WriteAll(beside, "old"));   // mode 4 overwrites without a question
    struct TCase {
        int Mode;
        QStringList Entries;
        QStringList Outputs;
        QStringList Captions;
        int Tolerance;
    } cases[] = {
        {TConversionJob::WavToOgg, {a22, b24}, {Out + "/a22.ogg", Out + "/b24.ogg"},
         {"重采样(01/02): " + a22, "编码中(01/02): " + a22, "编码中(02/02): " + b24}, 2048},
        {TConversionJob::WavToWma, {c16, b24}, {Out + "/c16.wma", Out + "/b24.wma"},
         {"编码中(01/02): " + c16, "编码中(02/02): " + b24}, 2048},
        {TConversionJob::Mp3ToWav, {mp3}, {Out + "/m.wav"}, {"解码中(01/01): " + mp3}, 2 * 1152},
        {TConversionJob::RecordToMp3, {c16}, {beside}, {"编码中(01/01): " + c16}, 1152},
        {TConversionJob::ToFlac, {c16, b24}, {Out + "/c16.flac", Out + "/b24.flac"},
         {"编码中(01/02): " + c16, "编码中(02/02): " + b24}, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Mode);
        Trace = {};
        Prompter.Log.clear();
        auto job = Run(c.Mode, c.Entries);
        EXPECT_TRUE(Prompter.Log.isEmpty()) << Prompter.Log.value(0).Text.toStdString();
        EXPECT_EQ(Trace.Captions, c.Captions);
        for (int i = 0; i < c.Outputs.size(); ++i) {
            EXPECT_TRUE(job->Results()[i].Produced) << job->Results()[i].Failure.toStdString();
            EXPECT_NEAR(DecodedFrames(c.Outputs[i]), 44100, c.Tolerance) << c.Outputs[i].toStdString();
        }
        EXPECT_EQ(QDir(Out).entryList({"*.part"}, QDir::Files), QStringList()) << "no work file is left";
    }
}

TEST_F(JobTest, StopEndsEveryWorkerAndLeavesNoHalfFile)
{
    OptionsSetting.ID3Use = true;
    FillDiscInfo();
    const QString longWav = Wav("long.wav", 44100, 16, 2, "60");
    const QString lowWav = Wav("low.wav", 22050, 16, 2, "20");
    struct TCase {
        const char* What;
        int Mode;
        QStringList Entries;
        std::function<bool(TConversionJob&)> StopWhen;
        QStringList Kept;       // files that stay
        QStringList Gone;       // files that must not exist
    } cases[] = {
        {"an OGG encoding", TConversionJob::WavToOgg, {longWav},
         [](TConversionJob& j) { return j.View().Caption.startsWith("编码中(01") && j.View().Gauge > 0; },
         {}, {"long.ogg"}},
        {"a resampling", TConversionJob::WavToOgg, {lowWav},
         [](TConversionJob& j) { return j.View().Caption.startsWith("重采样(01") && j.View().Gauge > 0; },
         {}, {"low.ogg", "low.ogg.wav.part", "low.ogg.part"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const QString folder = Dir.filePath(c.What);
        ASSERT_TRUE(QDir().mkpath(folder));
        OptionsSetting.CommonOptions.OutputFolder = folder + '/';
        qint64 pid = 0;
        bool asked = false;
        auto job = Run(c.Mode, c.Entries, [&](TConversionJob& j) {
            if (asked || !c.StopWhen(j)) return;
            asked = true;
            // As a click would: after the handler that showed the change.
            QTimer::singleShot(0, &j, [&j, &pid] {
                pid = j.Step().Mp3().ChildProcessId();
                j.StopJob();
            });
        });
        EXPECT_TRUE(asked);
        EXPECT_TRUE(job->WasStopped());
        EXPECT_FALSE(job->Step().Mp3().Running());
        EXPECT_FALSE(job->Step().StreamBusy());
        if (QString(c.What).contains("MP3")) {
            EXPECT_GT(pid, 0) << "lame was running when stopped";
        }
        EXPECT_TRUE(ProcessGone(pid)) << "lame is left running";
        for (const QString& f : c.Kept) EXPECT_TRUE(QFileInfo::exists(folder + '/' + f)) << f.toStdString();
        for (const QString& f : c.Gone) EXPECT_FALSE(QFileInfo::exists(folder + '/' + f)) << f.toStdString();
        if (c.Kept.contains("One.mp3")) {
            Tid3tag tag;
            EXPECT_EQ(tag.ReadTag(folder + "/One.mp3"), Tid3tag::StatusOk);
            EXPECT_EQ(tag.Title(), "One");
        }
    }
}

TEST_F(JobTest, AnEncoderThatCannotStartIsToldAndTheJobGoesOn)
{
    const QString w1 = Wav("w1.wav", 44100, 16);
    const QString w2 = Wav("w2.wav", 44100, 16);
    const QString empty = Dir.filePath("nothing");
    ASSERT_TRUE(QDir().mkpath(empty));
    qputenv("PATH", empty.toUtf8());   // neither lame nor wm8eutil can be found
    for (int mode : {int(TConversionJob::WavToMp3), int(TConversionJob::WavToWma)}) {
        SCOPED_TRACE(mode);
        Prompter.Log.clear();
        auto job = Run(mode, {w1, w2});
        EXPECT_TRUE(job->Done());
        QStringList shown = Prompter.Texts("error") + Prompter.Texts("information");
        EXPECT_EQ(shown.size(), 2) << shown.join(" | ").toStdString();
        EXPECT_FALSE(job->Results()[0].Produced || job->Results()[1].Produced);
    }
}

TEST_F(JobTest, AProgressRecordWithPercentZeroEmptiesTheTimesAndKeepsTheGauge)
{
    TConversionJob job(TConversionJob::WavToWma, {"x.wav"}, &Prompter);
    auto send = [&job](int percent, const QString& elapsed, const QString& total) {
        auto info = std::make_unique<TProcessInfo>();
        info->Percent = percent;
        info->ElapsedText = elapsed;
        info->TotalText = total;
        TProcessInfoEvent e(std::move(info));
        QCoreApplication::sendEvent(&job, &e);
    };
    send(40, "00:02", "00:05");
    EXPECT_EQ(job.View().Gauge, 40);
    EXPECT_FALSE(job.View().Label3Visible);
    send(0, "", "");
    EXPECT_EQ(job.View().Label1, "");
    EXPECT_EQ(job.View().Label2, "");
    EXPECT_EQ(job.View().Gauge, 40);
    EXPECT_TRUE(job.ProgressSeen);
}

TEST(JobEntryTest, EntriesNamesAndTheWmaEstimate)
{
    EXPECT_EQ(RipEntryText(7, "a/b:c?d\"e<f>g|h*i\\j"), "07a/b:c?d\"e<f>g|h*i\\j");   // names are cleaned later
    EXPECT_EQ(RipEntryText(12, "Twelve"), "12Twelve");
    EXPECT_EQ(ParseRipEntry("12Twelve").TrackNumber, 12);
    EXPECT_EQ(ParseRipEntry("07 Seven").Title, " Seven");
    EXPECT_EQ(OutputPathFor("/o/", "/in/a.b.wav", ".mp3"), "/o/a.b.mp3");
    EXPECT_EQ(ChangeFileExt("/x.y/z", ".mp3"), "/x.y/z.mp3");
    EXPECT_EQ(ChangeFileExt("/x/.hidden", ".mp3"), "/x/.hidden.mp3");
    EXPECT_EQ(MinutesSeconds(125), "02:05");

    struct TCase {
        int64_t Elapsed, Input, Output;
        int64_t Expected;
    } cases[] = {
        {0, 1000, 0, 2}, {1, 1999999, 0, 2}, {2, 1000, 0, 3}, {5, 1000, 0, 6},           // small input
        {3, 21790000, 250000, 12},                                                       // 1,000,000 expected
        {3, 21790000, 0, -1},                                                            // nothing written yet
        {10, 21790000, 2000000, 11},                                                     // larger than expected
    };
    for (const TCase& c : cases)
        EXPECT_EQ(WmaEstimatedTotal(c.Elapsed, c.Input, c.Output, 21790), c.Expected) << c.Elapsed << " " << c.Output;
}

// Named by a pattern: folders made below the output folder, the WAVs of the rip cleaned
// up, the tag in the named file; a conversion whose folder cannot be made fails alone.
TEST_F(JobTest, FileNamePatternFoldersTheOutputs)
{
    OptionsSetting.ID3Use = true;
    FillDiscInfo();
    OptionsSetting.CDInfo.Artist = "AC/DC";
    OptionsSetting.CommonOptions.FileNamePattern = "%A/%D/%N %T";
    std::unique_ptr<TConversionJob> job;
    const QString a = Wav("a.wav", 44100, 16), b = Wav("b.wav", 44100, 16);
    ASSERT_TRUE(WriteAll(Out + "/b", "in the way"));
    OptionsSetting.CommonOptions.FileNamePattern = "%T/%N";
    Prompter.Log.clear();
    job = Run(TConversionJob::WavToOgg, {a, b});
    EXPECT_TRUE(job->Results()[0].Produced);
    EXPECT_NEAR(DecodedFrames(Out + "/a/01.ogg"), 44100, 2048);
    EXPECT_FALSE(job->Results()[1].Produced);
    ASSERT_EQ(Prompter.Texts("error").size(), 1);
    EXPECT_TRUE(Prompter.Texts("error")[0].contains(Out + "/b")) << Prompter.Texts("error")[0].toStdString();
}

// Files converted by several workers give the files of one, in every mode the workers take;
// a file that must be resampled first sends the whole job the one-at-a-time way.
TEST_F(JobTest, WorkersConvertFilesToTheSameOutputs)
{
    const QStringList wavs{Wav("a.wav", 44100, 16), Wav("b.wav", 48000, 16, 1), Wav("c.wav", 44100, 24), Wav("d.wav", 44100, 8)};
    QStringList mp3s;
    for (const char* name : {"m1", "m2", "m3"}) {
        mp3s << Dir.filePath(QString(name) + ".mp3");
        ASSERT_EQ(QProcess::execute("lame", {"--quiet", wavs[0], mp3s.last()}), 0);
    }
    const QStringList withLow = wavs + QStringList{Wav("low.wav", 22050, 16)};
    struct TCase {
        int Mode;
        QStringList Entries;
        bool Workers;   // the workers take the files
    } cases[] = {
        {TConversionJob::WavToMp3, wavs, true},     {TConversionJob::WavToOgg, wavs, true},
        {TConversionJob::WavToWma, wavs, true},     {TConversionJob::Mp3ToWav, mp3s, true},
        {TConversionJob::WavToOgg, withLow, false},
    };
    for (const TCase& c : cases) {
        QMap<QString, QByteArray> reference;
        for (const int jobs : {1, 2, 4}) {
            SCOPED_TRACE(c.Mode * 10 + jobs);
            OptionsSetting.CommonOptions.Jobs = jobs;
            QDir(Out).removeRecursively();
            QDir().mkpath(Out);
            Prompter.Log.clear();
            auto job = Run(c.Mode, c.Entries);
            EXPECT_TRUE(Prompter.Log.isEmpty()) << Prompter.Log.value(0).Text.toStdString();
            for (int i = 0; i < c.Entries.size(); ++i) EXPECT_TRUE(job->Results()[i].Produced) << i;
            EXPECT_EQ(job->ProgressRows().isEmpty(), jobs == 1 || !c.Workers);
            const auto files = Snapshot(Out);
            EXPECT_EQ(files.size(), c.Entries.size());
            if (jobs == 1) reference = files;
            else EXPECT_TRUE(files == reference);
        }
    }
}

// Every conversion keeps its source's tags and cover: title, artist, album, track, year and
// the cover bytes, whatever the pair of formats and the number of workers.
TEST_F(JobTest, ConversionsCarryTheSourcesTags)
{
    TTagRecord tags;
    tags.Title = QStringLiteral("春の歌");
    tags.Artist = QStringLiteral("歌手");
    tags.Album = "Album";
    tags.Date = "1999";
    tags.Track = 3;
    tags.TrackTotal = 9;
    const QString png = Dir.filePath("cover.png");
    ASSERT_EQ(QProcess::execute("convert", {"-size", "3x2", "xc:#c83c28", png}), 0);
    tags.Cover = ReadAll(png);
    tags.CoverMime = "image/png";
    const QString wav = Wav("src.wav", 44100, 16);
    // Tagged sources of each input format (the WAV's LIST INFO carries no cover).
    QMap<QString, QString> sources;
    sources["wav"] = wav;
    for (const auto& [ext, args] : std::initializer_list<std::pair<QString, QStringList>>{
             {"mp3", {"lame", "--quiet", wav}}, {"flac", {"flac", "-s", "-o"}}, {"ogg", {"oggenc", "-Q", "-o"}}}) {
        const QString out = Dir.filePath("src." + ext);
        QStringList a = args.mid(1);
        if (ext == "mp3") a << out;
        else a << out << wav;
        ASSERT_EQ(QProcess::execute(args[0], a), 0) << ext.toStdString();
        sources[ext] = out;
    }
    const TTagWriteOptions options;
    for (const QString& ext : sources.keys()) {
        QString error;
        ASSERT_TRUE(WriteFileTags(sources[ext], TagFormatOf(sources[ext]), tags, options, &error)) << error.toStdString();
    }
    struct TCase {
        int Mode;
        QString From, To;
    } cases[] = {
        {TConversionJob::WavToMp3, "wav", "mp3"}, {TConversionJob::WavToMp3, "flac", "mp3"},
        {TConversionJob::WavToOgg, "flac", "ogg"}, {TConversionJob::WavToWma, "flac", "wma"},
        {TConversionJob::ToFlac, "mp3", "flac"},   {TConversionJob::ToFlac, "ogg", "flac"},
        {TConversionJob::ToFlac, "flac", "flac"},  {TConversionJob::Mp3ToWav, "mp3", "wav"},
    };
    for (const TCase& c : cases) {
        for (const int jobs : {1, 2}) {
            SCOPED_TRACE((c.From + " to " + c.To + QString(" jobs %1").arg(jobs)).toStdString());
            OptionsSetting.CommonOptions.Jobs = jobs;
            QDir(Out).removeRecursively();
            QDir().mkpath(Out);
            // Two entries, so that the workers take them.
            const QString second = Dir.filePath("copy." + c.From);
            QFile::remove(second);
            ASSERT_TRUE(QFile::copy(sources[c.From], second));
            auto job = Run(c.Mode, {sources[c.From], second});
            ASSERT_TRUE(job->Results()[0].Produced) << job->Results()[0].Failure.toStdString();
            TTagRecord got;
            ASSERT_TRUE(ReadFileTags(job->Results()[0].Output, got));
            EXPECT_EQ(std::tie(got.Title, got.Artist, got.Album, got.Date, got.Track),
                      std::tie(tags.Title, tags.Artist, tags.Album, tags.Date, tags.Track));
            const bool coverGoes = c.From != "wav" && c.To != "wav";
            EXPECT_EQ(got.Cover, coverGoes ? tags.Cover : QByteArray());
        }
    }
}
