#include "widgets/WorkerRows.h"

#include "settings/Lang.h"
#include <QHeaderView>
#include <QTreeWidget>

QTreeWidget* NewWorkerRows(QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QStringLiteral("lvRows"));
    list->setAccessibleName(LangString(QStringLiteral("RES_Rows_Workers"), QStringLiteral("工作线程")));
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    list->setHeaderLabels({LangString(QStringLiteral("RES_Rows_Worker"), QStringLiteral("线程")),
                          LangString(QStringLiteral("RES_Rows_Track"), QStringLiteral("音轨")),
                          LangString(QStringLiteral("RES_Rows_Stage"), QStringLiteral("阶段")), QStringLiteral("%")});
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
        // The reader's row is named "rip" (the tag of its command-line lines); shown in words.
        item->setText(0, row.Name == QLatin1String("rip") ? LangString(QStringLiteral("RES_Rows_Reader"), QStringLiteral("读取")) : row.Name);
        item->setText(1, row.Track);
        item->setText(2, row.Stage);
        item->setText(3, row.Track.isEmpty() ? QString() : QString::number(row.Percent));
    }
}
