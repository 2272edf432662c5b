#pragma once
#include "settings/Options.h"
// The command line's side of a job (conversion or rip): questions answered by --yes / --no (else
// asked on the terminal, else given their default), messages on stderr, progress on the
// terminal, and the per-entry outcome as the exit status.
#include "platform/Prompter.h"

#include <QCommandLineParser>

class TJobBase;

class TJobConsolePrompter : public TPrompter {
public:
    // answer: Yes (--yes), No (--no), or Cancel to ask on the terminal.
    explicit TJobConsolePrompter(Answer answer) : FAnswer(answer) {}
    void ShowError(const QString& text) override;
    void ShowInformation(const QString& text) override;
    Answer AskYesNo(const QString& text, Answer defaultAnswer) override;
    // --yes: Yes, --no: No; else on a terminal y (yes), a (yes to all), n (no), N (no to
    // all); without a terminal: No.
    Overwrite AskOverwrite(const QString& text) override;

private:
    Answer FAnswer;
};

// Adds --yes and --no to a job command's options.
void AddAnswerOptions(QCommandLineParser& parser);
// The answer the two options give (Cancel: neither). Prints an error and returns false when
// both are set.
bool AnswerOption(const QCommandLineParser& parser, const char* command, TPrompter::Answer& answer);

// Adds --existing ask|skip|rename|overwrite to a job command's options.
void AddExistingOption(QCommandLineParser& parser);
// Sets the Existing setting from --existing; prints an error and returns false for another
// word.
bool ExistingOption(const QCommandLineParser& parser, const char* command, TCommonOptions& common);

// Adds --jobs N (encode workers; 0: one per core) to a job command's options.
void AddJobsOption(QCommandLineParser& parser);
// Sets the Jobs setting from --jobs; prints an error and returns false for a value that is
// not a whole number from 0 up.
bool JobsOption(const QCommandLineParser& parser, const char* command, TCommonOptions& common);
// --replaygain on|off into the run's settings; false (with the message) for another value.
bool ReplayGainOption(const QCommandLineParser& parser, const char* command, TCommonOptions& common);

// Runs the job to its end: starts it, prints each step's caption and its progress in steps
// of ten percent on stderr, and each reader/worker row as "[rip] ..." / "[wN] ..." when it
// changes, then one line per produced file on stdout and one line per failed entry on
// stderr. SIGINT and SIGTERM stop the job as the Stop button does. Returns 0 when every
// entry was produced, 130 or 143 after SIGINT or SIGTERM, else 1.
int RunJobOnConsole(TJobBase& job, const char* command);
