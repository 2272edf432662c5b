#pragma once
// The WAV format converter window: a thin view over TResampleWav. Its texts are its own
// (Chinese and English as designed) and are not taken from a language file.
#include <QDialog>
#include <memory>

namespace Ui {
class frmResample;
}
class QLabel;
class TPrompter;
class TResampleWav;
struct TResampleSettings;

class TfrmResample : public QDialog {
    Q_OBJECT
public:
    explicit TfrmResample(QWidget* parent = nullptr);
    ~TfrmResample() override;

    // Message boxes and file dialogs; tests put in one with canned answers.
    void SetPrompter(std::unique_ptr<TPrompter> prompter);
    TResampleWav* Controller() const { return FController; }
    // What the output controls hold.
    TResampleSettings Settings() const;

    // Closing (Button5, Escape, the title bar) stops a running conversion synchronously.
    void done(int result) override;

private:
    void Follow();

    std::unique_ptr<Ui::frmResample> ui;
    std::unique_ptr<TPrompter> FPrompter;
    TResampleWav* FController = nullptr;
    QLabel* FStatusPanel = nullptr;
};
