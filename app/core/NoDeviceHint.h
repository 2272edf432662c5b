#pragma once
// Why no CD drive can be reached: the texts of the no-device hint, shared by its window and
// the command line.
#include <QString>
#include <QStringList>

namespace NoDeviceHint {

// The hint's lines as the window shows them (line 1 runs over two labels there).
QString Heading();
QString Cause1();          // drive locked by another program
QString Cause2();          // not in the cdrom group
QString Cause3();          // no drive recognised
// The pages the two links open.
QString GroupsPage();
QString DrivePage();

// One line for each CD device node found that cannot be opened, naming it and why; a line
// saying that no node was found when there is none.
QStringList DeviceLines();

// Everything, one cause a line, for the command line.
QStringList AllLines();

} // namespace NoDeviceHint
