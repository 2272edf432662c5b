#include "widgets/WorkerRows.h"

#include <QHeaderView>
#include <QTreeWidget>

QTreeWidget* NewWorkerRows(QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QStringLiteral("lvRows"));
    list->setAccessibleName(QStringLiteral("Workers"));
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    list->setHeaderLabels({QStringLiteral("Worker"), QStringLiteral("Track"), QStringLiteral("Stage"), QStringLiteral("%")});
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    return list;
}

void ShowWorkerRows(QTreeWidget* list, const QVector<TPipelineRow>& rows)
{
    while (list->topLevelItemCount() > rows.size()) delete list->takeTopLevelItem(list->topLevelItemCount() - 1);
    for (int i = 0; i < rows.size(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        if (!item) item = new QTreeWidgetItem(list);
        const TPipelineRow& row = rows[i];
        item->setText(0, row.Name);
        item->setText(1, row.Track);
        item->setText(2, row.Stage);
        item->setText(3, row.Track.isEmpty() ? QString() : QString::number(row.Percent));
    }
}
