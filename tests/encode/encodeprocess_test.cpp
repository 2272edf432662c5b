// The encoder processes with the real lame and our wm8eutil: command lines, notifications,
// the overwrite question, errors and stopping.
#include "encode/EncodeTestUtil.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/WMAEncodeProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

namespace {

constexpr int WATCHDOG_MS = 60000;
const QString FileExistText = QStringLiteral("已经存在，要覆盖它吗？");

class TCannedPrompter : public TPrompter {
public:
    Answer Reply = Answer::No;
    QStringList Questions, Informations;
    void ShowError(const QString& text) override { Informations << text; }
    void ShowInformation(const QString& text) override { Informations << text; }
    Answer AskYesNo(const QString& text, Answer) override
    {
        Questions << text;
        return Reply;
    }
};

int OpenDescriptors()
{
    return int(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size());
}

class EncodeProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        OptionsSetting = TOptionsSetting{};
        // wm8eutil is built in the build root; lame comes from the system.
        OldPath = qgetenv("PATH");
        qputenv("PATH", QByteArray(VARNELCD_BINARY_DIR) + ':' + OldPath);
    }
    void TearDown() override
    {
        qputenv("PATH", OldPath);
        OptionsSetting = TOptionsSetting{};
    }
    QString Path(const QString& name) const { return Dir.filePath(name); }

    void Prepare(TEncodeProcess& p, const QString& in, const QString& out, int kind = 2, bool encode = true)
    {
        p.Active = true;
        p.InputFile = in;
        p.OutputFile = out;
        p.OwnerWindow = &Log;
        p.Encode = encode;
        p.Kind = kind;
        p.Prompter = &Prompter;
    }
    bool WaitForEnd(int endPercent)
    {
        return QTest::qWaitFor([&] { return Log.Ended(endPercent); }, WATCHDOG_MS);
    }
    // Progress 1..100 rising to 100, then exactly the end notification with ErrorCode 2.
    void ExpectProgressThenEnd(int endPercent)
    {
        const QVector<int> p = Log.Percents();
        ASSERT_GE(p.size(), 2);
        EXPECT_EQ(p.last(), endPercent);
        EXPECT_EQ(Log.Infos.last().ErrorCode, 2);
        EXPECT_EQ(p[p.size() - 2], 100);
        for (qsizetype i = 0; i + 1 < p.size(); ++i) {
            EXPECT_GE(p[i], 1);
            EXPECT_LE(p[i], 100);
            if (i > 0) {
                EXPECT_GE(p[i], p[i - 1]);
            }
        }
    }

    QTemporaryDir Dir;
    QByteArray OldPath;
    TNotificationLog Log;
    TCannedPrompter Prompter;
};

TEST(EncodeArguments, Mp3SettingsToArgumentList)
{
    struct Case { const char* name; TMp3Options o; QStringList expected; } cases[] = {
        {"defaults", {}, {"-b", "128", "-m", "j"}},
        {"vbr with head", {true, true, 128, 320, 0, 4, 1}, {"-b", "128", "-m", "j", "-V", "4", "-B", "320", "-t"}},
        {"head without vbr", {false, true, 192, 320, 0, 4, 0}, {"-b", "192", "-m", "s"}},
        {"stereo 5, quality 3", {false, false, 64, 320, 3, 4, 5}, {"-b", "64"}},
        {"faster, forced joint", {false, false, 96, 320, 1, 4, 2}, {"-b", "96", "-m", "f", "-f"}},
        {"slower, dual, vbr", {true, false, 32, 256, 2, 9, 3}, {"-b", "32", "-m", "d", "-h", "-V", "9", "-B", "256"}},
        {"mono", {false, false, 128, 320, 0, 4, 4}, {"-b", "128", "-m", "m"}},
    };
    const QString in = "/a b/it's \"$HOME\".wav", out = "-out.mp3";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TMp3EncodeProcess::EncodeArguments(c.o, in, out), (c.expected + QStringList{in, "./-out.mp3"}));
    }
    EXPECT_EQ(TMp3EncodeProcess::DecodeArguments(in, "/x/y.wav"), (QStringList{"--decode", in, "/x/y.wav"}));
}

