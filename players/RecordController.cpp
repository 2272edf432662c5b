#include "players/RecordController.h"
#include "jobs/ConversionJob.h"
#include "encode/JobEntry.h"
#include "players/Mixer.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <filesystem>
#include <system_error>

namespace {

const QString Idle = QStringLiteral("-----------");

QString Res(const char* key, const char* builtIn)
{
    return LangString(QString::fromLatin1(key), QString::fromUtf8(builtIn));
}

// Texts in the interface's language, looked up as they are shown.
QString PlayingText() { return Res("RES_Rec_PlayingText", "正在播放..."); }
QString RecordDoneText() { return Res("RES_Rec_DoneText", "录音完成!"); }
QString Seconds() { return Res("RES_Rec_Seconds", " 秒"); }
QString Filter()
{
    return Res("RES_Rec_SoundFilter", "声音文件(*.wav)") + QStringLiteral(" (*.wav);;") + Res("RES_Filter_AnyFile", "所有文件")
           + QStringLiteral(" (*)");
}

QString McInitFail() { return Res("RES_MCI_Init_Fail", "媒体设备初始化失败！"); }
QString SaveError() { return Res("RES_Save_Error", "保存声音文件出错!"); }
QString SaveFail() { return Res("RES_Save_Fail", "保存WAV声音文件失败，请检查文件是否正在被使用！"); }
QString TitleStr() { return Res("RES_TitleStr", "录音"); }
QString NoNameStr() { return Res("RES_NoNameStr", "未命名"); }
QString RecordingStr() { return Res("RES_RecordingStr", "正在进行录音..."); }

// Replaces Target with a copy of Source in one step: a temporary file in Target's folder,
// written and synced, renamed over it. Target is intact when anything fails.
bool CopyReplace(const QString& Source, const QString& Target)
{
    QFile in(Source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(Target);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray buf;
    while (!(buf = in.read(1 << 16)).isEmpty())
        if (out.write(buf) != buf.size()) {
            out.cancelWriting();
            return false;
        }
    if (in.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

// Moves Source over Target in one step: a rename; across file systems a copy renamed
// over Target, then Source is removed.
bool MoveReplace(const QString& Source, const QString& Target)
{
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(Source.toStdString()), std::filesystem::path(Target.toStdString()), ec);
    if (!ec)
        return true;
    if (ec != std::errc::cross_device_link)
        return false;
    if (!CopyReplace(Source, Target))
        return false;
    QFile::remove(Source);
    return true;
}

} // namespace

TRecordController::TRecordController(TPrompter* prompter, QObject* parent)
    : QObject(parent)
    , FPrompter(prompter)
{
    SaveMp3 = OptionsSetting.RecordOptions.SaveMp3;
    FView.Position = FView.Length = QStringLiteral("0.00") + Seconds();
    WorkFile = SettingsFolder() + QString::fromLatin1(WorkFileName);
    Timer1 = new QTimer(this);
    Timer1->setInterval(PlayTimerMs);
    connect(Timer1, &QTimer::timeout, this, &TRecordController::Timer1Timer);
    TimerRecord = new QTimer(this);
    TimerRecord->setInterval(RecordTimerMs);
    connect(TimerRecord, &QTimer::timeout, this, &TRecordController::TimerRecordTimer);
    // Queued: the device has finished its own handling before the recorder stops and saves.
    connect(&FDevice, &TWaveAudioDevice::RecordingFailed, this, &TRecordController::RecordingFailed,
            Qt::QueuedConnection);
    AskNewFormat = [](TNewFormat&) { return true; };
    RunMp3 = [this](const QString& file) { return RunMp3Job(file, FPrompter); };
    Now = [] { return QDateTime::currentMSecsSinceEpoch(); };
    Wait = [](int ms) { QThread::msleep(ulong(ms)); };
}

TRecordController::~TRecordController()
{
    FDevice.Close();
}

QString TRecordController::NoNameFile() const
{
    return SettingsFolder() + QString::fromLatin1(NoNameFileName);
}

QString TRecordController::DialogFolder() const
{
    return OptionsSetting.CommonOptions.OutputFolder;
}

// ---- texts ------------------------------------------------------------------------------

QString TRecordController::TimeText(int64_t ms)
{
    if (ms < 60000)
        return QString::number(double(ms) / 1000.0, 'g', 3) + Seconds();
    const int64_t s = ms / 1000;
    QString text;
    if (s / 3600)
        text += QString::number(s / 3600) + Res("RES_Rec_Hours", "小时");
    if (s / 60 % 60)
        text += QString::number(s / 60 % 60) + Res("RES_Rec_Minutes", " 分");
    if (s % 60)
        text += QString::number(s % 60) + Seconds();
    return text;
}

QString TRecordController::RecordTimeText(qint64 ms)
{
    const qint64 s = ms / 1000;
    return TwoDigits(int(s / 3600)) + ':' + TwoDigits(int(s / 60 % 60)) + ':' + TwoDigits(int(s % 60)) + '.'
           + QString::number(ms % 1000 / 100);
}

// ---- device and view helpers ------------------------------------------------------------

void TRecordController::Enable(std::initializer_list<TButton> buttons)
{
    FView.Enabled = 0;
    for (TButton b : buttons)
        FView.Enabled |= 1u << b;
}

bool TRecordController::OpenDevice(const QString& file)
{
    return FDevice.Open(file);
}

void TRecordController::CloseDevice()
{
    FDevice.Close();
}

void TRecordController::ShowLength()
{
    FView.Length = TimeText(FDevice.Length());
}

void TRecordController::ShowTrackPosition()
{
    if (FDevice.IsOpen() && FDevice.Length() > 0)
        FView.Position = TimeText(FDevice.Length() * FView.TrackBar / TrackBarMax);
}

void TRecordController::SetTrackBar(int value)
{
    FView.TrackBar = std::clamp(value, 0, TrackBarMax);
    ShowTrackPosition();
    Changed();
}

bool TRecordController::CanUndo() const
{
    return Modified && FView.State != RecordingStr() && !CurrentFile.isEmpty() && !IsNewDocument();
}

// ---- menu commands ----------------------------------------------------------------------

bool TRecordController::New()
{
    if (!SaveCheck(true))
        return false;
    TNewFormat format;
    if (!AskNewFormat(format))
        return false;
    const QString file = NoNameFile();
    CloseDevice();
    QSaveFile header(file);
    const bool ok = header.open(QIODevice::WriteOnly)
                    && header.write(TWaveAudioDevice::PcmHeader(format.Channels, format.Bits, format.SampleRate, 0)) == 44
                    && header.commit() && OpenDevice(file);
    FView.RecordTime = QStringLiteral("00:00:00.0");
    FView.Length = FView.Position = QStringLiteral("0.00") + Seconds();
    FView.TrackBar = 0;
    Mp3Done = false;
    Modified = false;
    if (!ok) {
        CurrentFile.clear();
        Enable({});
        FView.Caption.clear();
        Changed();
        FPrompter->ShowError(McInitFail());
        return false;
    }
    CurrentFile = file;
    Enable({btRecord});
    FView.Caption = TitleStr() + '(' + NoNameStr() + ')';
    Changed();
    return true;
}

void TRecordController::Open()
{
    if (!SaveCheck(true))
        return;
    for (;;) {
        const QString file = FPrompter->AskOpenFileName(QStringLiteral("Please select a sound file to open"),
                                                        DialogFolder(), Filter());
        if (file.isEmpty() || QFileInfo(file).absoluteFilePath() == QFileInfo(CurrentFile).absoluteFilePath())
            return;
        if (!QFileInfo(file).isFile()) {
            FPrompter->ShowWarning(Res("RES_Check_FileName", "请检查文件名是否正确") + '\n'
                                   + QStringLiteral("Could not be found！") + '\n' + file);
            continue;
        }
        // A file the device cannot take leaves the document as it was.
        TWaveAudioDevice probe;
        if (!probe.Open(file)) {
            FPrompter->ShowError(McInitFail());
            return;
        }
        probe.Close();
        const QString previous = CurrentFile;
        CurrentFile = QFileInfo(file).absoluteFilePath();
        FView.TrackBar = 0;
        Mp3Done = false;
        Modified = false;
        if (!LoadDocument(CurrentFile) && !previous.isEmpty()) {
            CurrentFile = previous;
            LoadDocument(previous);
        }
        return;
    }
}

bool TRecordController::LoadDocument(const QString& file)
{
    CloseDevice();
    if (!CopyReplace(file, WorkFile) || !OpenDevice(WorkFile)) {
        Enable({});
        Changed();
        FPrompter->ShowError(McInitFail());
        return false;
    }
    Enable({btPlay, btNext, btRecord});
    ShowLength();
    FView.Caption = TitleStr() + '(' + file + ')';
    Changed();
    return true;
}

bool TRecordController::Save()
{
    return SaveCheck(false, true);
}

QString TRecordController::AskWavTarget(bool& cancelled)
{
    cancelled = true;
    QString name = FPrompter->AskSaveFileName(QString(), DialogFolder(), Filter());
    if (name.isEmpty())
        return {};
    cancelled = false;
    // The dialog's default extension.
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".wav");
    name = QFileInfo(name).absoluteFilePath();
    if (QFileInfo(name).suffix().compare(QStringLiteral("wav"), Qt::CaseInsensitive) != 0) {
        FPrompter->ShowWarning(Res("RES_Wav_File", "保存的文件应该是WAV格式!"));
        return {};
    }
    if (QFileInfo::exists(name)) {
        if (FPrompter->AskYesNo(name + Res("RES_File_Exist", "已经存在，要覆盖它吗？"), TPrompter::Answer::No)
            != TPrompter::Answer::Yes)
            return {};
        // The old file is replaced in one step when the new one is complete; one that is
        // in use is not replaced at all.
        if (IsFileInUse(name) || !QFileInfo(name).isFile()) {
            FPrompter->ShowError(Res("RES_Delete_Fail", "删除文件失败，请检查文件是否正在被使用！"));
            return {};
        }
    }
    return name;
}

bool TRecordController::SaveCheck(bool prompt, bool fromSave)
{
    if (CurrentFile.isEmpty())
        return true;
    if (ButtonEnabled(btStop))
        Click(btStop);
    if (!Modified) {
        if (!(fromSave && IsNewDocument()))
            return true;
    } else if (prompt) {
        const QString name = IsNewDocument() ? NoNameStr() : CurrentFile;
        switch (FPrompter->AskYesNoCancel(name + Res("RES_Have_Modify", " 已经更改，是否保存所做的更改？"),
                                          TPrompter::Answer::Yes)) {
        case TPrompter::Answer::Cancel:
            return false;
        case TPrompter::Answer::No:
            Modified = false;
            return true;
        case TPrompter::Answer::Yes:
            break;
        }
    }
    if (!IsNewDocument()) {
        if (!CopyReplace(WorkFile, CurrentFile)) {
            FPrompter->ShowError(SaveFail());
            return false;
        }
        ExportMp3();
        Modified = false;
        return true;
    }
    bool cancelled = false;
    const QString target = AskWavTarget(cancelled);
    if (target.isEmpty())
        return false;
    CloseDevice();
    if (QFileInfo::exists(WorkFile))
        QFile::remove(WorkFile);
    if (!MoveReplace(CurrentFile, target)) {
        OpenDevice(CurrentFile);
        FPrompter->ShowError(SaveFail());
        return false;
    }
    CurrentFile = target;
    LoadDocument(CurrentFile);
    Mp3Done = false;       // a new name: its MP3 has not been made
    ExportMp3();
    Modified = false;
    return true;
}

bool TRecordController::SaveAs()
{
    bool cancelled = false;
    const QString target = AskWavTarget(cancelled);
    if (target.isEmpty() || CurrentFile.isEmpty())
        return false;
    CloseDevice();
    // The sound as heard now: the new recording itself, or the working copy of a named one.
    const bool ok = IsNewDocument() ? MoveReplace(CurrentFile, target)
                                    : (target == CurrentFile || CopyReplace(WorkFile, target));
    if (!ok) {
        OpenDevice(IsNewDocument() ? CurrentFile : WorkFile);
        FPrompter->ShowError(SaveFail());
        return false;
    }
    if (target != CurrentFile)
        Mp3Done = false;
    CurrentFile = target;
    Modified = false;
    if (!LoadDocument(CurrentFile))
        return false;
    ExportMp3();
    return true;
}

void TRecordController::Undo()
{
    if (!CanUndo())
        return;
    if (FPrompter->AskYesNo(Res("RES_Discard_Modify", "是否放弃上次保存文件后所做的更改？"), TPrompter::Answer::No)
        != TPrompter::Answer::Yes)
        return;
    CloseDevice();
    if (!CopyReplace(CurrentFile, WorkFile) || !OpenDevice(WorkFile)) {
        Enable({});
        Changed();
        FPrompter->ShowError(McInitFail());
        return;
    }
    Enable({btPlay, btNext, btRecord});
    ShowLength();
    FView.Position = FView.Length;
    Changed();
}

void TRecordController::RecordingControl()
{
    if (StartMixer(TMixerSide::Recording).isEmpty())
        FPrompter->ShowError(Res("RES_No_Mixer",
                                 "找不到音量控制程序。请安装 pavucontrol（或 pavucontrol-qt、gnome-control-center、kcmshell5）。"));
}

bool TRecordController::Close()
{
    if (StoreSettings) {
        OptionsSetting.RecordOptions.SaveMp3 = SaveMp3;
        SaveOptions();
    }
    Timer1->stop();
    if (!SaveCheck(true))
        return false;
    CloseDevice();
    if (QFileInfo::exists(WorkFile))
        QFile::remove(WorkFile);
    return true;
}

// ---- MP3 export ---------------------------------------------------------------------------

bool TRecordController::ExportMp3()
{
    FExportOk = true;
    if (!SaveMp3 || CurrentFile.isEmpty())
        return true;
    FExportOk = false;
    const QString target = ChangeFileExt(CurrentFile, QStringLiteral(".mp3"));
    if (!Mp3Done) {
        if (QFileInfo::exists(target)
            && FPrompter->AskYesNo(target + Res("RES_File_Exist", "已经存在，要覆盖它吗？"), TPrompter::Answer::No)
                   != TPrompter::Answer::Yes)
            return false;
        if (IsFileInUse(target)) {
            FPrompter->ShowError(target + Res("RES_File_Cannot_Create", "可能正在被使用，不能重新产生！"));
            return false;
        }
    }
    Mp3Done = true;
    FExportOk = RunMp3(CurrentFile);
    return FExportOk;
}

bool TRecordController::RunMp3Job(const QString& wavFile, TPrompter* prompter)
{
    // Mode 4 reads no disc: no drive handle.
    TConversionJob job(TConversionJob::RecordToMp3, {wavFile}, prompter);
    QEventLoop loop;
    connect(&job, &TConversionJob::CloseRequested, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    job.Start();
    if (!job.Done())
        loop.exec();
    job.Close();
    return !job.Results().isEmpty() && job.Results().first().Produced;
}

// ---- buttons ------------------------------------------------------------------------------

void TRecordController::Click(TButton button)
{
    if (!ButtonEnabled(button))
        return;
    switch (button) {
    case btPlay: Play(); break;
    case btStop: Stop(); break;
    case btNext: Next(); break;
    case btPrev: Prev(); break;
    case btRecord: Record(); break;
    default: break;
    }
    Changed();
}

void TRecordController::Play()
{
    if (FView.TrackBar == TrackBarMax)
        FView.TrackBar = 0;
    int64_t from = -1;
    if (!Timer1->isActive()) {
        PlayPosition = FDevice.Length() * FView.TrackBar / TrackBarMax;
        from = PlayPosition;
    }
    FView.State = PlayingText();
    Enable({btPause, btStop, btNext, btPrev});
    Timer1->start();
    if (!FDevice.Play(from)) {
        Timer1->stop();
        FView.State = Idle;
        Enable({btPlay, btNext, btPrev, btRecord});
        FPrompter->ShowError(McInitFail());
    }
}

void TRecordController::Stop()
{
    FView.TrackBar = 0;
    Timer1->stop();
    if (TimerRecord->isActive()) {
        // The recording ends on a whole second of the time shown.
        RecordMs = int((Now() - RecordStart) % 1000);
        if (RecordMs > 100)
            Wait(1000 - RecordMs);
        TimerRecordTimer();
        TimerRecord->stop();
    }
    Enable({btPlay, btNext, btPrev, btRecord});
    FView.State = Idle;
    if (FDevice.Mode() == TWaveAudioDevice::mpRecording || FDevice.HasUnsavedRecording()) {
        if (FDevice.Save()) {
            FView.TrackBar = TrackBarMax;
            ShowLength();
            ShowTrackPosition();
            FView.State = RecordDoneText();
        } else {
            FStopFailed = true;
            FPrompter->ShowError(SaveError());
        }
    }
    FDevice.Stop();
}

void TRecordController::Next()
{
    Timer1->stop();
    FView.TrackBar = TrackBarMax;
    Enable({btPlay, btPrev, btRecord});
    FView.State = Idle;
    FDevice.Seek(FDevice.Length());
    ShowTrackPosition();
}

void TRecordController::Prev()
{
    Timer1->stop();
    FView.TrackBar = 0;
    Enable({btPlay, btNext, btRecord});
    FView.State = Idle;
    FDevice.Seek(0);
    ShowTrackPosition();
}

void TRecordController::Record()
{
    int64_t from = -1;
    if (QFileInfo::exists(WorkFile) && FDevice.FileName() == WorkFile)
        from = FDevice.Length() * FView.TrackBar / TrackBarMax;
    if (!FDevice.Record(from)) {
        FPrompter->ShowError(McInitFail());
        return;
    }
    RecordStart = Now();
    RecordMs = 0;
    FView.RecordTime = RecordTimeText(0);
    TimerRecord->start();
    Enable({btStop});
    FView.State = RecordingStr();
    Modified = true;
}

void TRecordController::Timer1Timer()
{
    PlayPosition += PlayTimerMs;
    const int64_t length = FDevice.Length();
    if (PlayPosition < length) {
        FView.TrackBar = int(PlayPosition * TrackBarMax / length);
    } else {
        FView.TrackBar = TrackBarMax;
        Timer1->stop();
        Enable({btPlay, btPrev, btRecord});
        FView.State = Idle;
    }
    ShowTrackPosition();
    Changed();
}

void TRecordController::TimerRecordTimer()
{
    const qint64 elapsed = std::max<qint64>(0, Now() - RecordStart);
    FView.RecordTime = RecordTimeText(elapsed);
    RecordMs = int(elapsed % 1000);
    Changed();
}

void TRecordController::RecordingFailed()
{
    // The side file could not be written (a full disk): the recording ends with what was
    // captured, which the stop saves.
    if (!TimerRecord->isActive())
        return;
    FStopFailed = false;
    Click(btStop);
    if (!FStopFailed)
        FPrompter->ShowError(SaveError());
}
