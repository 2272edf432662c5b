#include "jobs/JobBase.h"

TJobBase::TJobBase(const QStringList& entries, TPrompter* prompter, QObject* parent)
    : QObject(parent), FEntries(entries), FPrompter(prompter)
{
    FResults.resize(FEntries.size());
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
        if (!FResults[i].Produced) Fail(i, QStringLiteral("stopped"));
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
