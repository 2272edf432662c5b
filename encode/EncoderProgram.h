#pragma once
// Where the outside encoder programs ("lame", "wm8eutil") are found.
#include <QString>
#include <QStringList>

// Folders searched, in order, before PATH: the program's own folder.
QStringList EncoderSearchFolders();

// The full path of the executable named name: in the first of EncoderSearchFolders that
// holds it, else on PATH; empty when there is none.
QString FindEncoderProgram(const QString& name);
