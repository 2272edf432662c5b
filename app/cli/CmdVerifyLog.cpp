// varnelcd-cli verify-log FILE
#include "app/cli/CliCommand.h"
#include "cd/RipLog.h"

#include <QFile>

namespace {

// Checks a rip log's last line: the SHA-256 of the text above it, as the rip wrote it.
int VerifyLog(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Check that a rip log is as the rip wrote it (its SHA-256 line).");
    parser.addPositionalArgument("FILE", "The rip log.");
    if (const int rc = ParseCommandLine(parser, args, "verify-log"); rc >= 0)
        return rc;
    if (parser.positionalArguments().size() != 1) {
        PrintLine(stderr, "varnelcd-cli verify-log: give one FILE (see --help)");
        return 2;
    }
    const QString path = parser.positionalArguments().first();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli verify-log: %1: %2").arg(path, file.errorString()));
        return 1;
    }
    if (!RipLogChecksumOk(file.readAll())) {
        PrintLine(stdout, path + QStringLiteral(": edited, or no checksum line"));
        return 1;
    }
    PrintLine(stdout, path + QStringLiteral(": OK"));
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("verify-log", "check a rip log's SHA-256 line", VerifyLog);
