// The main window's file conversions, help, volume control, clearing of other players'
// histories, and the accessible names of its controls.
#include "windows/MainForm.h"
#include "app/core/ClearHistory.h"
#include "jobs/ConversionJob.h"
#include "players/Mixer.h"
#include "platform/Registry.h"
#include "settings/HelperPaths.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>

namespace {

const char* const HelpFile = "Varnel.html";

// The conversion job window's file modes.
constexpr int ModeWavToMp3 = TConversionJob::WavToMp3;
constexpr int ModeMp3ToWav = TConversionJob::Mp3ToWav;
constexpr int ModeWavToOgg = TConversionJob::WavToOgg;
constexpr int ModeWavToWma = TConversionJob::WavToWma;
constexpr int ModeToFlac = TConversionJob::ToFlac;

// The output folder must exist before a conversion starts; otherwise say so and stop.
bool OutputFolderExists(TPrompter& prompter)
{
    const QString folder = OptionsSetting.CommonOptions.OutputFolder;
    if (!folder.isEmpty() && QDir(folder).exists())
        return true;
    prompter.ShowInformation(LangString("RES_Directory_Not_Exist", "输出目录不存在。") +
                             LangString("RES_Check_Output", "请检查输出目录的设置。"));
    return false;
}

} // namespace

void TMainForm::CreateCommands()
{
    connect(Action("ActionWavToMp3"), &QAction::triggered, this, [this] { ConvertFiles(ModeWavToMp3); });
    connect(Action("mnuMp3ToWav"), &QAction::triggered, this, [this] { ConvertFiles(ModeMp3ToWav); });
    connect(Action("miWAVtoOGG"), &QAction::triggered, this, [this] { ConvertFiles(ModeWavToOgg); });
    connect(Action("miWAVtoWMA"), &QAction::triggered, this, [this] { ConvertFiles(ModeWavToWma); });
    connect(Action("miToFLAC"), &QAction::triggered, this, [this] { ConvertFiles(ModeToFlac); });
    connect(Action("miToOpus"), &QAction::triggered, this, [this] { ConvertFiles(TConversionJob::ToOpus); });
    connect(Action("miToAAC"), &QAction::triggered, this, [this] { ConvertFiles(TConversionJob::ToAac); });
    connect(Action("miToALAC"), &QAction::triggered, this, [this] { ConvertFiles(TConversionJob::ToAlac); });
    connect(Action("mnuHelp"), &QAction::triggered, this, &TMainForm::OpenHelp);
    connect(Action("VolumeControlMenu"), &QAction::triggered, this, &TMainForm::VolumeControlMenuClick);
    connect(Action("miRealOnePlayer"), &QAction::triggered, this, &TMainForm::ClearRealPlayerClick);
    connect(Action("miWindowsMediaPlayer"), &QAction::triggered, this, &TMainForm::ClearMediaPlayerClick);

    // Controls that show no caption of their own are named for screen readers; the status
    // line and the time keep their changing text as their name and say what they are in
    // their description.
    FListView->setAccessibleName(QStringLiteral("音轨列表"));
    FToolBar->setAccessibleName(QStringLiteral("工具栏"));
    FStatusPanel->setAccessibleDescription(QStringLiteral("状态栏"));
    FLabel1->setAccessibleDescription(QStringLiteral("播放时间"));
}

void TMainForm::ConvertFiles(int mode)
{
    const bool fromMp3 = mode == ModeMp3ToWav;
    // The modes that take any file FFmpeg decodes.
    const bool anySound = mode == ModeToFlac || mode == TConversionJob::ToOpus || mode == TConversionJob::ToAac
                          || mode == TConversionJob::ToAlac;
    const QString anyFile = QStringLiteral(";;") + LangString("RES_Filter_AnyFile", QStringLiteral("所有文件")) + QStringLiteral(" (*)");
    const QString sound = LangString("RES_Filter_SoundFile", QStringLiteral("声音文件"));
    const QString filter = fromMp3    ? LangString("RES_Filter_Mp3File", QStringLiteral("MP3文件")) + QStringLiteral(" (*.mp3)") + anyFile
                           : anySound ? sound + QStringLiteral(" (*.wav *.mp3 *.ogg *.flac *.opus *.m4a *.wma *.wv *.ape "
                                                               "*.aac *.aif *.aiff)") + anyFile
                                      : sound + QStringLiteral(" (*.wav)") + anyFile;
    const QString caption = Action(mode == ModeWavToMp3                ? "miActionWavToMp3"
                                   : fromMp3                           ? "mnuMp3ToWav"
                                   : mode == ModeWavToOgg              ? "miWAVtoOGG"
                                   : mode == ModeToFlac                ? "miToFLAC"
                                   : mode == TConversionJob::ToOpus    ? "miToOpus"
                                   : mode == TConversionJob::ToAac     ? "miToAAC"
                                   : mode == TConversionJob::ToAlac    ? "miToALAC"
                                                                       : "miWAVtoWMA")
                                ->text()
                                .remove(QStringLiteral("..."));
    const QStringList files = FPrompter->AskOpenFileNames(caption, QString(), filter);
    if (files.isEmpty())
        return;
    if (!OutputFolderExists(*FPrompter))
        return;
    if (mode == ModeWavToOgg || mode == ModeWavToWma || anySound) {
        // Whatever the OGG, WMA, FLAC, Opus and MP4 jobs raise ends with their window.
        try {
            RunConversionJob(mode, files);
        } catch (...) {
        }
    } else {
        RunConversionJob(mode, files);
    }
}

bool TMainForm::OpenUrlOrReport(const QUrl& url, const QString& shown)
{
    if (QDesktopServices::openUrl(url))
        return true;
    FPrompter->ShowError(LangString("RES_Cannot_Open", "无法打开 %1").arg(shown));
    return false;
}

void TMainForm::OpenHelp()
{
    const QString file = FindDataFile(QString::fromLatin1(HelpFile));
    if (file.isEmpty()) {
        FPrompter->ShowError(LangString("RES_Cannot_Open", "无法打开 %1").arg(QString::fromLatin1(HelpFile)));
        return;
    }
    OpenUrlOrReport(QUrl::fromLocalFile(file), file);
}

void TMainForm::VolumeControlMenuClick()
{
    if (StartMixer(TMixerSide::Playback).isEmpty())
        FPrompter->ShowError(LangString(
            "RES_No_Mixer",
            "找不到音量控制程序。请安装 pavucontrol（或 pavucontrol-qt、gnome-control-center、kcmshell5）。"));
}

void TMainForm::ClearRealPlayerClick()
{
    ClearRealPlayerHistory(SystemRegistry(), *FPrompter);
}

void TMainForm::ClearMediaPlayerClick()
{
    ClearMediaPlayerHistory(SystemRegistry(), *FPrompter);
}
