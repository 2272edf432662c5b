// The main window's file conversions (up to the job window), opening the output folder,
// help and home page, the volume control, clearing other players' histories, and what a
// screen reader is told about the window's controls.
#include "AppTestHome.h"
#include "windows/MainForm.h"
#include "app/core/ClearHistory.h"
#include "cd/CDRipThread.h"
#include "fixtures/AuTestComponents.h"
#include "fixtures/CannedPrompter.h"
#include "players/Mixer.h"
#include "settings/Global.h"
#include "settings/HelperPaths.h"
#include "settings/Options.h"
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QAccessible>
#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Records the hand-offs to the conversion job window instead of opening it.
class TRecordingMainForm : public TMainForm {
public:
    struct Job {
        int Mode;
        QStringList Files;
    };
    QList<Job> Jobs;

protected:
    void RunConversionJob(int mode, const QStringList& files) override { Jobs.append({mode, files}); }
};

// A canned prompter that also keeps the filters of the file choices.
class TFilterPrompter : public TCannedPrompter {
public:
    QStringList Filters;
    QStringList AskOpenFileNames(const QString& caption, const QString& folder, const QString& filter) override
    {
        Filters.append(filter);
        return TCannedPrompter::AskOpenFileNames(caption, folder, filter);
    }
};

class TUrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Urls;
public slots:
    void Open(const QUrl& url) { Urls.append(url); }
};

class CommandsTest : public AppTestHome {
protected:
    std::unique_ptr<TRecordingMainForm> Open()
    {
        auto form = std::make_unique<TRecordingMainForm>();
        auto prompter = std::make_unique<TFilterPrompter>();
        Prompter = prompter.get();
        form->SetPrompter(std::move(prompter));
        form->show();
        return form;
    }
    TFilterPrompter* Prompter = nullptr;
};

} // namespace

TEST_F(CommandsTest, ConversionsChooseFilesCheckTheFolderAndHandOverModeAndFiles)
{
    const char* AnySound = "声音文件 (*.wav *.mp3 *.ogg *.flac *.opus *.m4a *.wma *.wv *.ape *.aac *.aif *.aiff);;所有文件 (*)";
    const struct {
        const char* action;
        int mode;
        const char* filter;
    } commands[] = {
        {"ActionWavToMp3", 2, "声音文件 (*.wav);;所有文件 (*)"},
        {"mnuMp3ToWav", 3, "MP3文件 (*.mp3);;所有文件 (*)"},
        {"miWAVtoOGG", 5, "声音文件 (*.wav);;所有文件 (*)"},
        {"miWAVtoWMA", 6, "声音文件 (*.wav);;所有文件 (*)"},
        {"miToFLAC", 7, AnySound},
        {"miToOpus", 8, AnySound},
        {"miToAAC", 9, AnySound},
        {"miToALAC", 10, AnySound},
    };
    const QString missing = Path("no such folder");
    const QStringList files{Path("a.wav"), Path("b b.wav")};
    for (const auto& c : commands) {
        SCOPED_TRACE(c.action);
        auto form = Open();
        QAction* action = form->Action(c.action);
        ASSERT_TRUE(action->isEnabled());

        // Cancelled file choice: nothing else happens.
        action->trigger();
        EXPECT_EQ(Prompter->Filters, QStringList{c.filter});
        EXPECT_TRUE(form->Jobs.isEmpty());
        EXPECT_EQ(Prompter->Log.size(), 1);

        // Missing output folder: told, no job.
        OptionsSetting.CommonOptions.OutputFolder = missing;
        Prompter->FileAnswers.push_back(files);
        action->trigger();
        EXPECT_EQ(Prompter->Texts("information"),
                  QStringList{"输出目录不存在。请检查输出目录的设置。"});
        EXPECT_TRUE(form->Jobs.isEmpty());

        // Everything in place: the job window gets the mode and the chosen files.
        OptionsSetting.CommonOptions.OutputFolder = Home.path();
        Prompter->FileAnswers.push_back(files);
        action->trigger();
        ASSERT_EQ(form->Jobs.size(), 1);
        EXPECT_EQ(form->Jobs[0].Mode, c.mode);
        EXPECT_EQ(form->Jobs[0].Files, files);
        form->close();
    }
}

