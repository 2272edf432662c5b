// The main window's Record command: the sound recorder, modal.
#include "app/MainForm.h"
#include "app/MessageBoxPrompter.h"
#include "players/RecordForm.h"

void TMainForm::ActionRecordExecute()
{
    // Message boxes over the recorder itself; a test's prompter is handed on.
    TPrompter* prompter = dynamic_cast<TMessageBoxPrompter*>(FPrompter.get()) ? nullptr : FPrompter.get();
    TfrmRecord form(this, prompter);
    form.exec();
}
