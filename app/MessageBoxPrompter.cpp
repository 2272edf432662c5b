#include "app/MessageBoxPrompter.h"
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
