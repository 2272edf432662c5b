// The recorder's state machine on SDL's disk driver (the input is a file of known bytes)
// with canned answers: buttons per state, the stop's whole second, the save check, Save
// As, Undo, the MP3 export with the real lame, and the failures.
#include "fixtures/AuTestComponents.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestUtil.h"
#include "players/RecordController.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>

namespace {

using A = TPrompter::Answer;
using R = TRecordController;

class Recorder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        input = dir.filePath("mic.raw");
        ASSERT_TRUE(WriteAll(input, PatternBytes(3, 44100 * 4 * 2)));
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILEIN", input.toLocal8Bit());
        qputenv("SDL_DISKAUDIOFILE", dir.filePath("card.raw").toLocal8Bit());
        OptionsSetting = TOptionsSetting();
        OptionsSetting.CommonOptions.OutputFolder = dir.path() + '/';
        Fresh();
    }
    // A recorder as a new window would have it.
    void Fresh()
    {
        rec.reset();
        rec = std::make_unique<R>(&prompter);
        rec->StoreSettings = false;
        rec->Now = [this] { return clock; };
        rec->Wait = [this](int ms) { waits.push_back(ms); clock += ms; };
        rec->AskNewFormat = [](R::TNewFormat& f) { f = {8000, 8, 1}; return true; };
    }
    void TearDown() override
    {
        rec.reset();
        QFile::remove(SettingsFolder() + R::WorkFileName);
        QFile::remove(SettingsFolder() + R::NoNameFileName);
        qputenv("SDL_AUDIODRIVER", "dummy");
    }

    // Records until the device holds Ms more, then stops (which saves into the document).
    void RecordSome(int ms = 100)
    {
        rec->Click(R::btRecord);
        ASSERT_TRUE(rec->ButtonEnabled(R::btStop)) << prompter.Log.value(0).Text.toStdString();
        const int64_t until = rec->Device().Position() + ms;
        EXPECT_TRUE(PumpUntil([&] { return rec->Device().Position() >= until; }, 10000));
        rec->Click(R::btStop);
    }
    // A named document: an 8-bit mono file of Bytes bytes, opened.
    QString OpenNamed(const QString& name, int bytes = 1600)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(WriteAll(path, TWaveAudioDevice::PcmHeader(1, 8, 8000, uint32_t(bytes)) + QByteArray(bytes, 'b')));
        prompter.FileAnswers.push_back({path});
        rec->Open();
        EXPECT_EQ(rec->CurrentFile, path);
        return path;
    }
    unsigned Buttons(std::initializer_list<R::TButton> list)
    {
        unsigned m = 0;
        for (R::TButton b : list)
            m |= 1u << b;
        return m;
    }

    QTemporaryDir dir;
    QString input;
    TCannedPrompter prompter;
    std::unique_ptr<R> rec;
    qint64 clock = 1000000;
    std::vector<int> waits;
};

} // namespace

TEST(RecorderTexts, TimeAndRecordingTimeTexts)
{
    const std::pair<int64_t, const char*> times[] = {
        {0, "0 秒"}, {5000, "5 秒"}, {12345, "12.3 秒"}, {500, "0.5 秒"}, {90500, "1 分30 秒"},
        {120000, "2 分"}, {3600000, "1小时"}, {3723000, "1小时2 分3 秒"}, {3605000, "1小时5 秒"}};
    for (const auto& [ms, text] : times)
        EXPECT_EQ(R::TimeText(ms), QString::fromUtf8(text)) << ms;
    EXPECT_EQ(R::RecordTimeText(0), "00:00:00.0");
    EXPECT_EQ(R::RecordTimeText(3723456), "01:02:03.4");
}

