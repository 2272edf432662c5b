// The rip job's end: the CUETools database's check and the repair of the files, then the
// log once AccurateRip has answered; the verdicts for the views.
#include "jobs/CDRipJob.h"

#include "cd/RipAudit.h"
#include "jobs/RipProof.h"

bool TCDRipJob::HoldForChecks(std::function<void()> resume)
{
    const auto writeLog = [this](std::function<void()> then) {
        FAudit->SetCtdb(FProof->Log());
        // The log waits for AccurateRip's answer; the verdicts come with it.
        const auto shown = [this, then] {
            FView.Verdicts = VerdictLines();
            Changed();
            then();
        };
        if (!FAudit->HoldCompletion(shown)) {
            FView.Verdicts = VerdictLines();
            Changed();
            return false;
        }
        return true;
    };
    QString why;
    const QStringList files = RepairableFiles(why);
    if (FProof->Hold(files, why, [writeLog, resume] {
            if (!writeLog(resume)) resume();
        }))
        return true;
    return writeLog(std::move(resume));
}

QStringList TCDRipJob::RepairableFiles(QString& why) const
{
    if (FFormat != FormatWav && FFormat != FormatFlac) {
        why = QLatin1String(OutputFormats[FFormat].Name) + QStringLiteral(" files cannot be repaired in place");
        return {};
    }
    if (FSettings.CommonOptions.IsNormalize) {
        why = QStringLiteral("the files were normalized after the read");
        return {};
    }
    if (FCue) return {FCueFile};
    QStringList files;
    for (int i = 0; i < FEntries.size(); ++i) {
        if (!FResults[i].Produced) {
            why = QStringLiteral("not every track's file was made");
            return {};
        }
        files << FResults[i].Output;
    }
    return files;
}

QStringList TCDRipJob::VerdictLines() const
{
    if (!FAudit || !FAudit->Begun()) return {};
    const TRipLogRecord record = FAudit->Record();
    QStringList lines;
    for (const TRipLogTrack& t : record.Tracks) {
        // Nothing to say of a track no database was asked about.
        if (!t.Read || (t.Verdict.Kind == TTrackVerdict::NotChecked && t.Ctdb.isEmpty())) continue;
        QString line = QStringLiteral("Track %1: AccurateRip %2").arg(t.Number).arg(t.Verdict.Text());
        if (!t.Ctdb.isEmpty()) line += QStringLiteral("; CTDB ") + t.Ctdb;
        lines << line;
    }
    for (const QString& line : record.CtdbLines) lines << QStringLiteral("CTDB: ") + line;
    for (const QString& line : record.RepairLines) lines << QStringLiteral("CTDB repair: ") + line;
    return lines;
}

QString TCDRipJob::VerdictSummary() const
{
    if (!FAudit || !FAudit->Begun()) return {};
    const TRipLogRecord record = FAudit->Record();
    int read = 0, accurate = 0;
    bool asked = false;
    for (const TRipLogTrack& t : record.Tracks) {
        if (!t.Read) continue;
        ++read;
        asked = asked || t.Verdict.Kind != TTrackVerdict::NotChecked;
        if (t.Verdict.Kind == TTrackVerdict::Accurate) ++accurate;
    }
    QStringList parts;
    if (asked) parts << QStringLiteral("AccurateRip: %1 of %2 tracks accurate").arg(accurate).arg(read);
    if (!record.CtdbLines.isEmpty()) parts << QStringLiteral("CTDB: ") + record.CtdbLines.constFirst();
    return parts.join(QLatin1Char('\n'));
}

bool TCDRipJob::LogFailed() const
{
    return FAudit && FAudit->LogFailed();
}
