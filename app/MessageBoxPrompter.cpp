#include "app/MessageBoxPrompter.h"
#include <QFileDialog>
#include <QMessageBox>

void TMessageBoxPrompter::ShowError(const QString& text)
{
    QMessageBox::critical(FParent, ApplicationTitle(), text);
}

void TMessageBoxPrompter::ShowInformation(const QString& text)
{
    QMessageBox::information(FParent, ApplicationTitle(), text);
}

TPrompter::Answer TMessageBoxPrompter::AskYesNo(const QString& text, Answer defaultAnswer)
{
    const auto def = defaultAnswer == Answer::Yes ? QMessageBox::Yes : QMessageBox::No;
    const auto r = QMessageBox::question(FParent, ApplicationTitle(), text,
                                         QMessageBox::Yes | QMessageBox::No, def);
    return r == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

TPrompter::Answer TMessageBoxPrompter::AskYesNoCancel(const QString& text, Answer defaultAnswer)
{
    const auto def = defaultAnswer == Answer::Yes  ? QMessageBox::Yes
                     : defaultAnswer == Answer::No ? QMessageBox::No
                                                   : QMessageBox::Cancel;
    const auto r = QMessageBox::question(FParent, ApplicationTitle(), text,
                                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, def);
    return r == QMessageBox::Yes ? Answer::Yes : r == QMessageBox::No ? Answer::No : Answer::Cancel;
}

void TMessageBoxPrompter::ShowWarning(const QString& text)
{
    QMessageBox::warning(FParent, ApplicationTitle(), text);
}

QStringList TMessageBoxPrompter::AskOpenFileNames(const QString& caption, const QString& folder,
                                                  const QString& filter)
{
    return QFileDialog::getOpenFileNames(FParent, caption, folder, filter);
}

QString TMessageBoxPrompter::AskOpenFileName(const QString& caption, const QString& folder, const QString& filter)
{
    return QFileDialog::getOpenFileName(FParent, caption, folder, filter);
}

QString TMessageBoxPrompter::AskSaveFileName(const QString& caption, const QString& folder, const QString& filter)
{
    return QFileDialog::getSaveFileName(FParent, caption, folder, filter);
}

QString TMessageBoxPrompter::AskFolder(const QString& caption, const QString& folder)
{
    return QFileDialog::getExistingDirectory(FParent, caption, folder);
}
