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
    TFlacCueSheet sheet;
    const TCDInfo& info = OptionsSetting.CDInfo;
    sheet.FileName = QFileInfo(FCueFile).fileName();
    sheet.Title = info.Album;
    sheet.Performer = info.Artist;
    sheet.LeadOut = int64_t(FFlacOut->SamplesWritten());
    // The stored titles, not the ones that stood in for equal or empty titles in file names.
    for (int i = 0; i < FEntries.size() && i < int(FCueOffsets.size()); ++i) {
        const TRipEntry entry = ParseRipEntry(FEntries.value(i));
        sheet.Tracks.push_back({entry.TrackNumber, FCueOffsets[size_t(i)], entry.Title, info.Artist});
    }
    try {
        // The cue sheet goes into the part file, which then becomes the disc's file.
        FFlacOut->FinishFile(false);
        WriteFlacCueSheet(PartPathOf(FCueFile), sheet);
    } catch (const std::exception& e) {
        GiveUpCueFile(0, FCueFile + QStringLiteral(": ") + QString::fromUtf8(e.what()));
        return;
    }
    QString error;
    if (!CommitPart(PartPathOf(FCueFile), FCueFile, &error)) {
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
