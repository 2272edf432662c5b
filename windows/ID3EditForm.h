#pragma once
// The ID3 tag editor window: shows and edits the ID3v1 tag of one MP3 file at a time. A
// thin view over TID3EditController, which holds the file, the fields and the commands.
#include "metadata/ID3EditController.h"
#include <QDialog>
#include <memory>

namespace Ui {
class frmID3Edit;
}
class QAction;

class TfrmID3Edit : public QDialog {
    Q_OBJECT
public:
    // Questions, messages and file choices go to `prompter` (not owned); without one, to
    // message boxes and file dialogs over this window.
    explicit TfrmID3Edit(QWidget* parent = nullptr, TPrompter* prompter = nullptr);
    ~TfrmID3Edit() override;

    TID3EditController& Controller() { return *FController; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowState();    // controller -> widgets
    void TakeEdits();    // widgets -> controller

    std::unique_ptr<Ui::frmID3Edit> ui;
    std::unique_ptr<TPrompter> FOwnPrompter;
    TID3EditController* FController = nullptr;
    QAction* FSaveTag = nullptr;
    QAction* FRemoveTag = nullptr;
    bool FShowing = false;   // widgets being filled from the controller
};
