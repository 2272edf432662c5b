// Rip on insert: a disc that arrives with known titles (cache, CD-Text, or the one entry a
// CDDB lookup finds when lookups are allowed) is ripped as if the rip button were pressed;
// the extract command ejects it afterwards when that is wanted.
#include "windows/MainForm.h"

#include "app/core/DiscAutomation.h"
#include "metadata/CddbInfo.h"
#include "settings/CDInfo.h"
#include "settings/Options.h"

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

void TMainForm::RipOnArrival()
{
    if (OptionsSetting.CommonOptions.AutoRip != 1 || QApplication::activeModalWidget() != nullptr)
        return;
    // After the arrival's notice has been handled: a lookup waits for its server and the rip
    // window runs modally.
    QTimer::singleShot(0, this, [this] {
        if (QApplication::activeModalWidget() != nullptr || FNoDisc)
            return;
        QVector<int> tracks;
        bool anyTicked = false;
        for (int i = 0; i < FListView->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = FListView->topLevelItem(i);
            tracks << item->text(0).toInt();
            anyTicked = anyTicked || item->checkState(0) == Qt::Checked;
        }
        bool known = DiscTitlesKnown(OptionsSetting.CDInfo, tracks);
        if (!known && anyTicked && OptionsSetting.CDOptions.CDDb)
            known = TakeSingleLookupMatch();
        if (ShouldRipOnArrival(OptionsSetting.CommonOptions, known, anyTicked, false))
            ActionExtractExecute();
    });
}

bool TMainForm::TakeSingleLookupMatch()
{
    std::unique_ptr<TCddbTocSource> toc;
    if (FSession.CDHandle() != 0)
        toc = std::make_unique<TCddbHandleToc>(FSession.CDHandle());
    else if (FSession.UsingCDIn())
        toc = std::make_unique<TCddbCDInToc>(*FCDIn1);
    TCDDBAlbum album;
    if (!toc || !LookUpSingleMatch(*toc, OptionsSetting.QueryCDDB, album))
        return false;
    // The entry's titles go into the rows of the table's tracks (a hidden track 0 has none),
    // its disc fields into the disc information, as the CDDB command puts them.
    int k = 0;
    for (int i = 0; i < FListView->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = FListView->topLevelItem(i);
        if (item->text(0) == QLatin1String("0"))
            continue;
        if (const QString stored = StoredCddbTitle(album, k++); !stored.isEmpty())
            item->setText(1, stored);
    }
    StoreCddbDiscFields(album);
    return true;
}
