#pragma once
// Subcommands of varnelcd-cli. Each command lives in a file of its own and registers
// itself with VARNELCD_CLI_COMMAND; main() picks the first argument that names a command
// and hands the command every other argument (options may stand before or after the
// command name).
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <cstdio>

struct TCliCommand {
    const char* Name;
    const char* Summary;
    // args[0] is the program name; the command name itself is removed.
    int (*Run)(const QStringList& args);
};

bool RegisterCliCommand(const TCliCommand& command);
const TCliCommand* FindCliCommand(const QString& name);
QList<TCliCommand> CliCommands();

#define VARNELCD_CLI_CONCAT2(a, b) a##b
#define VARNELCD_CLI_CONCAT(a, b) VARNELCD_CLI_CONCAT2(a, b)
#define VARNELCD_CLI_COMMAND(name, summary, fn) \
    static const bool VARNELCD_CLI_CONCAT(cliRegistered_, __LINE__) = RegisterCliCommand({name, summary, fn})

// Writes text as UTF-8 and a line feed.
void PrintLine(FILE* out, const QString& text);

// Parses a command's arguments: adds --help and the options every command knows
// (--disc-image, --cd-input-only), prints help or an error as GNU tools do (help: stdout,
// exit 0; bad option: stderr, exit 2), applies the disc images and loads the settings.
// Returns -1 when the command should go on, else the exit status to return.
int ParseCommandLine(QCommandLineParser& parser, const QStringList& args, const char* commandName);

// Reads an integer option; prints "varnelcd-cli: --NAME takes a number" and returns false
// when it is not one. Leaves value untouched when the option is not set.
bool IntOption(const QCommandLineParser& parser, const QString& name, int& value);

// The --drive N (default: the settings' drive) and --timeout S (seconds above 0, default 30)
// of the commands that ask a server; false, with the message printed, when either is off.
bool DriveAndTimeoutOptions(const QCommandLineParser& parser, int& drive, int& timeoutSeconds);
