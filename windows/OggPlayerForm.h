#pragma once
// The OGG player window: a view over TOggPlayer. Its buttons, scroll bar and track bar call
// the player's handlers; the player's signals refresh the labels, the comments and the
// enabled controls. The window closes only once the sound output has stopped.
#include "platform/Prompter.h"
#include <QDialog>
#include <memory>

class TOggPlayer;
namespace Ui { class frmOggPlayer; }

class TfrmOggPlayer : public QDialog {
    Q_OBJECT
public:
    explicit TfrmOggPlayer(QWidget* parent = nullptr);
    ~TfrmOggPlayer() override;

    // Message boxes and the file choice go through the prompter; tests put in canned answers.
    void SetPrompter(std::unique_ptr<TPrompter> prompter);
    TOggPlayer& Player() { return *FPlayer; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Refresh();
    void PlayerProgress(int position);
    void ScrollBar1Action(int action);
    void bCloseClick();

    std::unique_ptr<Ui::frmOggPlayer> ui;
    std::unique_ptr<TPrompter> FPrompter;
    std::unique_ptr<TOggPlayer> FPlayer;     // after the prompter it uses
};