TEST_F(CommandsTest, TheJobWindowConvertsTheChosenFiles)
{
    // A quarter second of 16-bit stereo audio.
    const uint32_t bytes = 44100;
    QByteArray wav(reinterpret_cast<const char*>(MakeWavHeader(bytes).Bytes), 44);
    for (uint32_t i = 0; i < bytes; ++i)
        wav.append(char((i * 37) & 0x7F));
    ASSERT_TRUE(WriteAll(Path("tone.wav"), wav));
    const QString out = Path("out");
    ASSERT_TRUE(QDir().mkpath(out));

    TMainForm form;
    auto prompter = std::make_unique<TCannedPrompter>();
    TCannedPrompter* canned = prompter.get();
    form.SetPrompter(std::move(prompter));
    form.show();
    OptionsSetting.CommonOptions.OutputFolder = out;
    canned->FileAnswers.push_back({Path("tone.wav")});
    // The job window runs modally and closes itself when the file is done.
    form.Action("miWAVtoOGG")->trigger();
    EXPECT_TRUE(QFileInfo(out + "/tone.ogg").size() > 0);
    EXPECT_TRUE(canned->Texts("error").isEmpty());
    form.close();
}

// The folder command: the chosen folder's tree converted to the chosen format (OGG, third in
// the list) into the same sub-folders, a damaged file listed at the end with its cause.
TEST_F(CommandsTest, TheFolderCommandRepeatsTheTreeAndListsWhatFailed)
{
    const uint32_t bytes = 44100;
    QByteArray wav(reinterpret_cast<const char*>(MakeWavHeader(bytes).Bytes), 44);
    wav.append(QByteArray(int(bytes), '\x10'));
    ASSERT_TRUE(QDir().mkpath(Path(QStringLiteral("in/sub/深 folder"))) && QDir().mkpath(Path("out")));
    ASSERT_TRUE(WriteAll(Path("in/tone.wav"), wav) && WriteAll(Path(QStringLiteral("in/sub/深 folder/-two.wav")), wav));
    ASSERT_TRUE(WriteAll(Path("in/sub/bad.wav"), "RIFF, no more"));

    TMainForm form;
    auto prompter = std::make_unique<TCannedPrompter>();
    TCannedPrompter* canned = prompter.get();
    form.SetPrompter(std::move(prompter));
    form.show();
    OptionsSetting.CommonOptions.OutputFolder = Path("out") + "/";
    canned->FileAnswers.push_back({Path("in")});
    canned->Choices.push_back(2);
    form.Action("miConvertFolder")->trigger();
    EXPECT_GT(QFileInfo(Path("out/tone.ogg")).size(), 0);
    EXPECT_GT(QFileInfo(Path(QStringLiteral("out/sub/深 folder/-two.ogg"))).size(), 0);
    EXPECT_EQ(OptionsSetting.CommonOptions.OutputFolder, Path("out") + "/");
    const QStringList errors = canned->Texts("error");
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_TRUE(errors.last().contains(Path("in/sub/bad.wav") + ": ")) << errors.last().toStdString();
    form.close();
}

TEST_F(CommandsTest, FolderHelpAndHomePageOpenThroughTheDesktopAndFailuresAreTold)
{
    TUrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "Open");
    QDesktopServices::setUrlHandler("https", &recorder, "Open");
    auto form = Open();
    // The help page lies beside the program once built, or in the installed data folder.
    const QString besideTests = ProgramFolder() + "Varnel.html";
    if (FindDataFile("Varnel.html").isEmpty()) {
        form->Action("mnuHelp")->trigger();
        EXPECT_EQ(Prompter->Texts("error"), QStringList{"无法打开 Varnel.html"});
        Prompter->Log.clear();
        ASSERT_TRUE(QFile::copy(VARNELCD_SOURCE_DIR "/resources/Varnel.html", besideTests));
    }
    OptionsSetting.CommonOptions.OutputFolder = Home.path();
    form->Action("Openoutputdirectory1")->trigger();
    form->Action("mnuHelp")->trigger();
    form->Action("miCDRipper")->trigger();
    ASSERT_EQ(recorder.Urls.size(), 3);
    EXPECT_EQ(recorder.Urls[0], QUrl::fromLocalFile(Home.path()));
    EXPECT_TRUE(recorder.Urls[1].toLocalFile().endsWith("/Varnel.html"));
    EXPECT_TRUE(QFile::exists(recorder.Urls[1].toLocalFile()));
    EXPECT_EQ(recorder.Urls[2].scheme(), "https");
    EXPECT_TRUE(Prompter->Log.isEmpty());

    // Nothing on this desktop opens these: each failure names what could not be opened.
    QDesktopServices::unsetUrlHandler("file");
    QDesktopServices::unsetUrlHandler("https");
    form->Action("Openoutputdirectory1")->trigger();
    form->Action("miCDRipper")->trigger();
    const QStringList errors = Prompter->Texts("error");
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors[0], "无法打开 " + Home.path());
    EXPECT_TRUE(errors[1].startsWith("无法打开 https://"));

    // A missing output folder is told, not opened.
    OptionsSetting.CommonOptions.OutputFolder = Path("gone");
    form->Action("Openoutputdirectory1")->trigger();
    EXPECT_EQ(Prompter->Texts("error").value(2), Path("gone") + ",输出目录不存在。");
    form->close();
    QFile::remove(besideTests);
}

