// The conversion job's state machine: one handler per notification, each deciding the
// entry's next step.
#include "jobs/ConversionJob.h"

#include "audio/AudioConverter.h"
#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "encode/FlacOut.h"
#include "encode/FlacRip.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/WMAEncodeProcess.h"
#include "platform/OutputFile.h"
#include "settings/FileNamePattern.h"
#include "metadata/SourceTags.h"
#include "metadata/TagWriters.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "encode/OggOptions.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <iterator>

namespace {

constexpr int TimerIntervalMs = 1000;

QString Res(const char* key, const QString& builtIn) { return LangString(QLatin1String(key), builtIn); }

// The file mode making each output format, in setting order.
constexpr int FileModes[] = {TConversionJob::WavToMp3, TConversionJob::Mp3ToWav, TConversionJob::WavToOgg,
                             TConversionJob::WavToWma, TConversionJob::ToFlac,   TConversionJob::ToOpus,
                             TConversionJob::ToAac,    TConversionJob::ToAlac};
static_assert(std::size(FileModes) == std::tuple_size_v<decltype(OutputFormats)>, "one file mode per output format");

// The output format a file mode makes.
int FileModeFormat(int mode)
{
    for (int format = 0; format < int(std::size(FileModes)); ++format)
        if (FileModes[format] == mode) return format;
    return FormatMp3;
}

} // namespace

int TConversionJob::FileModeMaking(int format)
{
    return IsOutputFormat(format) ? FileModes[format] : 0;
}

TConversionJob::TConversionJob(int mode, const QStringList& entries, TPrompter* prompter, TMp3EncodeProcess* mp3,
                               TWMAEncodeProcess* wma, std::shared_ptr<const TOptionsSetting> settings, QObject* parent)
    : TJobBase(entries, prompter, std::move(settings), parent), FMode(mode)
{
    FStep = std::make_unique<TEncodeStep>(this, prompter, mp3, wma);
    FStep->Settings = FSettingsCopy;
    FTimer1.setInterval(TimerIntervalMs);
    connect(&FTimer1, &QTimer::timeout, this, &TConversionJob::WmaTick);
    FView.Label3 = Res("RES_Initing", QStringLiteral("正在初始化..."));
    // Several workers encode several files at once when each goes straight to its encoder.
    const int jobs = TRipPipeline::ResolveJobs(FSettings.CommonOptions.Jobs);
    const bool fileMode = FMode == WavToMp3 || FMode == Mp3ToWav || FMode == WavToOgg || FMode == WavToWma || EncoderMode();
    if (jobs > 1 && fileMode && FEntries.size() > 1 && FilesGoStraight()) {
        FPipeline.Reset(jobs);
        for (int i = 0; i < jobs; ++i) {
            FWorkers.push_back(std::make_unique<TEncodeWorker>(i + 1, prompter, i == 0 ? mp3 : nullptr, i == 0 ? wma : nullptr));
            FWorkers.back()->OnEnd = [this](TEncodeWorker& w, const TProcessInfo& info) {
                if (!FDone) PipelineEncodeEnd(w, info);
            };
            FWorkers.back()->OnProgress = [this](TEncodeWorker&, const TProcessInfo&) {
                if (FDone) return;
                PipelineRows();
                Changed();
            };
        }
        FWorkerTimer.setInterval(TimerIntervalMs);
        connect(&FWorkerTimer, &QTimer::timeout, this, &TConversionJob::PipelineWmaTick);
        PipelineRows();
    }

    // Output paths below the output folder, named by the pattern, each unique within the
    // job; without a pattern a file is named by its own name. Mode 4 writes beside its input.
    const QString pattern = FSettings.CommonOptions.FileNamePattern;
    QSet<QString> used;
    for (int i = 0; i < FEntries.size(); ++i) {
        switch (FMode) {
        case WavToMp3:
        case Mp3ToWav:
        case WavToOgg:
        case WavToWma:
        case ToFlac:
        case ToOpus:
        case ToAac:
        case ToAlac:
            FPaths.append(PatternRelativePath(pattern, SourceFileTags(FEntries[i], i + 1),
                                              FormatExtension(FileModeFormat(FMode)), used));
            break;
        default:
            break;
        }
    }
}

