#include "players/Mixer.h"
#include "settings/HelperPaths.h"
#include <QProcess>

QList<TMixerCommand> MixerCommands(TMixerSide side)
{
    const bool input = side == TMixerSide::Recording;
    // pavucontrol's tabs: 3 output devices, 4 input devices.
    return {
        {QStringLiteral("pavucontrol"), {input ? QStringLiteral("--tab=4") : QStringLiteral("--tab=3")}},
        {QStringLiteral("pavucontrol-qt"), {}},
        {QStringLiteral("gnome-control-center"), {QStringLiteral("sound")}},
        {QStringLiteral("kcmshell5"), {QStringLiteral("kcm_pulseaudio")}},
    };
}

QString StartMixer(TMixerSide side)
{
    for (const TMixerCommand& c : MixerCommands(side)) {
        const QString path = FindProgramIn(c.Program, {}, true);
        if (path.isEmpty())
            continue;
        // An argument list, never a shell; the mixer runs on after this program ends.
        if (QProcess::startDetached(path, c.Arguments))
            return path;
    }
    return {};
}
