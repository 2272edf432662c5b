// The main window's "OGG文件播放(&O)..." command.
#include "windows/MainForm.h"
#include "windows/OggPlayerForm.h"

#include <exception>

// Shows the OGG player modally and frees it; a failure while it runs only ends it.
void TMainForm::miOGGPlayerClick()
{
    try {
        TfrmOggPlayer form(this);
        form.exec();
    } catch (const std::exception&) {
    }
}