TConversionJob::~TConversionJob()
{
    Close();
}

QString TConversionJob::OutputFolder() const
{
    return WithBackslash(FSettings.CommonOptions.OutputFolder);
}

QString TConversionJob::OutputOf(int index) const
{
    return OutputFilePath(OutputFolder(), FPaths.value(index));
}

// The folders of entry `index`'s output are made; when they cannot be, the entry is told
// and skipped and the job goes on.
bool TConversionJob::MakeFolders(int index, int endPercent)
{
    if (index >= FPaths.size()) return true;
    QString why;
    if (MakeOutputFolders(OutputFolder(), FPaths[index], &why)) return true;
    FPrompter->ShowError(why);
    Skip(endPercent, index, why);
    return false;
}

QString TConversionJob::WorkWav(int index) const
{
    return PartPathOf(OutputOf(index) + QStringLiteral(".wav"));
}

std::function<QString(const QString& part)> TConversionJob::CopyTagsFrom(int index, const QString& output) const
{
    // A work file (a decoded or resampled WAV) is no output: its tags would be lost anyway.
    if (output.endsWith(QLatin1String(".part"))) return {};
    const QString source = FEntries.value(index);
    const TTagFormat format = TagFormatOf(output);
    const TTagWriteOptions options = TagWriteOptionsOf(FSettings);
    return [source, format, options](const QString& part) {
        QString message;
        return CopyFileTags(source, part, format, options, &message) ? QString() : message;
    };
}

QString TConversionJob::Claim(int index, const QString& wanted)
{
    // A work file is the job's own, not the entry's output; the recorder's MP3 is the name
    // its user has just chosen (and agreed to replace).
    if (wanted.endsWith(QLatin1String(".part")) || FMode == RecordToMp3) return wanted;
    if (FFinal.contains(index)) return FFinal.value(index);
    const QString path = ClaimOutput(index, wanted);
    if (!path.isEmpty()) FFinal[index] = path;
    return path;
}

void TConversionJob::PostSkipped(int endPercent)
{
    auto info = std::make_unique<TProcessInfo>();
    info->Percent = endPercent;
    info->ErrorCode = EntrySkipped;
    QCoreApplication::postEvent(this, new TProcessInfoEvent(std::move(info)));
    ProgressSeen = true;
}

QString TConversionJob::EntryName(int index) const
{
    return FEntries.value(index);
}

void TConversionJob::SetCaption(const QString& prefix, int number, int index)
{
    FView.Caption = prefix + TwoDigits(number) + QLatin1Char('/') + TwoDigits(int(FEntries.size()))
                    + QStringLiteral("): ") + EntryName(index);
    Changed();
}

void TConversionJob::SetGroup(const QString& key, const QString& builtIn)
{
    FView.GroupCaption = LangString(key, builtIn);
    Changed();
}

void TConversionJob::ShowInitializing()
{
    FView.Label3 = Res("RES_Initing", QStringLiteral("正在初始化..."));
    FView.Label3Visible = true;
    Changed();
}

// ---- first step ---------------------------------------------------------------------

void TConversionJob::Start()
{
    if (FEntries.isEmpty()) {
        Complete();
        return;
    }
    if (!FWorkers.empty()) {
        StartFileWorkers();
        return;
    }
    switch (FMode) {
    case WavToMp3:
        NextMp3File(true);
        break;
    case WavToOgg:
        NextOggFile(true);
        break;
    case ToFlac:
        NextFlacFile();
        break;
    case ToOpus:
    case ToAac:
    case ToAlac:
        NextEncoderFile();
        break;
    case Mp3ToWav:
    case RecordToMp3:
    case WavToWma:
        NextMp3File(true);   // the three single-step modes share their start with mode 2
        break;
    default:
        Complete();
        break;
    }
}

