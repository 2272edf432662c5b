// The main window's options command and what the options window asks of it: the drive
// list of its CD-ROM page and the change to another drive.
#include "app/MainForm.h"
#include "app/OptionSetForm.h"
#include "platform/akrip32.h"

#include <QFileInfo>
#include <QPoint>
#include <cstring>

namespace {

QString EntryText(const char* text, size_t size)
{
    return QString::fromLocal8Bit(text, int(strnlen(text, size))).trimmed();
}

// The drives of the first CD library: vendor and product; a disc image adds its file name,
// so that two images can be told apart.
QStringList FirstLibraryDriveNames()
{
    TDriveList list;
    std::memset(&list, 0, sizeof list);
    list.Capacity = MAX_CD_DRIVES;
    GetCDList(list);
    QStringList names;
    for (int i = 0; i < list.Count; ++i) {
        const TDriveEntry& e = list.Entries[i];
        QString name = (EntryText(e.Vendor, sizeof e.Vendor) + " " + EntryText(e.Product, sizeof e.Product)).trimmed();
        if (DriveIsImage(i))
            name += " (" + QFileInfo(DriveIdentifier(i)).fileName() + ")";
        names.append(name);
    }
    return names;
}

} // namespace

TOptionSetHost TMainForm::OptionSetHost()
{
    TOptionSetHost host;
    host.DriveNames = [this] {
        if (FSession.CDHandle() != 0)
            return FirstLibraryDriveNames();
        return QStringList();
    };
    host.UseDrive = [this](int index) {
        if (FSession.CDHandle() == 0)
            return;
        // As a refresh does: list the disc, or say why there is none. Listing clears the
        // list, which first stores the disc listed so far.
        if (SelectDrive(index) != 0 && AudioDiscPresent()) {
            ReadDiscList();
        } else {
            ClearList();
            SetStatusText(FSession.CDHandle() != 0 ? FSession.NoDiscText() : TDiscSession::NotFoundText());
        }
    };
    host.KeepStatus = [this] { FSavedStatus = StatusText(); };
    return host;
}

void TMainForm::ActionOptionSetExecute()
{
    TOptionSetForm form(*FPrompter, OptionSetHost(), this);
    form.move(pos() + QPoint(50, 50));
    form.exec();
}
