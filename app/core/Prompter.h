#pragma once
// How a job or window asks the user something or tells about a failure: the windows answer
// with message boxes captioned with the application title, the command line on stderr,
// tests with canned answers.
#include <QString>

class TPrompter {
public:
    enum class Answer { Yes, No, Cancel };
    virtual ~TPrompter() = default;
    virtual void ShowError(const QString& text) = 0;
    virtual void ShowInformation(const QString& text) = 0;
    virtual Answer AskYesNo(const QString& text, Answer defaultAnswer) = 0;
};

// The application title: caption of the main window (with the version) and of every
// message box.
inline QString ApplicationTitle() { return QStringLiteral("VarnelCD音频转换"); }
inline QString ApplicationVersion() { return QStringLiteral("2.0"); }
