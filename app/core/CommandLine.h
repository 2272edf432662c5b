#pragma once
// Options shared by the program and its command-line front end.
#include <QCommandLineParser>
#include <QStringList>

// Adds "--disc-image PATH" (repeatable): a disc image offered as a further CD drive.
void AddDiscImageOption(QCommandLineParser& parser);
// Hands the images named on the command line to the drive layer.
void ApplyDiscImageOption(const QCommandLineParser& parser);

// Adds "--cd-input-only": the first CD library offers no drive, so the program reaches the
// disc through the CD input component (also VARNELCD_CD_INPUT_ONLY=1).
void AddCDInputOnlyOption(QCommandLineParser& parser);
void ApplyCDInputOnlyOption(const QCommandLineParser& parser);
