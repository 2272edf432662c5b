#pragma once
// The desktop's volume control ("mixer"), started as a program of its own: the first of
// pavucontrol, pavucontrol-qt, gnome-control-center (sound panel) and kcmshell5 (PulseAudio
// module) found on PATH, started detached (closing this program leaves it open). The recording side opens on the input tab where the mixer has one.
#include <QString>
#include <QStringList>

enum class TMixerSide { Playback, Recording };

struct TMixerCommand {
    QString Program;              // bare name searched on PATH
    QStringList Arguments;
};

// The candidates in order of preference, with their arguments for that side.
QList<TMixerCommand> MixerCommands(TMixerSide side);

// Starts the first candidate found on PATH. Returns the full path of the program started;
// empty when none is installed or none could be started.
QString StartMixer(TMixerSide side = TMixerSide::Playback);
