// Hand-off of a file conversion to the conversion job window.
#include "app/MainForm.h"

// The conversion job window is not part of the program yet: the command says so in the
// status line and converts nothing.
void TMainForm::RunConversionJob(int mode, const QStringList& files)
{
    SetStatusText(QStringLiteral("Conversion job %1 of %2 file(s): the conversion window is not available yet")
                      .arg(mode)
                      .arg(files.size()));
}
