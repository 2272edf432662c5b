#include "app/cli/WaveCommands.h"
#include "app/cli/CliCommand.h"
#include "audio/WaveIn.h"
#include "audio/AuOutput.h"
#include <QEventLoop>
#include <QFileInfo>

namespace WaveCli {

bool OpenInput(TWaveIn& In, const QString& Path)
{
    In.SetFileName(Path);
    try {
        In.OpenFile();       // raises the system's text when the file cannot be opened
    } catch (const EAuException& e) {
        PrintLine(stderr, "varnelcd-cli: " + Path + ": " + e.Message());
        return false;
    }
    if (!In.Valid()) {
        PrintLine(stderr, "varnelcd-cli: " + Path + ": not a WAV file that can be read (coding: "
                              + WavTypeName(In.WavType()) + ")");
        return false;
    }
    return true;
}

bool SameFile(const QString& In, const QString& Out)
{
    const QFileInfo a(In), b(Out);
    if (!b.exists() || a.canonicalFilePath() != b.canonicalFilePath())
        return false;
    PrintLine(stderr, "varnelcd-cli: " + Out + ": the output cannot be the input file");
    return true;
}

int RunWithProgress(TAuOutput& Out)
{
    QEventLoop loop;
    int last = -2;
    Out.SetOnProgress([&](QObject*) {
        const int p = Out.Progress();
        if (p != last && p >= 0)
            PrintLine(stdout, QString::number(p) + "%");
        last = p;
    });
    Out.SetOnDone([&](QObject*) { loop.quit(); });
    try {
        Out.Run();
    } catch (const EAuException& e) {
        PrintLine(stderr, "varnelcd-cli: " + e.Message());
        return 1;
    }
    loop.exec();
    Out.SetOnProgress({});
    Out.SetOnDone({});
    const QString error = Out.ExceptionMessage();
    if (!error.isEmpty()) {
        PrintLine(stderr, "varnelcd-cli: " + error);
        return 1;
    }
    if (last != 100)
        PrintLine(stdout, "100%");
    return 0;
}

} // namespace WaveCli
