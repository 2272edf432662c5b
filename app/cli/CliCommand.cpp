#include "app/cli/CliCommand.h"
#include "app/core/CommandLine.h"
#include "settings/Lang.h"
#include "settings/Options.h"
#include <QList>
#include <algorithm>

namespace {
QList<TCliCommand>& Registry()
{
    static QList<TCliCommand> commands;
    return commands;
}
} // namespace

bool RegisterCliCommand(const TCliCommand& command)
{
    Registry().append(command);
    return true;
}

const TCliCommand* FindCliCommand(const QString& name)
{
    for (const TCliCommand& c : Registry())
        if (name == QLatin1String(c.Name))
            return &c;
    return nullptr;
}

QList<TCliCommand> CliCommands()
{
    QList<TCliCommand> list = Registry();
    std::sort(list.begin(), list.end(),
              [](const TCliCommand& a, const TCliCommand& b) { return qstrcmp(a.Name, b.Name) < 0; });
    return list;
}

void PrintLine(FILE* out, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fputc('\n', out);
    std::fflush(out);
}

int ParseCommandLine(QCommandLineParser& parser, const QStringList& args, const char* commandName)
{
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    parser.addOption(help);
    AddDiscImageOption(parser);
    AddCDInputOnlyOption(parser);
    const QCommandLineOption lang("lang", "The language of this run's messages: en or zh (default: the settings').",
                                  "en|zh");
    parser.addOption(lang);
    if (!parser.parse(args)) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli %1: %2").arg(QLatin1String(commandName), parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        const QByteArray text = parser.helpText().toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return 0;
    }
    ApplyDiscImageOption(parser);
    ApplyCDInputOnlyOption(parser);
    // The settings are read (language, chosen drive, output folder) but never written,
    // unless a command says otherwise.
    LoadOptions();
    if (parser.isSet(lang)) {
        const QString language = InterfaceLanguageFromArgument(parser.value(lang));
        if (language.isEmpty()) {
            PrintLine(stderr, QStringLiteral("varnelcd-cli: --lang ") + LangString("RES_Cli_LangValues", QStringLiteral("只接受 en 或 zh")));
            return 2;
        }
        SetRunInterfaceLanguage(language);
    }
    return -1;
}

bool IntOption(const QCommandLineParser& parser, const QString& name, int& value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int v = parser.value(name).trimmed().toInt(&ok);
    if (!ok) {
        PrintLine(stderr, "varnelcd-cli: --" + name + " takes a number");
        return false;
    }
    value = v;
    return true;
}

bool DriveAndTimeoutOptions(const QCommandLineParser& parser, int& drive, int& timeoutSeconds)
{
    drive = OptionsSetting.CDOptions.Index;
    timeoutSeconds = 30;
    if (!IntOption(parser, "drive", drive) || !IntOption(parser, "timeout", timeoutSeconds))
        return false;
    if (timeoutSeconds < 1) {
        PrintLine(stderr, "varnelcd-cli: --timeout takes a number of seconds above 0");
        return false;
    }
    return true;
}
