// The main window's CDDB command: with a handle of the first CD library, the settings
// window and waiting box of the library route; without one, the HTTP CDDB component.
#include "windows/MainForm.h"
#include "cd/CDInput.h"
#include "metadata/CddbInfo.h"
#include "metadata/CddbLookup.h"
#include "windows/QueryCddbForm.h"
#include "settings/CDInfo.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QTreeWidget>

namespace {

// The rows of the table's tracks: a hidden track (track 0) before them has no database title.
int FirstTableRow(const QTreeWidget* list)
{
    return list->topLevelItemCount() > 0 && list->topLevelItem(0)->text(0) == QLatin1String("0") ? 1 : 0;
}

QStringList RowTitles(const QTreeWidget* list)
{
    QStringList titles;
    for (int i = FirstTableRow(list); i < list->topLevelItemCount(); ++i)
        titles << list->topLevelItem(i)->text(1);
    return titles;
}

void SetRowTitles(QTreeWidget* list, const QStringList& titles)
{
    const int first = FirstTableRow(list);
    for (int i = first; i < list->topLevelItemCount() && i - first < titles.size(); ++i) {
        list->topLevelItem(i)->setText(1, titles[i - first]);
        list->topLevelItem(i)->setTextAlignment(1, Qt::AlignLeft | Qt::AlignVCenter);
    }
}

// The table of contents of the main window's CD input component (the drive it lists).
std::unique_ptr<TCddbTocSource> CddbTocSourceOfCDIn(TCDIn& in)
{
    return std::make_unique<TCddbCDInToc>(in);
}

} // namespace

void TMainForm::QueryCDDBExecute()
{
    if (FListView->topLevelItemCount() == 0)
        return;
    const HCDROM handle = FSession.CDHandle();
    if (handle != 0) {
        TTocRecord toc{};
        if (!ModifyCDParms(handle, CDP_MSF, 1) || ReadTOC(handle, toc) != 1) {
            FPrompter->ShowError(LangString("RES_ReadTocError", QStringLiteral("读取toc信息出错！")));
            return;
        }
        TfrmQueryCDDB form(toc.FirstTrack, toc.LastTrack, handle, this);
        form.OnEntry = [this](const TCddbEntry& entry) {
            QStringList titles = RowTitles(FListView);
            ApplyCddbEntry(entry, OptionsSetting.CDInfo, titles, false);
            SetRowTitles(FListView, titles);
        };
        form.exec();
        return;
    }
    // Without a handle: the HTTP CDDB component over the CD input component's table of
    // contents. A lookup without an entry changes nothing and says why.
    TCDDBInfo info;
    info.Server = OptionsSetting.QueryCDDB.Server;
    info.Script = OptionsSetting.QueryCDDB.Script;
    info.Http.UseProxy = OptionsSetting.QueryCDDB.UseProxy;
    info.Http.ProxyAddress = OptionsSetting.QueryCDDB.ProxyAddress;
    info.Http.ProxyPort = OptionsSetting.QueryCDDB.Port;
    std::unique_ptr<TCddbTocSource> source = CddbTocSourceOfCDIn(*FCDIn1);
    if (!source) {
        FPrompter->ShowError(LangString("RES_ReadTocError", QStringLiteral("读取toc信息出错！")));
        return;
    }
    info.SetCDIn(source.get());
    info.Query();
    if (!info.HasEntry()) {
        QStringList lines = CddbNoMatchHints();
        lines << QString() << info.Reason();
        FPrompter->ShowInformation(lines.join('\n'));
        return;
    }
    const TCDDBAlbum album = info.AlbumRecord();
    QStringList titles = RowTitles(FListView);
    for (int i = 0; i < album.TrackCount && i < titles.size(); ++i)
        if (const QString stored = StoredCddbTitle(album, i); !stored.isEmpty())   // a title the entry lacks leaves its row
            titles[i] = stored;
    SetRowTitles(FListView, titles);
    StoreCddbDiscFields(album);
}

void TMainForm::StoreCddbDiscFields(const TCDDBAlbum& album)
{
    TCDInfo& cd = OptionsSetting.CDInfo;
    cd.Artist = album.Artist;
    cd.Album = album.AlbumTitle;
    cd.Year = album.Year;
    cd.Genre = GenreIndexOf(album.Genre);
    cd.Comment = album.Reserved;
}
