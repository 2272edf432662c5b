// The main window's MusicBrainz command: the disc id of the listed disc, the lookup and the
// cover download on a thread of their own behind a box with Stop, the user's choice when
// several releases fit, and the chosen release's titles in the list and the disc information.
#include "windows/MainForm.h"
#include "cd/CDInput.h"
#include "metadata/CddbInfo.h"
#include "metadata/MusicBrainz.h"
#include "settings/CDInfo.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>
#include <memory>

namespace {

// Runs `work` on a thread of its own while a small box with Stop is shown. Stop aborts the
// request through `abort`, which ends the work at once. True when the work ended by itself.
bool RunWithStop(QWidget* parent, const QString& text, THttpAbort& abort, std::function<void()> work)
{
    QDialog box(parent);
    box.setObjectName("frmMusicBrainzWait");
    box.setWindowTitle(QStringLiteral("MusicBrainz"));
    auto* layout = new QVBoxLayout(&box);
    auto* label = new QLabel(text, &box);
    label->setObjectName("lHint");
    layout->addWidget(label);
    auto* stop = new QPushButton(QStringLiteral("Stop"), &box);
    stop->setObjectName("bStop");
    layout->addWidget(stop, 0, Qt::AlignHCenter);
    box.setMinimumWidth(300);
    std::unique_ptr<QThread> thread(QThread::create(std::move(work)));
    QObject::connect(thread.get(), &QThread::finished, &box, &QDialog::accept);   // queued: another thread
    QObject::connect(stop, &QPushButton::clicked, &box, [&] {
        abort.Abort();
        box.reject();
    });
    thread->start();
    const bool finished = box.exec() == QDialog::Accepted;
    if (!finished)
        abort.Abort();
    thread->wait();
    return finished && !abort.Aborted();
}

} // namespace

void TMainForm::QueryMusicBrainzExecute()
{
    if (FListView->topLevelItemCount() == 0)
        return;
    std::unique_ptr<TCddbTocSource> source;
    if (FSession.CDHandle() != 0)
        source = std::make_unique<TCddbHandleToc>(FSession.CDHandle());
    else
        source = std::make_unique<TCddbCDInToc>(*FCDIn1);
    TCddbToc toc;
    if (!source->ReadCddbToc(toc)) {
        FPrompter->ShowError(LangString("RES_ReadTocError", QStringLiteral("读取toc信息出错！")));
        return;
    }
    // A hidden track (track 0) before the table's tracks has no database title.
    const int firstRow = FListView->topLevelItemCount() > 1 && FListView->topLevelItem(0)->text(0) == QLatin1String("0") ? 1 : 0;
    bool numbered = false;
    const int first = FListView->topLevelItem(firstRow)->text(0).toInt(&numbered);
    const TMbDiscId id = MbDiscIdOf(toc, numbered ? first : 1);
    if (!id.Valid) {
        FPrompter->ShowError(id.Error);
        return;
    }

    const TMusicBrainzOptions settings = OptionsSetting.MusicBrainz;
    const THttpOptions http = MbHttpOptions(OptionsSetting.QueryCDDB);
    TMbLookup found;
    {
        THttpAbort abort;
        if (!RunWithStop(this, LangString("RES_Mb_Querying", QStringLiteral("正在查询MusicBrainz...")), abort,
                         [&] { found = MbLookupDisc(settings.Server, id, toc, http, &abort); }))
            return;
    }
    if (found.Result != TMbLookup::Outcome::Found) {
        FPrompter->ShowInformation(found.Error);
        return;
    }
    const int chosen = ChooseMbRelease(found.Releases, *FPrompter);
    if (chosen < 0)
        return;   // cancelled: the list and the disc information stay as they were
    const TMbRelease& release = found.Releases[chosen];
    QStringList titles;
    for (int i = firstRow; i < FListView->topLevelItemCount(); ++i)
        titles << FListView->topLevelItem(i)->text(1);
    ApplyMbRelease(release, OptionsSetting.CDInfo, titles);
    for (int i = firstRow; i < FListView->topLevelItemCount() && i - firstRow < titles.size(); ++i)
        FListView->topLevelItem(i)->setText(1, titles[i - firstRow]);

    if (!settings.Cover)
        return;
    TCoverFetch cover;
    {
        THttpAbort abort;
        if (!RunWithStop(this, LangString("RES_Mb_FetchingCover", QStringLiteral("正在下载封面...")), abort,
                         [&] { cover = FetchMbCover(settings.CoverArt, release.Id, http, &abort); }))
            return;
    }
    // No cover is no failure; a failed download keeps the titles and says why.
    if (cover.Result == TCoverFetch::Outcome::Failed)
        FPrompter->ShowWarning(LangString("RES_Mb_CoverNotFetched", QStringLiteral("无法下载封面：")) + cover.Error);
    else if (cover.Result == TCoverFetch::Outcome::Found && StoreMbCover(release.Id, cover.Image).isEmpty())
        FPrompter->ShowWarning(LangString("RES_Mb_CoverNotWritten", QStringLiteral("无法把封面写入 ")) + CoverFolder());
}
