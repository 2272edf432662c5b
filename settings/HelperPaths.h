#pragma once
// Where the program finds the files it ships: helper programs (the WMA encoder tool, lame)
// and read-only data (language files, the help page). The program folder comes first, so a
// build tree runs as it is; then the installed folders, found relative to the executable
// (an installed tree can be moved, or unpacked under a staging folder) and at the prefix the
// program was built for; helper programs last on PATH.
#include <QString>
#include <QStringList>

// Folders searched for a helper program, in order, before PATH:
// program folder, <bindir>/<relative libexec>/, <prefix>/libexec/varnelcd/.
QStringList HelperProgramFolders();
// Full path of the executable file `name` (a bare file name, no '/') in HelperProgramFolders(),
// then in the folders of PATH; empty when there is none. The encoder processes start what
// this returns.
QString FindHelperProgram(const QString& name);
// The first folder of `folders` (then PATH's, when searchPath) holding an executable regular
// file `name`; empty when none does or when `name` is not a bare file name.
QString FindProgramIn(const QString& name, const QStringList& folders, bool searchPath);

// Folders searched for read-only data: program folder, <bindir>/<relative datadir>/,
// <prefix>/share/varnelcd/.
QStringList DataFolders();
// Full path of the file `fileName` in DataFolders(); empty when it is in none of them.
QString FindDataFile(const QString& fileName);
