// varnelcd-cli cdread (--track T | --from T:M:S:F --to T:M:S:F) [--paranoia off|overlap|full]
//                     [--retries N] [--drive N] OUT.wav
#include "app/cli/CliCommand.h"
#include "app/core/NoDeviceHint.h"
#include "audio/WaveOut.h"
#include "cd/CDInput.h"
#include "settings/Options.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

void Fail(const QString& text)
{
    PrintLine(stderr, QStringLiteral("varnelcd-cli cdread: ") + text);
}

// "T:M:S:F": track, then minutes, seconds and frames from the start of that track.
bool ParsePosition(const QString& text, TCDPosition& pos)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,3}):(\\d{1,3}):(\\d{1,2}):(\\d{1,2})$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    const int t = m.captured(1).toInt(), mi = m.captured(2).toInt(), s = m.captured(3).toInt(),
              f = m.captured(4).toInt();
    if (t > CD_END_OF_DISC_TRACK || mi > 255 || s >= 60 || f >= CD_FRAMES_PER_SECOND)
        return false;
    pos = TCDPosition{t, uint8_t(mi), uint8_t(s), uint8_t(f)};
    return true;
}

// Runs the output to its end; the run's error message, empty on success.
QString RunToEnd(TAuOutput& out)
{
    QEventLoop loop;
    out.SetOnDone([&](QObject*) { loop.quit(); });
    try {
        out.Run();
    } catch (const EAuException& e) {
        return e.Message();
    }
    loop.exec();
    out.SetOnDone({});
    return out.ExceptionMessage();
}

// Reads a stretch of the disc through the CD input component into a WAV file. The file
// appears only when every sector was read: it is written under a temporary name beside
// OUT and renamed at the end.
int CdRead(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Read a track or a stretch of the disc through the CD input component "
                                     "(libcdio-paranoia) into a WAV file.");
    parser.addOption(QCommandLineOption("track", "Read track T (its position on the disc, 1 = first).", "T"));
    parser.addOption(QCommandLineOption("from", "Start at track T, M:S:F into it.", "T:M:S:F"));
    parser.addOption(QCommandLineOption("to", "End before track T, M:S:F into it (track 100: end of disc).", "T:M:S:F"));
    parser.addOption(QCommandLineOption("paranoia", "off (default), overlap (jitter correction) or full.", "MODE"));
    parser.addOption(QCommandLineOption("retries", "Reads of a failing sector before giving up (0: 20).", "N"));
    parser.addOption(QCommandLineOption("drive", "Use drive N of the CD input component (0-based).", "N"));
    parser.addPositionalArgument("OUT.wav", "The WAV file to write.");
    if (const int rc = ParseCommandLine(parser, args, "cdread"); rc >= 0)
        return rc;
    int track = 0, retries = 0, drive = OptionsSetting.CDOptions.Index;
    if (!IntOption(parser, "track", track) || !IntOption(parser, "retries", retries) ||
        !IntOption(parser, "drive", drive))
        return 2;
    const QStringList rest = parser.positionalArguments();
    if (rest.size() != 1) {
        Fail(QStringLiteral("exactly one output file is needed"));
        return 2;
    }
    const bool byTrack = parser.isSet("track");
    const bool hasFrom = parser.isSet("from"), hasTo = parser.isSet("to");
    const bool byRange = hasFrom && hasTo;
    if (byTrack ? (hasFrom || hasTo) : !byRange) {
        Fail(QStringLiteral("give either --track T or both --from and --to"));
        return 2;
    }
    TCDPosition from, to;
    if (byRange && (!ParsePosition(parser.value("from"), from) || !ParsePosition(parser.value("to"), to))) {
        Fail(QStringLiteral("a position is written T:M:S:F (seconds below 60, frames below 75)"));
        return 2;
    }
    const QString mode = parser.value("paranoia").isEmpty() ? QStringLiteral("off") : parser.value("paranoia");
    if (mode != "off" && mode != "overlap" && mode != "full") {
        Fail(QStringLiteral("--paranoia takes off, overlap or full"));
        return 2;
    }
    if (retries < 0) {
        Fail(QStringLiteral("--retries takes a number of 0 or more"));
        return 2;
    }

    TCDIn cdIn;
    const int drives = cdIn.DrivesCount();
    if (drives <= 0) {
        for (const QString& line : NoDeviceHint::AllLines())
            PrintLine(stderr, line);
        return 1;
    }
    cdIn.SetCurrentDrive(drive > 0 && drive < drives ? drive : 0);
    cdIn.SetEnableJitterCorrection(mode == "overlap");
    cdIn.SetParanoid(mode == "full");
    cdIn.SetMultiReadCount(retries);
    if (byTrack) {
        cdIn.SetStartTrack(track);
        cdIn.SetEndTrack(track);
    } else {
        cdIn.SetStartPos(from);
        cdIn.SetEndPos(to);
    }

    const QString outPath = QFileInfo(rest.first()).absoluteFilePath();
    QTemporaryFile part(QFileInfo(outPath).absolutePath() + "/." + QFileInfo(outPath).fileName() + ".XXXXXX");
    if (!part.open()) {
        Fail(outPath + ": " + part.errorString());
        return 1;
    }
    part.close();
    // The file gets the permissions a new file of this user would get (or those of the
    // file it replaces), not the private ones of a temporary file.
    struct stat old {};
    mode_t fileMode = 0;
    if (::stat(QFile::encodeName(outPath).constData(), &old) == 0) {
        fileMode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        fileMode = 0666 & ~mask;
    }
    ::chmod(QFile::encodeName(part.fileName()).constData(), fileMode);
    TWaveOut out;
    out.SetInput(&cdIn);
    out.SetFileName(part.fileName());
    const QString error = RunToEnd(out);
    if (!error.isEmpty()) {
        Fail(error);
        return 1;                          // the temporary file goes with `part`
    }
    // rename(2) replaces an existing OUT in one step.
    if (std::rename(QFile::encodeName(part.fileName()).constData(), QFile::encodeName(outPath).constData()) != 0) {
        Fail(outPath + ": " + QString::fromLocal8Bit(std::strerror(errno)));
        return 1;
    }
    part.setAutoRemove(false);
    PrintLine(stdout, QStringLiteral("jitter errors: %1").arg(cdIn.JitterErrors()));
    return 0;
}

} // namespace

VARNELCD_CLI_COMMAND("cdread", "read a track or stretch of the disc through the CD input component into a WAV file",
                     CdRead);
