#include "jobs/JobBase.h"

#include "settings/Options.h"
#include "settings/Lang.h"

TJobBase::TJobBase(const QStringList& entries, TPrompter* prompter, std::shared_ptr<const TOptionsSetting> settings,
                   QObject* parent)
    : QObject(parent), FEntries(entries), FPrompter(prompter),
      FSettingsCopy(settings ? std::move(settings) : std::make_shared<const TOptionsSetting>(OptionsSetting)),
      FSettings(*FSettingsCopy), FExisting(TExisting(FSettings.CommonOptions.Existing), prompter)
{
    FResults.resize(FEntries.size());
}

QString TJobBase::ClaimOutput(int index, const QString& wanted)
{
    const TExistingFiles::TDecision d = FExisting.Decide(wanted);
    if (index >= 0 && index < FResults.size()) FResults[index].Output = d.Path;
    switch (d.Action) {
    case TExistingFiles::TDecision::Write:
        return d.Path;
    case TExistingFiles::TDecision::Skip:
        Succeed(index);
        return {};
    case TExistingFiles::TDecision::Keep:
        FPrompter->ShowError(d.Reason);
        Fail(index, d.Reason);
        return {};
    }
    return {};
}

bool TJobBase::ClaimSharedOutput(QString& path)
{
    const TExistingFiles::TDecision d = FExisting.Decide(path);
    for (TEntryResult& r : FResults) r.Output = d.Path;
    if (d.Action == TExistingFiles::TDecision::Write) {
        path = d.Path;
        return true;
    }
    if (d.Action == TExistingFiles::TDecision::Keep) FPrompter->ShowError(d.Reason);
    for (int i = 0; i < FResults.size(); ++i) {
        if (d.Action == TExistingFiles::TDecision::Skip) Succeed(i);
        else Fail(i, d.Reason);
    }
    return false;
}

QString TJobBase::ClaimExtra(const QString& wanted)
{
    const TExistingFiles::TDecision d = FExisting.Decide(wanted);
    if (d.Action == TExistingFiles::TDecision::Write) return d.Path;
    if (d.Action == TExistingFiles::TDecision::Keep) FPrompter->ShowError(d.Reason);
    return {};
}

void TJobBase::Fail(int index, const QString& why)
{
    if (index < 0 || index >= FResults.size()) return;
    FResults[index].Produced = false;
    if (FResults[index].Failure.isEmpty()) FResults[index].Failure = why;
}

void TJobBase::Succeed(int index)
{
    if (index < 0 || index >= FResults.size()) return;
    FResults[index].Produced = FResults[index].Failure.isEmpty();
    if (FResults[index].Produced && FOnProduced) FOnProduced(FResults[index].Output);
}

void TJobBase::FailUnproduced()
{
    for (int i = 0; i < FResults.size(); ++i)
        if (!FResults[i].Produced) Fail(i, LangString(QStringLiteral("RES_Entry_Stopped"), QStringLiteral("已停止")));
}

void TJobBase::Complete()
{
    CleanUp();
    if (FDone) return;
    if (FBeforeClose) {
        const auto hold = std::move(FBeforeClose);
        FBeforeClose = nullptr;
        if (hold([this] { Complete(); })) return;
    }
    FDone = true;
    // The close request is posted: the window closes after the handler has returned.
    QMetaObject::invokeMethod(this, &TJobBase::CloseRequested, Qt::QueuedConnection);
}
