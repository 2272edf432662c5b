#pragma once
// The "Find" button beside the read offset on the options window's CD-ROM page: runs
// `varnelcd-cli offset find` for the chosen drive (a process of its own, so the window's
// disc session is not touched and Cancel ends it at once) and puts the offset it finds into
// the spin box; the window stores it with its other values.
#include <functional>

class QBoxLayout;
class QSpinBox;
class QWidget;

// driveIndex: the drive chosen in the window (a position in the drive list, -1 none).
void AddOffsetFindButton(QWidget* page, QBoxLayout* row, QSpinBox* offset, std::function<int()> driveIndex);
