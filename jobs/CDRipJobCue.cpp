// The rip job's cue sheet beside a rip of separate files: "<Artist> - <Album>.cue" in the
// folder of the first file, naming every file made, with the disc's gaps (at the end of the
// file before, where the rip put them), index points, ISRC, flags and titles.
#include "jobs/CDRipJob.h"

#include "cd/DiscId.h"
#include "cd/DiscReader.h"
#include "encode/CueSheet.h"
#include "encode/FlacRip.h"
#include "encode/JobEntry.h"
#include "platform/OutputFile.h"
#include "platform/Prompter.h"
#include "settings/FileNamePattern.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

// The disc's table, gaps, codes and CDDB id for a cue sheet.
TWholeDiscLayout TCDRipJob::CueLayout() const
{
    TWholeDiscLayout cue;
    if (!FAudit || FAudit->Disc().Starts.empty()) return cue;
    const TDiscLayout& layout = FAudit->Disc();
    cue.Starts = layout.Starts;
    cue.Starts.push_back(layout.LeadOut);
    TCddbToc toc;
    for (int64_t s : layout.Starts) toc.Starts << int(s);
    toc.LeadOut = int(layout.LeadOut);
    cue.DiscId = CddbDiscIdOf(toc).IdText;
    cue.Extras = FDisc.Extras();
    return cue;
}

void TCDRipJob::NoteHiddenAudio()
{
    if (!FAudit->Begun()) return;
    const TDiscLayout& disc = FAudit->Disc();
    if (disc.Starts.empty() || disc.Starts[0] <= 0 || (!disc.Data.empty() && disc.Data[0])) return;
    for (const QString& e : FEntries) {
        if (ParseRipEntry(e).TrackNumber == 0) {
            FAudit->SetHiddenAudio(QStringLiteral("%1 sectors, ripped as track 0").arg(disc.Starts[0]));
            return;
        }
    }
    THiddenAudio hidden;
    if (!FindHiddenAudio(FDisc, hidden) || hidden.Sectors <= 0) return;
    FAudit->SetHiddenAudio(hidden.Audible ? QStringLiteral("%1 sectors of audio, not chosen").arg(hidden.Sectors)
                                          : QStringLiteral("%1 sectors of digital silence, not ripped").arg(hidden.Sectors));
}

void TCDRipJob::WriteRipCueSheet()
{
    // The whole-disc file carries its own; a cut rip (rip time) has no layout to describe.
    if (FCue || FStopped || !FAudit || !FSettings.CommonOptions.CueSheet || FSettings.CommonOptions.EnableRipTime)
        return;
    const TDiscLayout& layout = FAudit->Disc();
    std::vector<TCuePiece> pieces;
    QString folder;
    for (int i = 0; i < Results().size() && i < FEntries.size(); ++i) {
        const TEntryResult& r = Results()[i];
        if (!r.Produced || r.Output.isEmpty()) continue;
        if (folder.isEmpty()) folder = QFileInfo(r.Output).absolutePath();
        pieces.push_back({ParseRipEntry(FEntries[i]).TrackNumber, r.Output, 0});
    }
    if (pieces.empty() || layout.Starts.empty()) return;
    std::sort(pieces.begin(), pieces.end(), [](const TCuePiece& a, const TCuePiece& b) { return a.Track < b.Track; });
    for (TCuePiece& p : pieces) p.File = QDir(folder).relativeFilePath(p.File);

    const TWholeDiscLayout cue = CueLayout();
    const TCueDisc disc = RipCueSheet(pieces, cue.Starts, cue.Extras, FSettings.CDInfo, cue.DiscId,
                                      FTagExtras.CDText.TrackPerformers);

    const QString wanted = folder + u'/' + DiscFileName(FSettings.CDInfo.Artist, FSettings.CDInfo.Album, QStringLiteral(".cue"));
    const QString path = ClaimExtra(wanted);
    if (path.isEmpty()) return;
    QString error;
    if (!WriteWholeFile(path, WriteCueSheet(disc), &error)) FPrompter->ShowError(path + QStringLiteral(": ") + error);
}
