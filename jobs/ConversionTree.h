#pragma once
// Conversions of whole folders: every sound file below the folders given that a conversion
// takes, grouped by the folder it is converted into, which repeats the file's sub-folder
// below the output folder (or is the file's own folder, beside the input). The walk follows
// links to folders, but never into a folder it has already been in, so a link that loops
// ends; an output folder that lies inside a folder walked is not walked (earlier results
// are no inputs).
#include <QString>
#include <QStringList>
#include <QVector>

struct TConversionGroup {
    QString OutputFolder;   // absolute, with a trailing separator
    QStringList Files;      // absolute paths, sorted by name
};

struct TConversionTree {
    QVector<TConversionGroup> Groups;   // in the order of the walk: a folder's own files, then its sub-folders by name
    QStringList Problems;               // "path: cause" of each folder or name that could not be walked
};

// Whether a conversion in file mode `mode` (TConversionJob's) takes the file, by its name's
// extension: any sound file, save WAV files for a conversion to WAV.
bool ConversionTakes(int mode, const QString& path);

// Walks `inputs` (folders, or single files, which go into the output folder itself) for
// the files a conversion in `mode` takes. `outputFolder` empty: every file is converted
// beside itself.
TConversionTree ScanConversionTree(const QStringList& inputs, int mode, const QString& outputFolder);
