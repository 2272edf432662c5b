#pragma once
// The sound recorder window: a thin view over TRecordController. The start button's menu
// holds the document commands; the media buttons (Play, Stop, Next, Prev, Step, Back,
// Record; Pause and Eject hidden) forward to the controller, which runs the device's own
// action after each handler. Closing runs the controller's close, which may keep the
// window open when the user cancels the save question.
#include "players/RecordController.h"

#include <QDialog>
#include <memory>

namespace Ui { class frmRecord; }
class QAction;
class QMenu;
class QToolButton;

class TfrmRecord : public QDialog {
    Q_OBJECT
public:
    // prompter: none gives message boxes over this window.
    explicit TfrmRecord(QWidget* parent = nullptr, TPrompter* prompter = nullptr);
    ~TfrmRecord() override;

    TRecordController& Controller() { return *FController; }
    QToolButton* Button(TRecordController::TButton button) const { return FButtons[button]; }
    QAction* MenuAction(const QString& name) const;

    static constexpr const char* WebAddress = "https://varnelcd.sourceforge.io/";

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void ShowView();
    void CreateMenu();
    void CreateButtons();
    void OpenWeb();

    std::unique_ptr<Ui::frmRecord> ui;
    std::unique_ptr<TPrompter> FOwnPrompter;
    TPrompter* FPrompter = nullptr;
    TRecordController* FController = nullptr;
    QMenu* FMenu = nullptr;
    QToolButton* FButtons[TRecordController::ButtonCount] = {};
    bool FTranslated = false;
    bool FClosing = false;
};
