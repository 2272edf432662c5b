// Program entry: the command line, the application title and icon, the main window, the
// message loop.
#include "windows/MainForm.h"
#include "app/core/CommandLine.h"
#include "platform/Prompter.h"
#include "platform/akrip32.h"
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QUrl>
#include <cstdio>

namespace {

const char* const ProgramName = "varnelcd";

void Write(FILE* out, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

void SetUpParser(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        "VarnelCD: audio CD ripper and converter.\n"
        "Lists the tracks of the audio CD in the drive and rips them into WAV, MP3,\n"
        "Ogg Vorbis, WMA or FLAC files. A FILE argument is a disc image (.cue, .toc, .nrg)\n"
        "offered as a further CD drive, as with --disc-image.");
    parser.addOption(QCommandLineOption({"h", "help"}, "Show this help and exit."));
    parser.addOption(QCommandLineOption({"v", "version"}, "Show the version and exit."));
    AddDiscImageOption(parser);
    AddCDInputOnlyOption(parser);
    parser.addPositionalArgument("FILE", "Disc image or URL to open (what the desktop passes).", "[FILE|URL]...");
}

// --help and --version answer before the window system is reached, so they work without a
// display. Anything after "--" is an argument, not an option.
bool AsksForHelpOrVersion(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--")
            return false;
        if (a == "-h" || a == "--help" || a == "-v" || a == "--version")
            return true;
    }
    return false;
}

int HelpOrVersion(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    SetUpParser(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
        Write(stderr, QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
                          .arg(QLatin1String(ProgramName), parser.errorText()));
        return 2;
    }
    if (parser.isSet("help"))
        Write(stdout, parser.helpText());
    else
        Write(stdout, QStringLiteral("%1 (VarnelCD) %2\n%3\n").arg(QLatin1String(ProgramName), ApplicationVersion(), ApplicationLicence()));
    return 0;
}

// A desktop starts the program with what it was asked to open: a disc image file (by path
// or file: URL) is offered as a drive; an audio CD (a cdda: URL or a device) is found in
// the drive list anyway. Anything else is reported and left aside.
QStringList DiscImagesFromArguments(const QStringList& arguments)
{
    QStringList images;
    for (const QString& argument : arguments) {
        const QUrl url = QUrl::fromUserInput(argument, QStringLiteral("."), QUrl::AssumeLocalFile);
        if (url.isLocalFile()) {
            const QFileInfo file(url.toLocalFile());
            const QString suffix = file.suffix().toLower();
            if (file.isFile() && (suffix == "cue" || suffix == "toc" || suffix == "nrg")) {
                images.append(file.absoluteFilePath());
                continue;
            }
            if (file.absoluteFilePath().startsWith(QLatin1String("/dev/")))
                continue;
        } else if (url.scheme() == QLatin1String("cdda")) {
            continue;
        }
        Write(stderr, QStringLiteral("%1: not a disc image, ignored: %2\n").arg(QLatin1String(ProgramName), argument));
    }
    return images;
}

QIcon ApplicationIcon()
{
    QIcon shipped;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        shipped.addFile(QStringLiteral(":/appicon/varnelcd-%1.png").arg(size), QSize(size, size));
    return shipped;
}

} // namespace

int main(int argc, char** argv)
{
    if (AsksForHelpOrVersion(argc, argv))
        return HelpOrVersion(argc, argv);

    // The icon lives in the GUI library's resources; a static library needs them named.
    Q_INIT_RESOURCE(appicon);

    QApplication app(argc, argv);
    SetUpApplicationNames();
    // Ties the windows to varnelcd.desktop (its icon and name in task bars and docks).
    QGuiApplication::setDesktopFileName(QStringLiteral("varnelcd"));
    // The window and the tool bar show the same icon: the one shipped with the program.
    QApplication::setWindowIcon(ApplicationIcon());

    QCommandLineParser parser;
    SetUpParser(parser);
    if (!parser.parse(QApplication::arguments())) {
        Write(stderr, QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
                          .arg(QLatin1String(ProgramName), parser.errorText()));
        return 2;
    }
    ApplyDiscImageOption(parser);
    ApplyCDInputOnlyOption(parser);
    const QStringList opened = DiscImagesFromArguments(parser.positionalArguments());
    if (!opened.isEmpty()) {
        QStringList images;
        for (const QString& path : parser.values("disc-image"))
            images.append(QFileInfo(path).absoluteFilePath());
        SetDiscImages(images + opened);
    }

    TMainForm form;
    form.show();
    return app.exec();
}