TEST_F(CommandsTest, VolumeControlStartsTheFirstMixerOnThePath)
{
    const QString bin = Path("bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    const QString log = Path("mixer.log");
    qputenv("MIXER_LOG", log.toLocal8Bit());
    const QByteArray oldPath = qgetenv("PATH");
    auto install = [&](const QString& name) {
        const QString file = bin + "/" + name;
        ASSERT_TRUE(WriteAll(file, "#!/bin/sh\necho \"${0##*/} $*\" > \"$MIXER_LOG\"\n"));
        QFile::setPermissions(file, QFile::permissions(file) | QFile::ExeOwner);
    };
    qputenv("PATH", bin.toLocal8Bit());
    auto form = Open();

    // None installed.
    form->Action("VolumeControlMenu")->trigger();
    EXPECT_TRUE(Prompter->Texts("error").value(0).startsWith(QStringLiteral("找不到音量控制程序。")));

    const struct {
        const char* installs;
        const char* started;
    } cases[] = {
        {"kcmshell5", "kcmshell5 kcm_pulseaudio"},
        {"gnome-control-center", "gnome-control-center sound"},
        {"pavucontrol-qt", "pavucontrol-qt "},
        {"pavucontrol", "pavucontrol --tab=3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.installs);
        install(c.installs);
        QFile::remove(log);
        form->Action("VolumeControlMenu")->trigger();
        ASSERT_TRUE(PumpUntil([&] { return ReadAll(log).endsWith('\n'); }, 10000));
        EXPECT_EQ(ReadAll(log).trimmed(), QByteArray(c.started).trimmed());
    }
    EXPECT_EQ(Prompter->Texts("error").size(), 1);
    // The recorder's side opens the input tab.
    QFile::remove(log);
    EXPECT_EQ(StartMixer(TMixerSide::Recording), bin + "/pavucontrol");
    ASSERT_TRUE(PumpUntil([&] { return ReadAll(log).endsWith('\n'); }, 10000));
    EXPECT_EQ(ReadAll(log).trimmed(), "pavucontrol --tab=4");
    qputenv("PATH", oldPath);
    form->close();
}

TEST_F(CommandsTest, ClearingRealPlayerHistory)
{
    const struct {
        const char* what;
        QList<int> clips;
        int protectedClip;
        int expect;
    } cases[] = {
        {"three clips", {1, 2, 3}, 0, 3},
        {"none", {}, 0, 0},
        {"all eight and more", {1, 2, 3, 4, 5, 6, 7, 8, 9}, 0, 8},
        {"stops at the first missing", {1, 2, 4, 5}, 0, 2},
        {"stops at the first that cannot be deleted", {1, 2, 3}, 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TMemoryRegistry store;
        for (int k : c.clips)
            store.AddKey(RealPlayerClipKey(k));
        if (c.protectedClip)
            store.Protect(RealPlayerClipKey(c.protectedClip));
        TCannedPrompter prompter;
        EXPECT_EQ(ClearRealPlayerHistory(store, prompter), c.expect);
        EXPECT_EQ(prompter.Texts("information"), QStringList{QString::number(c.expect) + " 条播放记录已被删除！"});
        EXPECT_TRUE(prompter.Texts("question").isEmpty());
        EXPECT_EQ(store.KeyCount(), c.clips.size() - c.expect);
    }
}

TEST_F(CommandsTest, ClearingMediaPlayerHistory)
{
    const QString key = MediaPlayerRecentKey();
    const struct {
        const char* what;
        bool keyExists;
        QList<int> files;
        int expect;
    } cases[] = {
        {"three", true, {0, 1, 2}, 3},
        {"at most nine values", true, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 9},
        {"stops at the first missing", true, {0, 1, 3}, 2},
        {"no key", false, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TMemoryRegistry store;
        if (c.keyExists)
            store.AddKey(key);
        for (int k : c.files)
            store.SetValue(key, "File" + QString::number(k), "/music/" + QString::number(k) + ".mp3");
        TCannedPrompter prompter;
        EXPECT_EQ(ClearMediaPlayerHistory(store, prompter), c.expect);
        EXPECT_EQ(prompter.Texts("information"), QStringList{QString::number(c.expect) + " 条播放记录已被删除！"});
        for (int k : c.files)
            EXPECT_EQ(store.HasValue(key, "File" + QString::number(k)), k >= c.expect) << k;
        EXPECT_EQ(store.HasKey(key), c.keyExists);   // the key itself stays
    }
}

TEST_F(CommandsTest, ARunningPlayerIsAskedAboutFirst)
{
    for (const bool realPlayer : {true, false}) {
        SCOPED_TRACE(realPlayer ? "RealPlayer" : "Windows Media Player");
        TMemoryRegistry store;
        store.AddWindowClass(realPlayer ? "GeminiWindowClass" : "WMPlayerApp");
        store.AddKey(RealPlayerClipKey(1));
        store.SetValue(MediaPlayerRecentKey(), "File0");
        auto clear = [&](TPrompter& p) {
            return realPlayer ? ClearRealPlayerHistory(store, p) : ClearMediaPlayerHistory(store, p);
        };
        TCannedPrompter no;       // the default answer is No
        EXPECT_EQ(clear(no), -1);
        EXPECT_EQ(no.Texts("question"), QStringList{"请先关闭RealOne Player。是否继续？"});
        EXPECT_TRUE(no.Texts("information").isEmpty());
        EXPECT_EQ(store.KeyCount(), 2);
        TCannedPrompter yes;
        yes.Answers.push_back(TPrompter::Answer::Yes);
        EXPECT_EQ(clear(yes), 1);
        EXPECT_EQ(yes.Texts("information"), QStringList{"1 条播放记录已被删除！"});
    }
}

TEST_F(CommandsTest, WindowClearsTheEmptySystemStoreInTheChosenLanguage)
{
    // The Chinese messages under a language name of this test's own, beside the program.
    const QString language = QString("CommandsTest%1").arg(QCoreApplication::applicationPid());
    const QString file = ProgramFolder() + "CLan_" + language + ".ini";
    ASSERT_TRUE(QFile::copy(VARNELCD_SOURCE_DIR "/resources/lang/CLan_Chinese.ini", file));
    QDir().mkpath(QFileInfo(OptionsFileName()).path());
    ASSERT_TRUE(WriteAll(OptionsFileName(), ("[Options]\nLan=" + language + "\n").toUtf8()));
    auto form = Open();
    form->Action("miRealOnePlayer")->trigger();
    form->Action("miWindowsMediaPlayer")->trigger();
    const QString cleared = QStringLiteral("0 条播放记录已被删除！");
    EXPECT_EQ(Prompter->Texts("information"), (QStringList{cleared, cleared}));
    EXPECT_TRUE(Prompter->Texts("question").isEmpty());
    // New messages have their Chinese texts too.
    QDesktopServices::unsetUrlHandler("https");
    form->Action("miCDRipper")->trigger();
    EXPECT_TRUE(Prompter->Texts("error").value(0).startsWith(QStringLiteral("无法打开 https://")));
    form->close();
    QFile::remove(file);
}

TEST_F(CommandsTest, ScreenReadersGetNamesForTheListToolBarAndStatusLine)
{
    auto form = Open();
    auto name = [](QWidget* w, QAccessible::Text t = QAccessible::Name) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        return a ? a->text(t) : QString("(none)");
    };
    EXPECT_EQ(name(form->ListView1()), QStringLiteral("音轨列表"));
    EXPECT_EQ(name(form->findChild<QToolBar*>("ToolBar1")), QStringLiteral("工具栏"));
    // The status line's name is its text; its description says what it is.
    auto* status = form->findChild<QLabel*>("StatusPanel1");
    form->SetStatusText("Some drive");
    EXPECT_EQ(name(status), "Some drive");
    EXPECT_EQ(name(status, QAccessible::Description), QStringLiteral("状态栏"));
    EXPECT_EQ(name(form->findChild<QLabel*>("Label1"), QAccessible::Description), QStringLiteral("播放时间"));
    // The list and the tool buttons are reached with Tab.
    EXPECT_NE(form->ListView1()->focusPolicy() & Qt::TabFocus, 0);
    for (QWidget* w : form->findChild<QToolBar*>("ToolBar1")->findChildren<QWidget*>(QRegularExpression("^ToolButton")))
        EXPECT_NE(w->focusPolicy() & Qt::TabFocus, 0) << w->objectName().toStdString();
    form->close();
}

#include "mainform_commands_test.moc"