TEST(EncodeArguments, WmaProfileRepairAndTags)
{
    const QStringList head{"-input", "/i n.wav", "-output", "/o.wma", "-a_setting"};
    struct Case { int index; bool id3; const char* artist; const char* comment; QStringList tail; int stored; } cases[] = {
        {40, false, "", "", {"64_44_2"}, 8},
        {-1, false, "", "", {"64_44_2"}, 8},
        {0, false, "Ann", "Live", {"192_48_2"}, 0},
        {32, true, "Ann Lee & \"Co\"", "", {"5_8_1", "-author", "Ann Lee & \"Co\""}, 32},
        {17, true, "", "a $comment", {"32_22_2", "-description", "a $comment"}, 17},
        {8, true, "A", "B", {"64_44_2", "-author", "A", "-description", "B"}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        TOptionsSetting s;
        s.WMAOptions.BitRate = c.index;
        s.ID3Use = c.id3;
        s.CDInfo.Artist = c.artist;
        s.CDInfo.Comment = c.comment;
        EXPECT_EQ(TWMAEncodeProcess::EncodeArguments(s, "/i n.wav", "/o.wma"), head + c.tail);
        EXPECT_EQ(s.WMAOptions.BitRate, c.stored);
    }
    OptionsSetting.WMAOptions.BitRate = 99;
    EXPECT_EQ(WMASizeRatio(), 21790);
    EXPECT_EQ(OptionsSetting.WMAOptions.BitRate, 8);
    OptionsSetting = TOptionsSetting{};
}

TEST_F(EncodeProcess, Mp3EncodeThenDecode)
{
    const QString wav = Path("it's a \"$tone\".wav"), mp3 = Path("it's a \"$tone\".mp3"), back = Path("back #1.wav");
    ASSERT_TRUE(WriteToneWav(wav, 4));
    TMp3EncodeProcess p;
    Prepare(p, wav, mp3);
    p.Start();
    ASSERT_TRUE(WaitForEnd(ProgressCode::Mp3EncoderEnd));
    ExpectProgressThenEnd(ProgressCode::Mp3EncoderEnd);
    EXPECT_GT(QFileInfo(mp3).size(), 1000);
    EXPECT_TRUE(p.Active);   // only Stop clears it
    p.Stop(0);

    Log.Infos.clear();
    Prepare(p, mp3, back, 2, false);
    p.Start();
    ASSERT_TRUE(WaitForEnd(ProgressCode::Mp3EncoderEnd));
    ExpectProgressThenEnd(ProgressCode::Mp3EncoderEnd);
    // About four seconds of 16-bit stereo came back.
    EXPECT_NEAR(double(QFileInfo(back).size()), 4.0 * 44100 * 4, 44100 * 4 * 0.1);
    EXPECT_TRUE(Prompter.Questions.isEmpty());
}

TEST_F(EncodeProcess, WmaEncodeHasTheProfileAndTheAuthor)
{
    const QString wav = Path("in put.wav"), wma = Path("out 'x'.wma");
    ASSERT_TRUE(WriteToneWav(wav, 2));
    OptionsSetting.WMAOptions.BitRate = 20;   // "20_22_1"
    OptionsSetting.ID3Use = true;
    OptionsSetting.CDInfo.Artist = "Ann Lee & \"Co\" $HOME";
    OptionsSetting.CDInfo.Comment = "live -description take";
    TWMAEncodeProcess p;
    Prepare(p, wav, wma);
    p.Start();
    ASSERT_TRUE(WaitForEnd(ProgressCode::WmaEncoderEnd));
    // The 100 % report is delivered before the sent end notification.
    EXPECT_EQ(Log.Percents(), (QVector<int>{100, ProgressCode::WmaEncoderEnd}));
    EXPECT_EQ(Log.Infos.last().ErrorCode, 2);

    const QString probe = QString::fromUtf8(RunAndCapture("ffprobe", {"-v", "error", "-show_entries",
        "stream=codec_name,sample_rate,channels:format_tags=artist,comment", "-of", "default=nw=1", wma}, false));
    EXPECT_TRUE(probe.contains("codec_name=wmav2")) << probe.toStdString();
    EXPECT_TRUE(probe.contains("sample_rate=22050")) << probe.toStdString();
    EXPECT_TRUE(probe.contains("channels=1")) << probe.toStdString();
    EXPECT_TRUE(probe.contains("TAG:artist=Ann Lee & \"Co\" $HOME")) << probe.toStdString();
    EXPECT_TRUE(probe.contains("TAG:comment=live -description take")) << probe.toStdString();
}

TEST_F(EncodeProcess, WmaErrorsAndMissingEncoder)
{
    TWMAEncodeProcess p;
    // An unreadable input: the error line (ErrorCode 8), then the end (2); no progress.
    Prepare(p, Path("missing.wav"), Path("never.wma"));
    p.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Log.Infos.size() >= 2; }, WATCHDOG_MS));
    ASSERT_EQ(Log.Percents(), (QVector<int>{ProgressCode::WmaEncoderEnd, ProgressCode::WmaEncoderEnd}));
    EXPECT_EQ(Log.Infos[0].ErrorCode, 8);
    EXPECT_TRUE(Log.Infos[0].ElapsedText.startsWith("ERROR")) << Log.Infos[0].ElapsedText.toStdString();
    EXPECT_TRUE(Log.Infos[0].ElapsedText.contains("missing.wav"));
    EXPECT_EQ(Log.Infos[1].ErrorCode, 2);
    EXPECT_FALSE(QFileInfo::exists(Path("never.wma")));
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 0);   // no temporary left
    p.Stop(0);

    // No wm8eutil anywhere: the message, and ErrorCode 0 sent before Start returns.
    Log.Infos.clear();
    qputenv("PATH", Dir.path().toUtf8());
    ASSERT_TRUE(WriteToneWav(Path("in.wav"), 1));
    Prepare(p, Path("in.wav"), Path("out.wma"));
    p.Start();
    ASSERT_EQ(Log.Infos.size(), 1);
    EXPECT_EQ(Log.Infos[0].Percent, ProgressCode::WmaEncoderEnd);
    EXPECT_EQ(Log.Infos[0].ErrorCode, 0);
    EXPECT_EQ(Prompter.Informations, QStringList{TWMAEncodeProcess::NoEncoderText()});
    EXPECT_FALSE(p.Running());

    // No lame anywhere: Start raises the process-creation error and notifies nothing.
    Log.Infos.clear();
    TMp3EncodeProcess mp3;
    Prepare(mp3, Path("in.wav"), Path("out.mp3"));
    EXPECT_THROW(mp3.Start(), EEncodeProcessError);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Log.Infos.isEmpty());
}

