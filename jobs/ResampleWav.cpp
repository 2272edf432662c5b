#include "jobs/ResampleWav.h"
#include "platform/Prompter.h"
#include "settings/Lang.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace {

// A new, empty file beside `target` for a run to write; empty when none can be made (the
// run then fails on the target's folder as it would have).
QString MakeRunFile(const QString& target)
{
    const QFileInfo info(target);
    QTemporaryFile file(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    file.setAutoRemove(false);
    if (!file.open())
        return QString();
    // The finished file gets the target's permissions, or a new file's.
    struct stat st {};
    mode_t mode = 0;
    if (::stat(QFile::encodeName(target).constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::chmod(QFile::encodeName(file.fileName()).constData(), mode);
    return file.fileName();
}

} // namespace

int StrToInt(const QString& Text)
{
    bool ok = false;
    const int value = Text.trimmed().toInt(&ok, 10);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(Text).toStdString());
    return value;
}

TResampleWav::TResampleWav(TPrompter* Prompter, QObject* Parent)
    : QObject(Parent)
    , FPrompter(Prompter)
    , FWaveIn1(std::make_unique<TWaveIn>())
    , FFastResampler1(std::make_unique<TFastResampler>())
    , FAudioConverter1(std::make_unique<TAudioConverter>())
    , FWaveOut1(std::make_unique<TWaveOut>())
{
    FWaveIn1->setObjectName(QStringLiteral("WaveIn1"));
    FWaveIn1->SetLoop(false);
    FWaveIn1->SetEndSample(-1);
    FFastResampler1->setObjectName(QStringLiteral("FastResampler1"));
    FFastResampler1->SetInput(FWaveIn1.get());
    FFastResampler1->SetOutSampleRate(22050);
    FAudioConverter1->setObjectName(QStringLiteral("AudioConverter1"));
    FAudioConverter1->SetInput(FFastResampler1.get());
    FAudioConverter1->SetMode(msmMonoToBoth);
    FAudioConverter1->SetOutBitsPerSample(0);
    FAudioConverter1->SetOutChannels(0);
    FWaveOut1->setObjectName(QStringLiteral("WaveOut1"));
    FWaveOut1->SetInput(FAudioConverter1.get());
    FWaveOut1->SetWavType(wtPCM);
    FWaveOut1->SetBlockSize(512);
    FWaveOut1->SetCreateNonMsHeaders(false);
    FWaveOut1->SetFileMode(foRewrite);
    FWaveOut1->SetOnDone([this](QObject*) { WaveOut1Done(); });
    FWaveOut1->SetOnProgress([this](QObject*) { WaveOut1Progress(); });
    FWaveOut1->SetOnThreadException([this](QObject*) { WaveOut1ThreadException(); });
}

TResampleWav::~TResampleWav()
{
    Close();
}

void TResampleWav::Button1Click()
{
    if (FConverting || !FPrompter)
        return;
    const QString file = FPrompter->AskOpenFileName(QStringLiteral("Open"), QString(),
                                                    QStringLiteral("Wave Files (*.wav)"));
    if (!file.isEmpty())
        SetInputFile(file);
}

void TResampleWav::Button2Click()
{
    if (FConverting || !FPrompter)
        return;
    const QString file = FPrompter->AskSaveFileName(
        QStringLiteral("Save As"), QString(), QStringLiteral("Wave Files (*.wav);;Windows Media Files (*.wma)"));
    if (!file.isEmpty())
        SetOutputFile(file);
}

void TResampleWav::Button3Click(const TResampleSettings& Settings)
{
    try {
        Convert(Settings);
    } catch (...) {
        ReportException();
    }
}

void TResampleWav::ReportException()
{
    // The application's default error report: the exception's text in an error box.
    QString text;
    try {
        throw;
    } catch (const std::exception& e) {
        text = ExceptionText(e);
    } catch (...) {
        text = QStringLiteral("Unknown error");
    }
    if (FPrompter)
        FPrompter->ShowError(text);
}

void TResampleWav::SetInputFile(const QString& FileName)
{
    // A new name would close the file under the running worker.
    if (FConverting)
        return;
    FWaveIn1->SetFileName(FileName);
    if (FWaveIn1->Valid()) {
        FInputName = QFileInfo(FileName).fileName();
        FInputChannels = QString::number(FWaveIn1->Channels());
        FInputSampleRate = QString::number(FWaveIn1->SampleRate());
        FInputBits = QString::number(FWaveIn1->BitsPerSample());
        FInputCoding = WavTypeName(FWaveIn1->WavType());
        emit Changed();
    } else {
        // The previous file's properties would describe a file that is no longer chosen.
        ClearInputLabels();
        SetStatusText(QFileInfo(FileName).fileName() + ": "
                      + LangString("RES_Resample_Invalid_Input", "不是可以转换的WAV文件。"));
    }
}

void TResampleWav::ClearInputLabels()
{
    FInputName.clear();
    FInputChannels.clear();
    FInputSampleRate.clear();
    FInputBits.clear();
    FInputCoding.clear();
    emit Changed();
}

void TResampleWav::SetOutputFile(const QString& FileName)
{
    if (FConverting)
        return;
    if (QFileInfo(FileName).suffix().toLower() != QLatin1String("wav"))
        return;
    FChosenOutput = FWaveOut1.get();
    FWaveOut1->SetFileName(FileName);
    FOutputName = QFileInfo(FileName).fileName();
    emit Changed();
}

void TResampleWav::Convert(const TResampleSettings& Settings)
{
    if (FConverting)
        return;
    // 1. An output must have been chosen.
    if (!FChosenOutput || FChosenOutput->FileName().isEmpty())
        throw EAuException("The output file name is not set!");
    // 2. No change unless asked for below.
    FAudioConverter1->SetOutBitsPerSample(0);
    FAudioConverter1->SetOutChannels(0);
    // 3. The output settings. A rate outside the range would be a huge allocation or an
    // empty file.
    const int channels = Settings.Channels;
    const int rate = StrToInt(Settings.SampleRate);
    const int bits = Settings.BitsPerSample;
    if (rate < MinSampleRate || rate > MaxSampleRate)
        throw EAuException(LangString("RES_Resample_Rate_Range", "采样频率必须在1000到192000 Hz之间。")
                           + " (" + QString::number(rate) + ")");
    // 4. Nothing to convert from.
    if (!FWaveIn1->Valid())
        return;
    // Writing the input file would destroy it before it is read.
    if (SameFile(FWaveIn1->FileName(), FChosenOutput->FileName())) {
        SetStatusText(LangString("RES_Resample_Same_File", "输出文件不能是输入文件。"));
        return;
    }
    // 5. Only what differs from the input is converted.
    if (bits != FWaveIn1->BitsPerSample())
        FAudioConverter1->SetOutBitsPerSample(bits);
    if (channels != FWaveIn1->Channels())
        FAudioConverter1->SetOutChannels(channels);
    // 6. The rate is always set.
    FFastResampler1->SetOutSampleRate(uint32_t(rate));
    // 7. The coding.
    FChosenOutput->SetWavType(Settings.Coding == 1 ? wtDVIADPCM : wtPCM);
    // 8. Run. The output is written beside the target and takes its place only when the
    // run ends well (or is aborted, keeping what was converted): a failed run leaves an
    // existing file as it was.
    FRunOutput = FChosenOutput->FileName();
    FRunFile = MakeRunFile(FRunOutput);
    if (!FRunFile.isEmpty())
        FChosenOutput->SetFileName(FRunFile);
    FConverting = true;
    FAborted = false;
    SetProgress(0);
    emit Changed();
    SetStatusText(QStringLiteral("Converting..."));
    try {
        FChosenOutput->Run();
    } catch (...) {
        FConverting = false;
        EndRunFile(false);
        emit Changed();
        throw;
    }
}

void TResampleWav::EndRunFile(bool keep)
{
    if (FRunFile.isEmpty())
        return;
    const QString runFile = FRunFile;
    FRunFile.clear();
    FWaveOut1->SetFileName(FRunOutput);
    if (!keep) {
        QFile::remove(runFile);
        return;
    }
    if (std::rename(QFile::encodeName(runFile).constData(), QFile::encodeName(FRunOutput).constData()) != 0) {
        QFile::remove(runFile);
        throw EAuException(QStringLiteral("Cannot write %1").arg(FRunOutput));
    }
}

void TResampleWav::Abort()
{
    if (!FConverting)
        return;
    FAborted = true;
    FWaveOut1->Stop(true);
}

void TResampleWav::Close()
{
    if (!FWaveOut1->Busy() && !FConverting)
        return;
    // Waits for the worker; the run's done event and every undelivered event are dropped.
    // What it wrote goes: the target stays as it was.
    FWaveOut1->Stop(false);
    FConverting = false;
    EndRunFile(false);
}

void TResampleWav::WaveOut1Progress()
{
    const int p = FWaveOut1->Progress();
    if (p >= 0)
        SetProgress(p);
}

void TResampleWav::WaveOut1ThreadException()
{
    SetStatusText(FWaveOut1->ExceptionMessage());
}

void TResampleWav::WaveOut1Done()
{
    FConverting = false;
    SetProgress(100);
    QString error = FWaveOut1->ExceptionMessage();
    try {
        EndRunFile(error.isEmpty());
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    if (error.isEmpty()) {
        SetStatusText(FAborted ? AbortedText() : SuccessText());
    } else if (FStatusText != error) {
        SetStatusText(error);
    }
    emit Changed();
    emit Finished(error.isEmpty() && !FAborted);
}

void TResampleWav::SetStatusText(const QString& Text)
{
    FStatusText = Text;
    emit StatusTextChanged(Text);
}

void TResampleWav::SetProgress(int Percent)
{
    const int p = std::clamp(Percent, 0, 100);
    if (p == FProgress)
        return;
    FProgress = p;
    emit ProgressChanged(p);
}

TResampleWav::TFileStamp TResampleWav::Stamp(const QString& FileName)
{
    TFileStamp s;
    struct stat st {};
    if (FileName.isEmpty() || ::stat(QFile::encodeName(FileName).constData(), &st) != 0)
        return s;
    s.Exists = true;
    s.Device = uint64_t(st.st_dev);
    s.Inode = uint64_t(st.st_ino);
    s.Size = int64_t(st.st_size);
    s.ModifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

bool TResampleWav::SameFile(const QString& A, const QString& B)
{
    // The same device and inode: the same name, a symbolic or a hard link.
    const TFileStamp a = Stamp(A), b = Stamp(B);
    return a.Exists && b.Exists && a.Device == b.Device && a.Inode == b.Inode;
}
