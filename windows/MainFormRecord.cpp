// The main window's Record command: the sound recorder, modal.
#include "windows/MainForm.h"
#include "widgets/MessageBoxPrompter.h"
#include "windows/RecordForm.h"

void TMainForm::ActionRecordExecute()
{
    // Message boxes over the recorder itself; a test's prompter is handed on.
    TPrompter* prompter = dynamic_cast<TMessageBoxPrompter*>(FPrompter.get()) ? nullptr : FPrompter.get();
    TfrmRecord form(this, prompter);
    form.exec();
}