TEST_F(EncodeProcess, StopEndsTheChildWithoutZombieOrLeakedDescriptors)
{
    const QString wav = Path("long.wav");
    ASSERT_TRUE(WriteToneWav(wav, 90));
    const int descriptorsBefore = OpenDescriptors();
    TMp3EncodeProcess p;
    Prepare(p, wav, Path("long.mp3"));
    p.Start();
    const qint64 pid = p.ChildProcessId();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Log.Infos.isEmpty(); }, WATCHDOG_MS));
    p.Stop(0);
    EXPECT_FALSE(p.Active);
    EXPECT_FALSE(p.Running());
    // Reaped: not even a zombie answers.
    const int rc = ::kill(pid_t(pid), 0);
    const int err = errno;
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(err, ESRCH);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
    EXPECT_FALSE(Log.Ended(ProgressCode::Mp3EncoderEnd));
    p.Stop(0);   // a second Stop does nothing
}

TEST_F(EncodeProcess, OverwriteQuestionByKind)
{
    const QString wav = Path("in.wav");
    ASSERT_TRUE(WriteToneWav(wav, 1));
    const QByteArray old = "old content";
    struct Case {
        const char* name; bool wma; int kind; TPrompter::Answer reply; bool holdOpen;
        bool asked; int errorCode; bool overwritten;
    } cases[] = {
        {"mp3 kind 1", false, 1, TPrompter::Answer::No, false, false, 2, true},
        {"mp3 kind 4", false, 4, TPrompter::Answer::No, false, false, 2, true},
        {"mp3 kind 2, no", false, 2, TPrompter::Answer::No, false, true, 0, false},
        {"mp3 kind 3, yes, in use", false, 3, TPrompter::Answer::Yes, true, true, 1, false},
        {"mp3 kind 5, yes", false, 5, TPrompter::Answer::Yes, false, true, 2, true},
        {"wma kind 1", true, 1, TPrompter::Answer::No, false, false, 2, true},
        {"wma kind 4, no", true, 4, TPrompter::Answer::No, false, true, 0, false},
        {"wma kind 2, yes, in use", true, 2, TPrompter::Answer::Yes, true, true, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = Path(c.wma ? "exists.wma" : "exists.mp3");
        ASSERT_TRUE(WriteAll(out, old));
        QFile holder(out);
        if (c.holdOpen) {
            ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
        }
        Log.Infos.clear();
        Prompter.Questions.clear();
        Prompter.Reply = c.reply;
        std::unique_ptr<TEncodeProcess> p;
        if (c.wma) p = std::make_unique<TWMAEncodeProcess>();
        else p = std::make_unique<TMp3EncodeProcess>();
        const int end = c.wma ? ProgressCode::WmaEncoderEnd : ProgressCode::Mp3EncoderEnd;
        Prepare(*p, wav, out, c.kind);
        p->Start();
        ASSERT_TRUE(WaitForEnd(end));
        EXPECT_EQ(Prompter.Questions, c.asked ? QStringList{out + FileExistText} : QStringList{});
        EXPECT_EQ(Log.Infos.last().ErrorCode, c.errorCode);
        EXPECT_EQ(ReadAll(out) != old, c.overwritten);
        if (!c.overwritten) {
            EXPECT_EQ(Log.Infos.size(), 1);   // a refusal starts nothing
        }
        holder.close();
    }
}

} // namespace
