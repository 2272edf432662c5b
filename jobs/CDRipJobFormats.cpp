// The rip job's several formats from one read ([CommonOptions] ExtraFormats): every ripped
// track goes to one encoder per format, each a task of its own for the workers; the rip's
// WAV goes when the last of them is done with it. Each format's files are named by the
// pattern with %F as that format's name; where two formats would still get the same name
// (AAC and ALAC both make ".m4a"), the later one in the list gets " (<format>)" before its
// extension.
#include "jobs/CDRipJob.h"

#include "platform/OutputFile.h"
#include "settings/FileNamePattern.h"

#include <QFile>

void TCDRipJob::SetUpFormats(const QSet<QString>& primaryPaths)
{
    const TCommonOptions& common = FSettings.CommonOptions;
    FFormats = {FFormat};
    for (const QString& word : common.ExtraFormats.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int format = OutputFormatOfWord(word.trimmed());
        if (format >= 0 && !FFormats.contains(format)) FFormats.append(format);
    }
    // The whole-disc file has no per-track WAV name of its own to share with others.
    QSet<QString> taken = primaryPaths;
    FSlotPaths.clear();
    for (int k = 1; k < FFormats.size(); ++k) {
        const TOutputFormatRow& row = OutputFormats[size_t(FFormats[k])];
        const QString ext = QLatin1String(row.Extension);
        QSet<QString> used;   // numbered within the format as a rip of it alone would be
        QStringList paths;
        for (const QString& entry : FEntries) {
            TFileNameTags tags = RipEntryTags(entry, FSettings.CDInfo);
            tags.Format = QLatin1String(row.Word);
            QString path = PatternRelativePath(common.FileNamePattern, tags, ext, used);
            if (taken.contains(path.toLower()) && row.Format != FormatWav) {
                path.chop(ext.size());
                path += QStringLiteral(" (") + QLatin1String(row.Word) + QLatin1Char(')') + ext;
            }
            paths.append(path);
        }
        for (const QString& p : paths) taken.insert(p.toLower());
        FSlotPaths.append(paths);
    }
}

void TCDRipJob::ClaimExtraFormats(int index)
{
    for (int k = 1; k < FFormats.size(); ++k) {
        const int task = TaskOf(index, k);
        if (FSlotFinal.contains(task)) continue;
        // WAV among the formats: the rip itself is kept under that name (once).
        const bool wav = FFormats[k] == FormatWav;
        FSlotFinal[task] = QString();
        if (wav && FKeepWav.contains(index)) continue;
        const QString& folder = FSettings.CommonOptions.OutputFolder;
        const QString relative = FSlotPaths[k - 1].value(index);
        QString why;
        if (!MakeOutputFolders(folder, relative, &why)) {
            // The format's file cannot be made: the entry fails with it once its others are done.
            FTaskFailures[index].append({why, why});
            continue;
        }
        const QString out = ClaimExtra(OutputFilePath(folder, relative));
        if (wav) FKeepWav[index] = out;
        else FSlotFinal[task] = out;
    }
}

QString TCDRipJob::EncodeInput(int index) const
{
    // A WAV rip has its final name by the time it is encoded into the other formats.
    return FFormat == FormatWav ? OutputName(index) : RipFile(index);
}

void TCDRipJob::QueueEncodes(int index)
{
    int tasks = 0;
    for (int k = 0; k < FFormats.size(); ++k) {
        const int task = TaskOf(index, k);
        const bool encode = k == 0 ? !FCue && FFormat != FormatWav : !FSlotFinal.value(task).isEmpty();
        if (!encode) continue;
        FPipeline.Ripped(task);
        ++tasks;
    }
    if (tasks > 0) {
        FOpenTasks[index] = tasks;
        return;
    }
    EntryEncoded(index);
}

void TCDRipJob::TaskEnded(int task, const QString& why, const QString& message)
{
    const int index = EntryOf(task);
    if (!why.isEmpty()) FTaskFailures[index].append({why, message});
    else if (SlotOf(task) > 0) FSlotMade[index].append(FSlotFinal.value(task));
    if (--FOpenTasks[index] > 0) return;
    FOpenTasks.remove(index);
    EntryEncoded(index);
}

void TCDRipJob::EntryEncoded(int index)
{
    const auto failures = FTaskFailures.take(index);
    // The whole-disc file's entries are counted when it is finished.
    const bool counted = !FCue;
    if (failures.isEmpty()) {
        if (FFormat != FormatWav) KeepOrDiscardRip(index);
        FPipeline.Finish(index, [this, index, counted] {
            if (counted) Succeed(index);
        });
        return;
    }
    // The encoders have removed their part files; the rip is kept as a WAV for another try
    // (its name by the Existing rule, whose decision clears the WAV's part-file name: the rip
    // waits under another part name meanwhile). A WAV rip is an output already.
    if (FFormat == FormatWav) {
    } else if (FKeepWav.contains(index)) {
        KeepOrDiscardRip(index);
    } else {
        const QString wav = RipFile(index);
        const QString aside = PartPathOf(WavName(index) + QStringLiteral(".failed"));
        DiscardPart(aside);
        const QString keep = QFile::rename(wav, aside) ? ClaimExtra(WavName(index)) : QString();
        QString error;
        if (keep.isEmpty()) DiscardPart(aside);
        else if (!CommitPart(aside, keep, &error)) FPrompter->ShowError(error);
        DiscardPart(wav);
    }
    FPipeline.Finish(index, [this, index, failures] {
        for (const auto& f : failures)
            if (!f.second.isEmpty()) FPrompter->ShowError(f.second);
        Fail(index, failures.front().first);
    });
}
