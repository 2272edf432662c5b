// Command-line front end: the same work as the windows, without them. Each subcommand is a
// file of its own in this folder (see CliCommand.h).
#include "app/cli/CliCommand.h"
#include "platform/Prompter.h"
#include <QCoreApplication>

namespace {

QString Usage()
{
    QString text = "Usage: varnelcd-cli COMMAND [OPTIONS]...\nVarnelCD command line.\n\nCommands:\n";
    for (const TCliCommand& c : CliCommands())
        text += QStringLiteral("  %1  %2\n").arg(QString::fromLatin1(c.Name).leftJustified(10), QLatin1String(c.Summary));
    text += "\n'varnelcd-cli COMMAND --help' describes a command's options.\n"
            "Options of every command: --disc-image PATH (repeatable), --cd-input-only, --lang en|zh.\n";
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("varnelcd-cli");
    QCoreApplication::setApplicationVersion(ApplicationVersion());

    const QStringList all = QCoreApplication::arguments();
    QStringList rest{all.value(0)};
    const TCliCommand* command = nullptr;
    for (int i = 1; i < all.size(); ++i) {
        if (!command && !all[i].startsWith('-')) {
            if (const TCliCommand* c = FindCliCommand(all[i])) {
                command = c;
                continue;
            }
            // The value of an option given before the command is not a command name.
            const QString prev = all[i - 1];
            if (i == 1 || !prev.startsWith("--") || prev.contains('=')) {
                PrintLine(stderr, "varnelcd-cli: unknown command: " + all[i]);
                return 2;
            }
        }
        rest.append(all[i]);
    }
    if (!command) {
        if (rest.contains("--help") || rest.contains("-h")) {
            const QByteArray text = Usage().toUtf8();
            std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
            return 0;
        }
        if (rest.contains("--version") || rest.contains("-v")) {
            PrintLine(stdout, "varnelcd-cli " + ApplicationVersion() + '\n' + ApplicationLicence());
            return 0;
        }
        PrintLine(stderr, "varnelcd-cli: no command given (try --help)");
        return 2;
    }
    return command->Run(rest);
}
