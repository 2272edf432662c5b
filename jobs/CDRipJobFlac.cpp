// The rip job's FLAC steps: FLAC straight from the disc, and the whole-disc file with its
// cue sheet.
#include "jobs/CDRipJob.h"

#include "encode/FlacOut.h"
#include "encode/FlacRip.h"
#include "encode/JobEntry.h"
#include "platform/OutputFile.h"
#include "settings/Options.h"

#include <QFileInfo>

bool TCDRipJob::FlacDirect() const
{
    const TCommonOptions& common = OptionsSetting.CommonOptions;
    return FFormat == FormatFlac && (FCue || (!common.IsKeepWav && !common.IsNormalize));
}

void TCDRipJob::FinishCueFile()
{
    const int64_t leadOut = int64_t(FFlacOut->SamplesWritten());
    try {
        FFlacOut->FinishFile(false);
    } catch (const std::exception& e) {
        GiveUpCueFile(0, FCueFile + QStringLiteral(": ") + QString::fromUtf8(e.what()));
        return;
    }
    const QString error = CompleteWholeDiscFile(FCueFile, leadOut, FEntries, FCueOffsets, OptionsSetting.CDInfo);
    if (!error.isEmpty()) {
        GiveUpCueFile(0, error);
        return;
    }
    for (int i = 0; i < FEntries.size(); ++i) Succeed(i);
}

// The whole-disc file cannot be made whole: it goes, and no entry counts as produced.
void TCDRipJob::GiveUpCueFile(int failedIndex, const QString& why)
{
    FFlacOut->DiscardFile();
    DiscardPart(PartPathOf(FCueFile));
    FPrompter->ShowError(why);
    for (int i = failedIndex; i < FEntries.size(); ++i) Fail(i, why);
    FCount = int(FEntries.size());
}

// The FLAC writer reading the disc has ended; it has removed the file of a run that failed.
void TCDRipJob::FlacRipDone()
{
    if (!FWaveError.isEmpty()) {
        Post(ProgressCode::RipFinished, FFlacOut->OpenFailed() ? RipError::CreateFailed : RipError::ReadFailed,
             FWaveError);
        return;
    }
    Post(ProgressCode::RipFinished);
}
