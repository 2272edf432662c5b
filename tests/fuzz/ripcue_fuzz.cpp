// Feeds arbitrary cue sheets to the parser that lays out a rip kept as files: it must never
// crash, and a sheet it accepts must give every track a file and an INDEX 01.
#include "encode/CtdbRipFiles.h"

#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TRipCue cue = ParseRipCue(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                                    QStringLiteral("/rips"));
    if (!cue.Ok) {
        if (cue.Error.isEmpty() || !cue.Files.isEmpty())
            std::abort();
        return 0;
    }
    if (cue.TrackFile.empty() || cue.TrackFile.size() != cue.TrackIndex1.size() || cue.TrackFile.size() > 99)
        std::abort();
    for (size_t t = 0; t < cue.TrackFile.size(); ++t)
        if (cue.TrackFile[t] < 0 || cue.TrackFile[t] >= cue.Files.size() || cue.TrackIndex1[t] < 0)
            std::abort();
    return 0;
}
