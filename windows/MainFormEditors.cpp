// The main window's editor commands: the ID3 tag editor and the track title window, with
// the double click on the track list that renames a track.
#include "windows/MainForm.h"
#include "windows/EditTrackNameForm.h"
#include "windows/ID3EditForm.h"

#include <QAction>
#include <QTreeWidget>

void TMainForm::ConnectEditors()
{
    QAction* rename = Action("aEditTrackName");
    // Renaming needs a selected row; a double click on a row renames it.
    const auto follow = [this, rename] { rename->setEnabled(!FListView->selectedItems().isEmpty()); };
    connect(FListView, &QTreeWidget::itemSelectionChanged, rename, follow);
    connect(FListView->model(), &QAbstractItemModel::modelReset, rename, follow);
    connect(FListView->model(), &QAbstractItemModel::rowsRemoved, rename, follow);
    connect(FListView, &QTreeWidget::itemDoubleClicked, rename, [rename] {
        if (rename->isEnabled())
            rename->trigger();
    });
    follow();
}

void TMainForm::ActionID3EditExecute()
{
    TfrmID3Edit form(this);
    form.exec();
}

void TMainForm::ActionEditTrackNameExecute()
{
    QTreeWidgetItem* item = FListView->selectedItems().value(0);
    if (!item)
        return;
    TfrmEditTrackName form(this);
    form.SetTitle(item->text(1));
    if (form.exec() != QDialog::Accepted || form.Title().isEmpty())
        return;
    item->setText(1, form.Title());

    // The disc cache learns the title at once, by the rule the close uses (the listed
    // disc's rows under its identifier): a rebuild of the list from the cache (a refresh,
    // or an activation that lists the disc again) then shows it too.
    QVector<TTrackRow> rows;
    for (int i = 0; i < FListView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = FListView->topLevelItem(i);
        TTrackRow r;
        r.Number = row->text(0).toInt();
        r.Title = row->text(1);
        rows.append(r);
    }
    FSession.SaveListedTitles(rows);
}
