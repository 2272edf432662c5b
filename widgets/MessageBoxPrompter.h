#pragma once
#include "platform/Prompter.h"
class QWidget;

// Modal message boxes with the application title as caption.
class TMessageBoxPrompter : public TPrompter {
public:
    explicit TMessageBoxPrompter(QWidget* parent) : FParent(parent) {}
    void ShowError(const QString& text) override;
    void ShowInformation(const QString& text) override;
    Answer AskYesNo(const QString& text, Answer defaultAnswer) override;
    Answer AskYesNoCancel(const QString& text, Answer defaultAnswer) override;
    // Yes / Yes to All / No / No to All; closing the box is No.
    Overwrite AskOverwrite(const QString& text) override;
    void ShowWarning(const QString& text) override;
    QStringList AskOpenFileNames(const QString& caption, const QString& folder, const QString& filter) override;
    QString AskOpenFileName(const QString& caption, const QString& folder, const QString& filter) override;
    QString AskSaveFileName(const QString& caption, const QString& folder, const QString& filter) override;
    QString AskFolder(const QString& caption, const QString& folder) override;
    int AskChoice(const QString& title, const QStringList& columns, const QList<QStringList>& rows) override;

    // The text with places where a line may break (zero-width spaces after the separators of
    // a long path or name, and every 40 characters of a run without any), so that a box
    // wraps it instead of growing past the screen's edge. Short words are left alone.
    static QString Breakable(const QString& text);

private:
    QWidget* FParent;
};
