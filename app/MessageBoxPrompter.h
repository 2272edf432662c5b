#pragma once
#include "app/core/Prompter.h"
class QWidget;

// Modal message boxes with the application title as caption.
class TMessageBoxPrompter : public TPrompter {
public:
    explicit TMessageBoxPrompter(QWidget* parent) : FParent(parent) {}
    void ShowError(const QString& text) override;
    void ShowInformation(const QString& text) override;
    Answer AskYesNo(const QString& text, Answer defaultAnswer) override;

private:
    QWidget* FParent;
};
