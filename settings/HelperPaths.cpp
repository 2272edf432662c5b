#include "settings/HelperPaths.h"
#include "settings/Global.h"
#include <QDir>
#include <QFileInfo>

// Set by the build: absolute installed folders, and the same folders relative to the
// folder the executables are installed in.
#ifndef VARNELCD_DATADIR
#define VARNELCD_DATADIR ""
#endif
#ifndef VARNELCD_LIBEXECDIR
#define VARNELCD_LIBEXECDIR ""
#endif
#ifndef VARNELCD_DATADIR_FROM_BIN
#define VARNELCD_DATADIR_FROM_BIN ""
#endif
#ifndef VARNELCD_LIBEXECDIR_FROM_BIN
#define VARNELCD_LIBEXECDIR_FROM_BIN ""
#endif

namespace {

// Program folder, then relative, then absolute; each once, with a trailing '/'.
QStringList Folders(const char* fromBin, const char* absolute)
{
    QStringList folders{ProgramFolder()};
    const auto add = [&folders](const QString& path) {
        if (path.isEmpty())
            return;
        const QString folder = WithBackslash(QDir::cleanPath(path));
        if (!folders.contains(folder))
            folders.append(folder);
    };
    if (*fromBin)
        add(ProgramFolder() + QString::fromUtf8(fromBin));
    add(QString::fromUtf8(absolute));
    return folders;
}

bool IsBareFileName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".")
        && name != QLatin1String("..");
}

} // namespace

QStringList HelperProgramFolders()
{
    return Folders(VARNELCD_LIBEXECDIR_FROM_BIN, VARNELCD_LIBEXECDIR);
}

QString FindProgramIn(const QString& name, const QStringList& folders, bool searchPath)
{
    if (!IsBareFileName(name))
        return {};
    QStringList all = folders;
    if (searchPath) {
        // Empty PATH entries (the current folder in POSIX shells) are skipped: a program
        // never runs what happens to lie in the folder it was started from.
        for (const QString& dir : qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts))
            if (QDir::isAbsolutePath(dir))
                all.append(dir);
    }
    for (const QString& dir : all) {
        const QFileInfo file(QDir(dir).filePath(name));
        if (file.isFile() && file.isExecutable())
            return file.absoluteFilePath();
    }
    return {};
}

QString FindHelperProgram(const QString& name)
{
    return FindProgramIn(name, HelperProgramFolders(), true);
}

QStringList DataFolders()
{
    return Folders(VARNELCD_DATADIR_FROM_BIN, VARNELCD_DATADIR);
}

QString FindDataFile(const QString& fileName)
{
    if (!IsBareFileName(fileName))
        return {};
    for (const QString& dir : DataFolders()) {
        const QFileInfo file(dir + fileName);
        if (file.isFile())
            return file.absoluteFilePath();
    }
    return {};
}