// ---- steps --------------------------------------------------------------------------

QString TConversionJob::BeginOutput(int index, const QString& wanted, int endPercent)
{
    if (FDone) return {};   // a stop from a view handler ends the job between steps
    FCurrentEntry = index;
    ProgressSeen = false;
    const QString output = Claim(index, wanted);
    if (output.isEmpty()) {
        PostSkipped(endPercent);
        return {};
    }
    FResults[index].Output = output;
    if (!MakeFolders(index, endPercent)) return {};
    return output;
}

void TConversionJob::StartMp3(int index, const QString& input, const QString& wanted, bool encode)
{
    const QString output = BeginOutput(index, wanted, ProgressCode::Mp3EncoderEnd);
    if (output.isEmpty()) return;
    try {
        FStep->StartMp3(input, output, encode, FMode, CopyTagsFrom(index, output));
    } catch (const EEncodeProcessError& e) {
        const QString text = QString::fromStdString(e.what());
        FPrompter->ShowError(text);
        Skip(ProgressCode::Mp3EncoderEnd, index, text);
        return;
    }
    // Only a running child writes the output; a refused start leaves an existing file alone.
    if (FStep->Mp3().Running()) FCurrentOutput = output;
}

void TConversionJob::StartWma(int index, const QString& input, const QString& wanted)
{
    const QString output = BeginOutput(index, wanted, ProgressCode::WmaEncoderEnd);
    if (output.isEmpty()) return;
    // The estimate is set up before the start: a refusal is sent from inside Start and
    // switches the timer off again.
    FWmaStart.start();
    FWmaInputSize = FileSizeOf(input);
    FWmaOutput = output;
    FView.Gauge = 0;
    Changed();
    FTimer1.start();
    const int encodeIndex = EncodeIndex;
    try {
        FStep->StartWma(input, output, FMode, CopyTagsFrom(index, output));
    } catch (const EEncodeProcessError& e) {
        FTimer1.stop();
        const QString text = QString::fromStdString(e.what());
        FPrompter->ShowError(text);
        Skip(ProgressCode::WmaEncoderEnd, index, text);
        return;
    }
    if (EncodeIndex == encodeIndex && !FDone && FStep->Wma().Running()) FCurrentOutput = output;
}

void TConversionJob::StartOgg(int index, const QString& input, const QString& wanted)
{
    const QString output = BeginOutput(index, wanted, ProgressCode::OggWriterDone);
    if (output.isEmpty()) return;
    FStep->WaveIn1().SetFileName(input);
    try {
        FStep->VorbisOut1().SetBeforeCommit(CopyTagsFrom(index, output));
        FStep->RunOgg(output, FStep->OggCompression());
    } catch (const std::exception& e) {
        const QString text = output + QStringLiteral(": ") + QString::fromUtf8(e.what());
        FPrompter->ShowError(text);
        Skip(ProgressCode::OggWriterDone, index, text);
        return;
    }
    FCurrentOutput = output;
}

// The entry's encoding cannot happen: its end arrives as a posted record with ErrorCode 4,
// which shows no message.
void TConversionJob::Skip(int endPercent, int index, const QString& why)
{
    Fail(index, why);
    auto info = std::make_unique<TProcessInfo>();
    info->Percent = endPercent;
    info->ErrorCode = EntrySkipped;
    QCoreApplication::postEvent(this, new TProcessInfoEvent(std::move(info)));
    ProgressSeen = true;
}

// ---- notifications ------------------------------------------------------------------

bool TConversionJob::event(QEvent* e)
{
    if (e->type() == ProgressInfoEventType) {
        auto* pe = static_cast<TProcessInfoEvent*>(e);
        if (!FDone && pe->Info) HandleInfo(*pe->Info);
        return true;
    }
    return QObject::event(e);
}

