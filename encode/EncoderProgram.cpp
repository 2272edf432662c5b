// Looking up the outside encoder programs.
#include "encode/EncoderProgram.h"

#include "settings/Global.h"

#include <QStandardPaths>

QStringList EncoderSearchFolders()
{
    QStringList folders;
    const QString program = ProgramFolder();
    if (!program.isEmpty()) folders << program;
    return folders;
}

QString FindEncoderProgram(const QString& name)
{
    const QStringList folders = EncoderSearchFolders();
    if (!folders.isEmpty()) {
        const QString found = QStandardPaths::findExecutable(name, folders);
        if (!found.isEmpty()) return found;
    }
    return QStandardPaths::findExecutable(name);
}