TEST_F(Recorder, ButtonsFollowTheState)
{
    EXPECT_EQ(rec->View().Enabled, 0u);
    ASSERT_TRUE(rec->New());
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btRecord}));
    EXPECT_EQ(rec->View().Caption, QStringLiteral("录音(未命名)"));
    EXPECT_EQ(rec->View().Length, QStringLiteral("0.00 秒"));
    EXPECT_TRUE(rec->CanSave());

    rec->Click(R::btRecord);
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btStop}));
    EXPECT_EQ(rec->View().State, QStringLiteral("正在进行录音..."));
    EXPECT_FALSE(rec->CanSave());
    EXPECT_TRUE(rec->Modified);
    EXPECT_TRUE(PumpUntil([&] { return rec->Device().Position() >= 300; }, 10000));
    rec->Click(R::btStop);
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btPlay, R::btNext, R::btPrev, R::btRecord}));
    EXPECT_EQ(rec->View().State, QStringLiteral("录音完成!"));
    EXPECT_EQ(rec->View().TrackBar, R::TrackBarMax);

    rec->Click(R::btPlay);              // the bar at the end starts again from 0
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btPause, R::btStop, R::btNext, R::btPrev}));
    EXPECT_EQ(rec->View().State, QStringLiteral("正在播放..."));
    EXPECT_EQ(rec->Device().Mode(), TWaveAudioDevice::mpPlaying);
    EXPECT_TRUE(PumpUntil([&] { return !rec->Timer1->isActive(); }, 10000));   // played to the end
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btPlay, R::btPrev, R::btRecord}));
    EXPECT_EQ(rec->View().TrackBar, R::TrackBarMax);
    rec->Click(R::btPrev);
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btPlay, R::btNext, R::btRecord}));
    EXPECT_EQ(rec->View().TrackBar, 0);
    rec->Click(R::btNext);
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btPlay, R::btPrev, R::btRecord}));
    rec->Click(R::btStep);              // never enabled: nothing happens
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btPlay, R::btPrev, R::btRecord}));
}

TEST_F(Recorder, StopEndsTheRecordingOnAWholeSecond)
{
    const std::pair<int, int> cases[] = {{3400, 600}, {3050, 0}, {999, 1}};
    for (const auto& [after, wait] : cases) {
        ASSERT_TRUE(rec->New());
        waits.clear();
        rec->Click(R::btRecord);
        clock += after;
        rec->Click(R::btStop);
        EXPECT_EQ(waits, wait ? std::vector<int>{wait} : std::vector<int>{}) << after;
        EXPECT_EQ(rec->View().RecordTime, R::RecordTimeText(after + wait));
        EXPECT_FALSE(rec->TimerRecord->isActive());
        rec->Modified = false;
    }
}

