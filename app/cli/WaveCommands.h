#pragma once
// Pieces the WAV commands share: opening an input file with a clear message, and running
// an output to its end on the command line with progress.
#include <QString>

class TAuOutput;
class TWaveIn;

namespace WaveCli {

// Points In at Path; true when it is a WAV file we can read. Otherwise prints why
// ("varnelcd-cli: PATH: ...") to stderr.
bool OpenInput(TWaveIn& In, const QString& Path);

// True (after printing a message) when In and Out name the same file: writing would
// destroy the input while it is read.
bool SameFile(const QString& In, const QString& Out);

// Runs Out until its done event, printing each new percent ("NN%") to stdout. Returns
// 0, or 1 after printing the run's error message to stderr.
int RunWithProgress(TAuOutput& Out);

} // namespace WaveCli
