// Rip on insert: a disc that arrives with known titles is ripped as if the rip button were
// pressed (the extract command ejects it afterwards when that is wanted).
#include "windows/MainForm.h"

#include "app/core/DiscAutomation.h"
#include "settings/Options.h"

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>

void TMainForm::RipOnArrival()
{
    QVector<int> tracks;
    bool anyTicked = false;
    for (int i = 0; i < FListView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = FListView->topLevelItem(i);
        tracks << item->text(0).toInt();
        anyTicked = anyTicked || item->checkState(0) == Qt::Checked;
    }
    const bool busy = QApplication::activeModalWidget() != nullptr;
    if (!ShouldRipOnArrival(OptionsSetting.CommonOptions, DiscTitlesKnown(OptionsSetting.CDInfo, tracks), anyTicked,
                            busy))
        return;
    // After the arrival's notice has been handled: the rip window runs modally.
    QTimer::singleShot(0, this, [this] {
        if (QApplication::activeModalWidget() == nullptr && !FNoDisc)
            ActionExtractExecute();
    });
}