void TConversionJob::HandleInfo(TProcessInfo& info)
{
    switch (info.Percent) {
    case ProgressCode::Mp3EncoderEnd: Mp3End(info); break;
    case ProgressCode::OggWriterDone: OggEnd(info); break;
    case ProgressCode::WavWriterDone: ResampleEnd(info); break;
    case ProgressCode::WmaEncoderEnd: WmaEnd(info); break;
    case ProgressCode::FlacWriterDone: FlacEnd(info); break;
    case ProgressCode::FlacDecoderDone: FlacDecoded(info); break;
    case ProgressCode::OpusWriterDone:
    case ProgressCode::M4aWriterDone: EncoderEnd(info); break;
    default: Progress(info); break;
    }
}

// An MP3 or WMA encoder has ended (its entry's result is set): on to the next entry.
void TConversionJob::NextAfterEncoderEnd()
{
    ProgressSeen = false;
    EncodeIndex += 1;
    if (EncodeIndex >= FEntries.size()) {
        Complete();
        return;
    }
    if (FMode == ToFlac) NextFlacFile();
    else if (EncoderMode()) NextEncoderFile();
    else NextMp3File(false);
}

void TConversionJob::Mp3End(const TProcessInfo& info)
{
    if (FMode == ToFlac) {
        Mp3DecodedForFlac(info);
        return;
    }
    const int i = EncodeIndex;
    const int code = info.ErrorCode;
    const QString failure = FStep->Mp3().Failure();
    // The encoder's job is over; a child still printing is ended with it.
    if (FStep->Mp3().Active) FStep->Mp3().Stop(0);
    FCurrentOutput.clear();
    if (code == 2 && !failure.isEmpty()) {
        FPrompter->ShowError(failure);
        Fail(i, failure);
    } else if (code == 1 && !ProgressSeen) {
        FPrompter->ShowError(FEntries.value(i) + Res("RES_Operate_Fail", QStringLiteral(" 可能正在被使用，操作失败！")));
        Fail(i, FResults[i].Output + QStringLiteral(": in use"));
    } else if ((code == 2 || code == 3) && !ProgressSeen) {
        FPrompter->ShowError(Res("RES_Check_Mp3Options", QStringLiteral("请检查MP3编码参数或重新运行程序！")));
        Fail(i, FResults[i].Output + QStringLiteral(": the encoder produced nothing"));
    } else if (code == 0) {
        Fail(i, FResults[i].Output + QStringLiteral(": kept the existing file"));
    }
    if (code == 2 && ProgressSeen && !FStep->Mp3().EndedWell() && FResults[i].Failure.isEmpty())
        Fail(i, FResults[i].Output + QStringLiteral(": the encoder failed"));
    if (code == 2 && ProgressSeen) Succeed(i);
    NextAfterEncoderEnd();
}

// The end of a stream encoder's run (OGG, FLAC) for entry i: told and failed, or done. A
// failed encoding leaves no half-written file behind.
void TConversionJob::StreamEnd(int i, const TProcessInfo& info)
{
    if (info.ErrorCode == StreamFailed) {
        const QString text = FResults.value(i).Output + QStringLiteral(": ") + info.ElapsedText;
        FPrompter->ShowError(text);
        Fail(i, text);
    } else if (info.ErrorCode != EntrySkipped) {
        Succeed(i);
    }
    FCurrentOutput.clear();
}

void TConversionJob::OggEnd(const TProcessInfo& info)
{
    const int i = OggIndex;
    StreamEnd(i, info);
    ProgressSeen = false;
    OggIndex += 1;
    if (OggIndex >= FEntries.size()) {
        Complete();
        return;
    }
    NextOggFile(false);
}

