#pragma once
// How a job or window asks the user something or tells about a failure: the windows answer
// with message boxes captioned with the application title, the command line on stderr,
// tests with canned answers.
#include <QString>
#include <QList>
#include <QStringList>

class TPrompter {
public:
    enum class Answer { Yes, No, Cancel };
    virtual ~TPrompter() = default;
    virtual void ShowError(const QString& text) = 0;
    virtual void ShowInformation(const QString& text) = 0;
    virtual Answer AskYesNo(const QString& text, Answer defaultAnswer) = 0;

    // Yes, No or Cancel (a window's close question). The default asks Yes/No.
    virtual Answer AskYesNoCancel(const QString& text, Answer defaultAnswer)
    {
        return AskYesNo(text, defaultAnswer == Answer::Cancel ? Answer::No : defaultAnswer);
    }
    // An output file exists: may it be replaced? Yes / Yes to all / No / No to all. The
    // default asks Yes/No (a window answers with four buttons).
    enum class Overwrite { Yes, YesToAll, No, NoToAll };
    virtual Overwrite AskOverwrite(const QString& text)
    {
        return AskYesNo(text, Answer::No) == Answer::Yes ? Overwrite::Yes : Overwrite::No;
    }
    // A warning the user acknowledges (a message box with the warning icon).
    virtual void ShowWarning(const QString& text) { ShowInformation(text); }

    // File and folder choices. `filter` is in Qt's form ("Wave Files (*.wav);;Any file (*)");
    // an empty result (or list) means the user cancelled. Without a user (command line,
    // tests that do not answer) they cancel.
    virtual QStringList AskOpenFileNames(const QString& caption, const QString& folder, const QString& filter)
    {
        (void)caption; (void)folder; (void)filter;
        return {};
    }
    virtual QString AskOpenFileName(const QString& caption, const QString& folder, const QString& filter)
    {
        const QStringList files = AskOpenFileNames(caption, folder, filter);
        return files.isEmpty() ? QString() : files.first();
    }
    virtual QString AskSaveFileName(const QString& caption, const QString& folder, const QString& filter)
    {
        (void)caption; (void)folder; (void)filter;
        return {};
    }
    virtual QString AskFolder(const QString& caption, const QString& folder)
    {
        (void)caption; (void)folder;
        return {};
    }
    // One row of a table (a cell per column): its index, -1 when the user cancelled. Without
    // a user it cancels.
    virtual int AskChoice(const QString& title, const QStringList& columns, const QList<QStringList>& rows)
    {
        (void)title; (void)columns; (void)rows;
        return -1;
    }
};

// The application title: caption of the main window (with the version) and of every
// message box.
inline QString ApplicationTitle() { return QStringLiteral("VarnelCD音频转换"); }
inline QString ApplicationVersion() { return QStringLiteral("2.0"); }
// The licence, as --version and the About box state it.
inline QString ApplicationLicence()
{
    return QStringLiteral("License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
                          "This is free software: you are free to change and redistribute it.\n"
                          "There is NO WARRANTY, to the extent permitted by law.");
}
