#include "widgets/MessageBoxPrompter.h"
#include "settings/Lang.h"
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTreeWidget>
#include <QVBoxLayout>

QString TMessageBoxPrompter::Breakable(const QString& text)
{
    constexpr int LongRun = 40;
    const QChar breakHere(0x200B);
    QString out;
    out.reserve(text.size() + text.size() / 8);
    int run = 0;
    for (const QChar c : text) {
        out.append(c);
        if (c.isSpace() || c == breakHere) {
            run = 0;
            continue;
        }
        ++run;
        const bool separator = c == u'/' || c == u'\\' || c == u'_' || c == u'-' || c == u'.';
        if ((separator && run >= 12) || run >= LongRun) {
            out.append(breakHere);
            run = 0;
        }
    }
    return out;
}

void TMessageBoxPrompter::ShowError(const QString& text)
{
    QMessageBox::critical(FParent, ProgramTitle(), Breakable(text));
}

void TMessageBoxPrompter::ShowInformation(const QString& text)
{
    QMessageBox::information(FParent, ProgramTitle(), Breakable(text));
}

TPrompter::Answer TMessageBoxPrompter::AskYesNo(const QString& text, Answer defaultAnswer)
{
    const auto def = defaultAnswer == Answer::Yes ? QMessageBox::Yes : QMessageBox::No;
    const auto r = QMessageBox::question(FParent, ProgramTitle(), Breakable(text),
                                         QMessageBox::Yes | QMessageBox::No, def);
    return r == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

TPrompter::Answer TMessageBoxPrompter::AskYesNoCancel(const QString& text, Answer defaultAnswer)
{
    const auto def = defaultAnswer == Answer::Yes  ? QMessageBox::Yes
                     : defaultAnswer == Answer::No ? QMessageBox::No
                                                   : QMessageBox::Cancel;
    const auto r = QMessageBox::question(FParent, ProgramTitle(), Breakable(text),
                                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, def);
    return r == QMessageBox::Yes ? Answer::Yes : r == QMessageBox::No ? Answer::No : Answer::Cancel;
}

TPrompter::Overwrite TMessageBoxPrompter::AskOverwrite(const QString& text)
{
    const auto r = QMessageBox::question(FParent, ProgramTitle(), Breakable(text),
                                         QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll,
                                         QMessageBox::No);
    switch (r) {
    case QMessageBox::Yes: return Overwrite::Yes;
    case QMessageBox::YesToAll: return Overwrite::YesToAll;
    case QMessageBox::NoToAll: return Overwrite::NoToAll;
    default: return Overwrite::No;
    }
}

void TMessageBoxPrompter::ShowWarning(const QString& text)
{
    QMessageBox::warning(FParent, ProgramTitle(), Breakable(text));
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

int TMessageBoxPrompter::AskChoice(const QString& title, const QStringList& columns, const QList<QStringList>& rows)
{
    QDialog dialog(FParent);
    dialog.setObjectName("ChoiceDialog");
    dialog.setWindowTitle(ProgramTitle());
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(title, &dialog));
    auto* list = new QTreeWidget(&dialog);
    list->setObjectName("ChoiceList");
    list->setRootIsDecorated(false);
    list->setHeaderLabels(columns);
    for (const QStringList& row : rows)
        list->addTopLevelItem(new QTreeWidgetItem(row));
    if (!rows.isEmpty())
        list->setCurrentItem(list->topLevelItem(0));
    for (int c = 0; c < columns.size(); ++c)
        list->resizeColumnToContents(c);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    dialog.resize(640, 280);
    if (dialog.exec() != QDialog::Accepted || !list->currentItem())
        return -1;
    return list->indexOfTopLevelItem(list->currentItem());
}