// Every branch of the save check for a new recording and for a named file.
TEST_F(Recorder, SaveCheckBranches)
{
    struct Case {
        const char* what;
        bool named;
        const char* command;                 // "close", "save", "new"
        QList<A> answers;
        QString target;                      // save dialog answer ("" cancels)
        bool targetExists, targetInUse;
        bool result, saved;
        const char* shown;                   // a box expected, or ""
    };
    const Case cases[] = {
        {"close, cancel keeps the window", true, "close", {A::Cancel}, {}, false, false, false, false, ""},
        {"close, no drops the changes", true, "close", {A::No}, {}, false, false, true, false, ""},
        {"close, yes saves the named file", true, "close", {A::Yes}, {}, false, false, true, true, ""},
        {"save of a named file asks nothing", true, "save", {}, {}, false, false, true, true, ""},
        {"new, yes but the dialog cancelled", false, "close", {A::Yes}, "", false, false, false, false, ""},
        {"save as .mp3 refused", false, "save", {}, "x.mp3", false, false, false, false, "保存的文件应该是WAV格式!"},
        {"save as .WAV accepted", false, "save", {}, "x.WAV", false, false, true, true, ""},
        {"no extension: .wav added", false, "save", {}, "plain", false, false, true, true, ""},
        {"existing target, no", false, "save", {A::No}, "t.wav", true, false, false, false, ""},
        {"existing target, yes", false, "save", {A::Yes}, "t.wav", true, false, true, true, ""},
        {"target in use", false, "save", {A::Yes}, "t.wav", true, true, false, false,
         "删除文件失败，请检查文件是否正在被使用！"},
        {"new on a modified named file, yes", true, "new", {A::Yes}, {}, false, false, true, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompter.Log.clear();
        const QString named = c.named ? OpenNamed("named.wav") : QString();
        if (!c.named) {
            ASSERT_TRUE(rec->New());
        }
        RecordSome();
        const QByteArray sound = ReadAll(c.named ? rec->WorkFile : rec->CurrentFile);
        QString target = c.target.isEmpty() ? QString() : dir.filePath(c.target);
        QByteArray old("old");
        if (c.targetExists) {
            ASSERT_TRUE(WriteAll(target, old));
        }
        QFile holder(target);
        if (c.targetInUse) {
            ASSERT_TRUE(holder.open(QIODevice::Append));
        }
        for (A a : c.answers)
            prompter.Answers.push_back(a);
        if (!c.named)
            prompter.FileAnswers.push_back({target});
        const bool result = QString(c.command) == "close" ? rec->Close()
                            : QString(c.command) == "save" ? rec->Save()
                                                           : rec->New();
        EXPECT_EQ(result, c.result);
        if (!c.named && !c.target.isEmpty() && QFileInfo(target).suffix().isEmpty())
            target += ".wav";
        const QString file = c.named ? named : target;
        if (c.saved) {
            EXPECT_EQ(ReadAll(file), sound);
        } else if (c.targetExists) {
            EXPECT_EQ(ReadAll(target), old);
        } else if (c.named) {
            EXPECT_NE(ReadAll(named), sound);
        }
        if (*c.shown) {
            EXPECT_TRUE(prompter.Texts("error").contains(QString::fromUtf8(c.shown))
                        || prompter.Texts("warning").contains(QString::fromUtf8(c.shown)));
        }
        if (!c.result && QString(c.command) == "close") {
            EXPECT_TRUE(QFile::exists(c.named ? rec->WorkFile : rec->CurrentFile)) << "the recording is kept";
        }
        holder.close();
        rec->Modified = false;
        rec->Close();
        QFile::remove(target);
        Fresh();
    }
}

TEST_F(Recorder, SavedRecordingLeavesNoWorkFilesAndOpensAsTheDocument)
{
    ASSERT_TRUE(rec->New());
    RecordSome(200);
    const QString target = dir.filePath("take.wav");
    prompter.FileAnswers.push_back({target});
    ASSERT_TRUE(rec->Save());
    EXPECT_EQ(rec->CurrentFile, target);
    EXPECT_FALSE(rec->Modified);
    EXPECT_EQ(rec->View().Caption, QStringLiteral("录音(") + target + ')');
    EXPECT_FALSE(QFile::exists(SettingsFolder() + R::NoNameFileName));
    EXPECT_TRUE(rec->Close());
    const QStringList left = QDir(SettingsFolder()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_FALSE(left.contains(R::WorkFileName));
    EXPECT_TRUE(left.filter(".rec").isEmpty()) << left.join(' ').toStdString();
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(".rec").isEmpty());
}

// A target on another file system is replaced by a copy renamed over it.
TEST_F(Recorder, SavesAcrossFileSystems)
{
    QTemporaryDir other(QStringLiteral("/dev/shm/varnelcd-rec-XXXXXX"));
    if (!other.isValid())
        GTEST_SKIP() << "no /dev/shm";
    ASSERT_TRUE(rec->New());
    RecordSome();
    const QByteArray sound = ReadAll(rec->CurrentFile);
    const QString target = other.filePath("far.wav");
    ASSERT_TRUE(WriteAll(target, "old"));
    prompter.FileAnswers.push_back({target});
    prompter.Answers.push_back(A::Yes);
    ASSERT_TRUE(rec->Save());
    EXPECT_EQ(ReadAll(target), sound);
    EXPECT_FALSE(QFile::exists(SettingsFolder() + R::NoNameFileName));
}

TEST_F(Recorder, RecordingAtTheTrackBarAndUndo)
{
    const QString named = OpenNamed("named.wav", 3200);        // 400 ms
    const QByteArray original = ReadAll(named);
    rec->SetTrackBar(200);
    EXPECT_EQ(rec->View().Position, QStringLiteral("0.2 秒"));
    RecordSome(300);                                            // from 200 ms on, past the end
    const QByteArray work = ReadAll(rec->WorkFile);
    EXPECT_EQ(work.mid(44, 1600), original.mid(44, 1600));
    EXPECT_GE(work.size(), 44 + 1600 + 2400);
    EXPECT_EQ(ReadAll(named), original) << "unsaved";
    EXPECT_TRUE(rec->CanUndo());

    prompter.Answers = {A::No, A::Yes};
    rec->Undo();
    EXPECT_EQ(ReadAll(rec->WorkFile), work);
    rec->Undo();
    EXPECT_EQ(ReadAll(rec->WorkFile), original);
    EXPECT_EQ(rec->View().Length, QStringLiteral("0.4 秒"));
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btPlay, R::btNext, R::btRecord}));
}

