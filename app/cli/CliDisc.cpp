#include "app/cli/CliDisc.h"
#include "app/cli/CliCommand.h"
#include "app/core/NoDeviceHint.h"

bool TCliDisc::Open(int drive, TRoute route)
{
    bool found = route != CDInputOnly && FSession.SelectDrive(drive) != 0;
    if (!found && route != FirstLibraryOnly) {
        FCDIn = std::make_unique<TCDIn>();
        found = FSession.UseCDIn(*FCDIn, drive);
    }
    if (!found) {
        for (const QString& line : NoDeviceHint::AllLines())
            PrintLine(stderr, line);
        return false;
    }
    if (!FSession.AudioDiscPresent()) {
        PrintLine(stderr, FSession.NoDiscText());
        return false;
    }
    if (!FSession.ReadDiscList(FRows) || FRows.isEmpty()) {
        PrintLine(stderr, FSession.StatusText().isEmpty() ? TDiscSession::NotReadText() : FSession.StatusText());
        return false;
    }
    return true;
}
