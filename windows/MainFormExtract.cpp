// The extract command: the ticked rows of the track list become a list of tracks, which
// the conversion job window rips and encodes (with a handle of the CD library), or else the
// rip job window through the CD input component.
#include "windows/MainForm.h"

#include "app/core/DiscAutomation.h"
#include "cd/CDInput.h"
#include "windows/CDRipForm.h"
#include "encode/JobEntry.h"
#include "windows/RipForm.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QAction>
#include <QDir>
#include <QTreeWidget>

namespace {

bool AnyTicked(const QTreeWidget* list)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->checkState(0) == Qt::Checked)
            return true;
    return false;
}

} // namespace

void TMainForm::ActionExtractUpdate()
{
    if (QAction* a = Action(QStringLiteral("ActionExtract")))
        a->setEnabled(AnyTicked(FListView));
}

void TMainForm::WatchExtractState()
{
    // The action is the connections' context: it is deleted before the track list, whose
    // model still reports its own destruction.
    QAction* extract = Action(QStringLiteral("ActionExtract"));
    QAbstractItemModel* model = FListView->model();
    const auto update = [this] { ActionExtractUpdate(); };
    connect(model, &QAbstractItemModel::dataChanged, extract, update);
    connect(model, &QAbstractItemModel::rowsInserted, extract, update);
    connect(model, &QAbstractItemModel::rowsRemoved, extract, update);
    connect(model, &QAbstractItemModel::modelReset, extract, update);
    ActionExtractUpdate();
}

void TMainForm::ActionExtractExecute()
{
    TCommonOptions& common = OptionsSetting.CommonOptions;
    // 1. Something to rip.
    if (!AnyTicked(FListView)) {
        FPrompter->ShowInformation(LangString("RES_Select_Track", QStringLiteral("请至少选择一首音轨，\r\n可点击左侧复选框进行选择。")));
        return;
    }
    // 2. The output folder, made on request (one level).
    const QString folder = common.OutputFolder;
    if (!QDir(folder).exists()) {
        const QString question = folder + QStringLiteral(",")
            + LangString("RES_Directory_Not_Exist", "输出目录不存在。") + QStringLiteral("\n")
            + LangString("RES_Create_Directory", "要创建这个目录吗？");
        if (FPrompter->AskYesNo(question, TPrompter::Answer::Yes) != TPrompter::Answer::Yes)
            return;
        if (!QDir().mkdir(folder)) {
            FPrompter->ShowError(LangString("RES_Cannot_Create", QStringLiteral("无法创建 %1")).arg(folder));
            return;
        }
    }
    // 3. Without a handle of the CD library the CD input component reads: it needs a drive.
    if (CDHandle() == 0 && (!CDIn1() || CDIn1()->DrivesCount() <= 0)) {
        FPrompter->ShowInformation(LangString("RES_Get_CDHandle", QStringLiteral("请首先获取CD句柄!")));
        return;
    }
    // 4. Nothing plays while ripping.
    StopPlayback();
    // 5. A rip time of 0 seconds.
    if (common.EnableRipTime && common.RipTime == 0) {
        FPrompter->ShowInformation(LangString("RES_Select_0", QStringLiteral("你选择提取0秒，请在“选项”对话框中更改。")));
        return;
    }
    // 6. The track list: two-digit position and the cleaned title of every ticked row.
    QStringList tracks;
    for (int i = 0; i < FListView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = FListView->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            tracks.append(RipEntryText(item->data(0, Qt::UserRole).toInt(), item->text(1)));
    }
    // 7. The folder once more.
    if (!QDir(folder).exists()) {
        FPrompter->ShowInformation(LangString("RES_Directory_Not_Exist", "输出目录不存在。")
                                   + LangString("RES_Check_Output", "请检查输出目录的设置。"));
        return;
    }
    // 8. The job window, modal; 9. it and the list are freed on return.
    // Either library's disc reads the same; each has the window it always had.
    std::unique_ptr<TDiscSource> disc = FSession.RipSource();
    bool eject = false;
    if (CDHandle() != 0) {
        TRipForm form(this, *disc, tracks, FPrompter.get());
        form.exec();
        eject = ShouldEjectAfter(OptionsSetting.CommonOptions, form.Job());
    } else {
        TfrmCDRip form(this, *disc, tracks, FPrompter.get());
        form.exec();
        eject = ShouldEjectAfter(OptionsSetting.CommonOptions, form.Job());
    }
    // The drive is let go of before it is asked to open.
    disc.reset();
    if (eject)
        EjectMenuClick();
}