TEST_F(Recorder, RecordingFromTheEndKeepsEveryFrame)
{
    // 1605 frames at 8 kHz: 200.625 ms, shown as 200 ms; the new sound follows frame 1605.
    const QString named = OpenNamed("odd.wav", 1605);
    const QByteArray original = ReadAll(named);
    rec->SetTrackBar(R::TrackBarMax);
    RecordSome(100);
    const QByteArray work = ReadAll(rec->WorkFile);
    EXPECT_EQ(work.mid(44, 1605), original.mid(44, 1605));
    EXPECT_GE(work.size(), 44 + 1605 + 800);
}

TEST_F(Recorder, SaveAsKeepsTheSoundAsHeardNow)
{
    const QString named = OpenNamed("named.wav");
    const QByteArray original = ReadAll(named);
    RecordSome();
    const QByteArray work = ReadAll(rec->WorkFile);
    const QString copy = dir.filePath("copy.wav");
    prompter.FileAnswers.push_back({copy});
    ASSERT_TRUE(rec->SaveAs());
    EXPECT_EQ(ReadAll(copy), work);
    EXPECT_EQ(ReadAll(named), original);
    EXPECT_EQ(rec->CurrentFile, copy);
    EXPECT_FALSE(rec->Modified);
}

TEST_F(Recorder, OpenRefusesMissingAndNonPcmFiles)
{
    const QString named = OpenNamed("named.wav");
    QByteArray header = TWaveAudioDevice::PcmHeader(2, 32, 8000, 64);
    header[20] = 3;                                             // IEEE float
    const QString floats = dir.filePath("float.wav");
    ASSERT_TRUE(WriteAll(floats, header + QByteArray(64, 0)));
    prompter.FileAnswers = {{dir.filePath("missing.wav")}, {floats}};
    rec->Open();
    EXPECT_TRUE(prompter.Texts("warning").value(0).endsWith("missing.wav"));
    EXPECT_EQ(prompter.Texts("error"), QStringList{QStringLiteral("媒体设备初始化失败！")});
    EXPECT_EQ(rec->CurrentFile, named);
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btPlay, R::btNext, R::btRecord}));
}

