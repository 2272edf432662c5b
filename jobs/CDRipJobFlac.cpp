// The rip job's whole-disc FLAC file: encoded straight from the read (one stream cannot be
// split over workers), with its cue sheet once the last track is in.
#include "jobs/CDRipJob.h"

#include "encode/FlacRip.h"
#include "encode/JobEntry.h"
#include "metadata/TagWriters.h"
#include "platform/OutputFile.h"

void TCDRipJob::FinishCueFile()
{
    auto* sink = static_cast<TFlacRipSink*>(FRipSink.get());
    if (!sink || !sink->FinishDisc()) {
        GiveUpCueFile(0, FCueFile + QStringLiteral(": ") + (sink ? sink->Error() : QString()));
        return;
    }
    // The album's tags (its loudness over every track) before the cue sheet goes in.
    QString error;
    if (!WriteFileTags(PartPathOf(FCueFile), TTagFormat::Flac, DiscTags(), TagWriteOptionsOf(FSettings), &error)
        && error.isEmpty())
        error = FCueFile + QStringLiteral(": the tags could not be written");
    if (error.isEmpty())
        error = CompleteWholeDiscFile(FCueFile, int64_t(sink->Samples()), FEntries, sink->TrackOffsets(), FSettings.CDInfo,
                                      CueLayout());
    FRipSink.reset();
    if (!error.isEmpty()) {
        GiveUpCueFile(0, error);
        return;
    }
    for (int i = 0; i < FEntries.size(); ++i) Succeed(i);
}

// The whole-disc file cannot be made whole: it goes, and no entry counts as produced.
void TCDRipJob::GiveUpCueFile(int failedIndex, const QString& why)
{
    if (FRipSink) FRipSink->Discard();
    FRipSink.reset();
    DiscardPart(PartPathOf(FCueFile));
    FRip.reset();
    FPrompter->ShowError(why);
    for (int i = failedIndex; i < FEntries.size(); ++i) Fail(i, why);
    FCount = int(FEntries.size());
}
