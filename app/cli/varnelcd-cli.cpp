// Command-line front end: the same work as the windows, without them.
//   varnelcd-cli tracks [--disc-image PATH]... [--drive N]
#include "app/core/CommandLine.h"
#include "app/core/DiscSession.h"
#include "app/core/Prompter.h"
#include "settings/Options.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace {

void PrintLine(FILE* out, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fputc('\n', out);
}

// Lists the tracks of the disc in the drive as the main window would: number, title,
// length and size, separated by tabs. Without a drive or an audio disc, the status text
// the window would show goes to stderr.
int Tracks(const QCommandLineParser& parser)
{
    int drive = OptionsSetting.CDOptions.Index;
    if (parser.isSet("drive")) {
        bool ok = false;
        drive = parser.value("drive").toInt(&ok);
        if (!ok) {
            PrintLine(stderr, "varnelcd-cli: --drive takes a number");
            return 2;
        }
    }
    TDiscSession session;
    if (session.SelectDrive(drive) == 0) {
        PrintLine(stderr, session.StatusText());
        return 1;
    }
    if (!session.AudioDiscPresent()) {
        PrintLine(stderr, TDiscSession::CheckCDRomText());
        return 1;
    }
    QVector<TTrackRow> rows;
    if (!session.ReadDiscList(rows)) {
        PrintLine(stderr, session.StatusText());
        return 1;
    }
    for (const TTrackRow& r : rows)
        PrintLine(stdout, QString::number(r.Number) + '\t' + r.Title + '\t' + r.Length + '\t' + r.Size);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("varnelcd-cli");
    QCoreApplication::setApplicationVersion(ApplicationVersion());

    QCommandLineParser parser;
    parser.setApplicationDescription("VarnelCD command line.\n\nCommands:\n"
                                     "  tracks   list the tracks of the disc in the drive");
    parser.addHelpOption();
    parser.addVersionOption();
    AddDiscImageOption(parser);
    parser.addOption(QCommandLineOption("drive", "Use drive N (0-based position in the drive list).", "N"));
    parser.addPositionalArgument("command", "The command to run.");
    parser.process(app);
    ApplyDiscImageOption(parser);

    // The settings are read (language, chosen drive, output folder) but never written here.
    LoadOptions();

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        PrintLine(stderr, "varnelcd-cli: no command given (try --help)");
        return 2;
    }
    if (args.first() == "tracks")
        return Tracks(parser);
    PrintLine(stderr, "varnelcd-cli: unknown command: " + args.first());
    return 2;
}