TEST_F(Recorder, CaptureFailuresKeepTheDocument)
{
    ASSERT_TRUE(rec->New());
    // No input: the open fails, nothing changes.
    qputenv("SDL_DISKAUDIOFILEIN", dir.filePath("none.raw").toLocal8Bit());
    rec->Click(R::btRecord);
    EXPECT_EQ(prompter.Texts("error"), QStringList{QStringLiteral("媒体设备初始化失败！")});
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btRecord}));
    EXPECT_FALSE(rec->Modified);
    EXPECT_FALSE(rec->TimerRecord->isActive());

    // A side file that cannot grow (a full disk) ends the recording by itself; what was
    // written is saved into the document.
    qputenv("SDL_DISKAUDIOFILEIN", input.toLocal8Bit());
    prompter.Log.clear();
    constexpr rlim_t Limit = 1000;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const auto restore = [&] {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    };
    QObject::connect(&rec->Device(), &TWaveAudioDevice::RecordingFailed, restore);
    rlimit small = old;
    small.rlim_cur = Limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    rec->Click(R::btRecord);
    const bool ended = PumpUntil([&] { return !rec->TimerRecord->isActive(); }, 10000);
    restore();
    ASSERT_TRUE(ended);
    EXPECT_EQ(prompter.Texts("error"), QStringList{QStringLiteral("保存声音文件出错!")});
    EXPECT_EQ(rec->View().Enabled, Buttons({R::btPlay, R::btNext, R::btPrev, R::btRecord}));
    EXPECT_EQ(rec->Device().Mode(), TWaveAudioDevice::mpStopped);
    EXPECT_EQ(ReadAll(rec->CurrentFile).mid(44), ReadAll(input).left(int(Limit)));
}

TEST_F(Recorder, Mp3ExportWithLame)
{
    if (QStandardPaths::findExecutable("lame").isEmpty() || QStandardPaths::findExecutable("ffmpeg").isEmpty())
        GTEST_SKIP() << "lame and ffmpeg are needed";
    OptionsSetting.CommonOptions.OutputFormat = 2;
    rec->SaveMp3 = true;
    rec->AskNewFormat = [](R::TNewFormat& f) { f = {44100, 16, 2}; return true; };
    bool closeAsked = false;
    QObject::connect(rec.get(), &R::CloseRequested, [&] { closeAsked = true; });
    ASSERT_TRUE(rec->New());
    RecordSome(500);
    const QString wav = dir.filePath("song.wav"), mp3 = dir.filePath("song.mp3");
    prompter.FileAnswers.push_back({wav});
    ASSERT_TRUE(rec->Save());
    ASSERT_TRUE(rec->LastExportOk()) << prompter.Log.value(0).Text.toStdString();
    // Frames as a gapless decoder (ffmpeg, honouring lame's header) gives them back.
    QProcess decode;
    decode.start("ffmpeg", {"-v", "error", "-i", mp3, "-f", "s16le", "-ac", "2", "-"});
    ASSERT_TRUE(decode.waitForFinished(20000));
    const qint64 mp3Frames = decode.readAllStandardOutput().size() / 4;
    const qint64 wavFrames = (QFileInfo(wav).size() - 44) / 4;
    EXPECT_GT(wavFrames, 0);
    EXPECT_LE(std::abs(mp3Frames - wavFrames), 1152) << mp3Frames << " vs " << wavFrames;
    EXPECT_EQ(OptionsSetting.CommonOptions.OutputFormat, 2) << "the output format is left alone";
    QCoreApplication::processEvents();
    EXPECT_FALSE(closeAsked) << "no CD drive needed; the recorder stays open";
    EXPECT_TRUE(rec->Mp3Done);

    // A new name with an MP3 already there asks first; an MP3 in use is not made again.
    const QString other = dir.filePath("other.wav"), otherMp3 = dir.filePath("other.mp3");
    ASSERT_TRUE(WriteAll(otherMp3, "keep"));
    prompter.FileAnswers.push_back({other});
    prompter.Answers.push_back(A::No);
    ASSERT_TRUE(rec->SaveAs());
    EXPECT_FALSE(rec->LastExportOk());
    EXPECT_EQ(ReadAll(otherMp3), "keep");
    QFile holder(otherMp3);
    ASSERT_TRUE(holder.open(QIODevice::Append));
    prompter.FileAnswers.push_back({dir.filePath("other.wav")});
    prompter.Answers = {A::Yes, A::Yes};
    rec->SaveAs();
    EXPECT_TRUE(prompter.Texts("error").contains(otherMp3 + QStringLiteral("可能正在被使用，不能重新产生！")));
    EXPECT_EQ(ReadAll(otherMp3), "keep");
}
