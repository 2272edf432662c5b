#pragma once
// The command line's side of a job (conversion or rip): questions answered by --yes / --no (else
// asked on the terminal, else given their default), messages on stderr, progress on the
// terminal, and the per-entry outcome as the exit status.
#include "app/core/Prompter.h"

#include <QCommandLineParser>

class TJobBase;

class TJobConsolePrompter : public TPrompter {
public:
    // answer: Yes (--yes), No (--no), or Cancel to ask on the terminal.
    explicit TJobConsolePrompter(Answer answer) : FAnswer(answer) {}
    void ShowError(const QString& text) override;
    void ShowInformation(const QString& text) override;
    Answer AskYesNo(const QString& text, Answer defaultAnswer) override;

private:
    Answer FAnswer;
};

// Adds --yes and --no to a job command's options.
void AddAnswerOptions(QCommandLineParser& parser);
// The answer the two options give (Cancel: neither). Prints an error and returns false when
// both are set.
bool AnswerOption(const QCommandLineParser& parser, const char* command, TPrompter::Answer& answer);

// Runs the job to its end: starts it, prints each step's caption and its progress in steps
// of ten percent on stderr, then one line per produced file on stdout and one line per
// failed entry on stderr. Returns 0 when every entry was produced, else 1.
int RunJobOnConsole(TJobBase& job, const char* command);
