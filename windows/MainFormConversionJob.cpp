// Hand-off of a file conversion to the conversion job window.
#include "windows/MainForm.h"
#include "windows/RipForm.h"

// The job window runs modally over this window, asks and tells through its prompter, and
// is freed when it closes.
void TMainForm::RunConversionJob(int mode, const QStringList& files)
{
    TRipForm form(this, mode, files, FPrompter.get());
    form.exec();
}
