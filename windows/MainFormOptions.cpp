// The main window's options command and what the options window asks of it: the drive
// list of its CD-ROM page and the change to another drive.
#include "windows/MainForm.h"
#include "windows/OptionSetForm.h"
#include "cd/CDInput.h"
#include "platform/CDRipLib.h"
#include "platform/akrip32.h"

#include <QFileInfo>
#include <QPoint>
#include <cstring>

namespace {

QString EntryText(const char* text, size_t size)
{
    return QString::fromLocal8Bit(text, int(strnlen(text, size))).trimmed();
}

// A disc image stands in for a drive under the name every image has: its file name tells
// two images apart.
QString WithImageName(const QString& name, int tableIndex)
{
    if (!DriveIsImage(tableIndex))
        return name;
    return name + " (" + QFileInfo(DriveIdentifier(tableIndex)).fileName() + ")";
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
        const QString name = EntryText(e.Vendor, sizeof e.Vendor) + " " + EntryText(e.Product, sizeof e.Product);
        names.append(WithImageName(name.trimmed(), i));
    }
    return names;
}

// The drives of the CD input component. Naming a drive makes it the component's current
// one: the drive it was on is put back, so that listing changes nothing.
QStringList CDInDriveNames(TCDIn& cdIn)
{
    const int current = cdIn.CurrentDrive();
    QStringList names;
    const int count = cdIn.DrivesCount();
    for (int i = 0; i < count; ++i) {
        cdIn.SetCurrentDrive(i);
        names.append(WithImageName(cdIn.DriveName(), CR_TableIndex(i)));
    }
    cdIn.SetCurrentDrive(current);
    return names;
}

} // namespace

TOptionSetHost TMainForm::OptionSetHost()
{
    TOptionSetHost host;
    host.DriveNames = [this] {
        if (FSession.CDHandle() != 0)
            return FirstLibraryDriveNames();
        return CDInDriveNames(*FCDIn1);
    };
    // As a refresh does: list the disc, or say why there is none. Listing clears the list,
    // which first stores the disc listed so far.
    host.UseDrive = [this](int index) {
        if (FSession.CDHandle() != 0) {
            if (SelectDrive(index) != 0 && AudioDiscPresent()) {
                ReadDiscList();
                return;
            }
        } else {
            FSession.UseCDIn(*FCDIn1, index);
            if (AudioDiscPresent()) {
                ListDiscTracks();
                return;
            }
        }
        ClearList();
        SetStatusText(FSession.CDHandle() != 0 || FSession.UsingCDIn() ? FSession.NoDiscText()
                                                                        : TDiscSession::NotFoundText());
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