void TConversionJob::WmaEnd(const TProcessInfo& info)
{
    FTimer1.stop();
    const int i = EncodeIndex;
    const int code = info.ErrorCode;
    const QString failure = FStep->Wma().Failure();
    if (FStep->Wma().Active) FStep->Wma().Stop(0);
    FCurrentOutput.clear();
    if (code == 2 && !failure.isEmpty()) {
        FPrompter->ShowError(failure);
        Fail(i, failure);
    } else if (code == 1 && !ProgressSeen) {
        FPrompter->ShowError(FEntries.value(i) + Res("RES_Operate_Fail", QStringLiteral(" 可能正在被使用，操作失败！")));
        Fail(i, FResults[i].Output + QStringLiteral(": in use"));
    } else if (code == 8) {
        FPrompter->ShowError(info.ElapsedText);
        Fail(i, info.ElapsedText.trimmed());
    } else if (code == 0) {
        Fail(i, FResults[i].Output + QStringLiteral(": not encoded"));
    } else if (code == 2 && !ProgressSeen) {
        Fail(i, FResults[i].Output + QStringLiteral(": the encoder produced nothing"));
    }
    if (code == 2 && ProgressSeen) Succeed(i);
    NextAfterEncoderEnd();
}

void TConversionJob::Progress(const TProcessInfo& info)
{
    FTimer1.stop();
    ProgressSeen = true;
    FView.Label1 = info.ElapsedText;
    FView.Label2 = info.TotalText;
    if (info.Percent > 0) {
        FView.Label3Visible = false;
        FView.PercentTextVisible = true;
        FView.Gauge = info.Percent;
    }
    Changed();
}

void TConversionJob::WmaTick()
{
    const int64_t elapsed = std::llround(double(FWmaStart.elapsed()) / 1000.0);
    FView.Label1 = MinutesSeconds(elapsed);
    Changed();
    if (!FStep->Wma().Active) return;
    FView.Label3Visible = false;
    const int64_t total = WmaEstimatedTotal(elapsed, FWmaInputSize, std::max<int64_t>(FileSizeOf(FWmaOutput), 0),
                                            WMASizeRatio(FSettings));
    if (total < 0) {
        Changed();
        return;
    }
    FView.Label2 = MinutesSeconds(total);
    FView.PercentTextVisible = true;
    const int percent = int(std::llround(double(elapsed) * 100.0 / double(total)));
    if (percent > FView.Gauge) FView.Gauge = percent;
    Changed();
}

// ---- end ----------------------------------------------------------------------------

void TConversionJob::StopJob()
{
    if (FDone) return;
    FStopped = true;
    const QString partial = FCurrentOutput;
    CleanUp();
    // What the interrupted encoder wrote is a part file: it goes (a file under the final
    // name is never touched).
    if (!partial.isEmpty()) DiscardPart(PartPathOf(partial));
    FailUnproduced();
    Complete();
}

void TConversionJob::Close()
{
    CleanUp();
    FDone = true;
}

void TConversionJob::CleanUp()
{
    if (!FEntriesAlive) return;
    FTimer1.stop();
    FWorkerTimer.stop();
    // Every worker's encoder is stopped and what it was writing removed.
    for (auto& worker : FWorkers) worker->Abort();
    FEntriesAlive = false;
    // The stream components are stopped too (the design leaves a running resampling chain
    // to the window's destruction): its temporary file can then be deleted.
    FStep->StopAll();
    // The work files of resampled entries.
    if (FMode == WavToOgg || FMode == WavToMp3)
        for (int i = 0; i < FEntries.size(); ++i) DiscardPart(WorkWav(i));
    if (!FDecoded.isEmpty() && FMode != Mp3ToWav) {
        // The WAV reader may still hold the work file it last read.
        FStep->WaveIn1().SetFileName(QString());
        for (const QString& work : std::as_const(FDecoded))
            if (work.endsWith(QLatin1String(".part"))) DiscardPart(work);
    }
    FCurrentOutput.clear();
}
