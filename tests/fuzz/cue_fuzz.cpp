// Feeds arbitrary cue sheets to the drive library: whatever the text, opening, the TOC,
// CD-Text and a read must end cleanly.
#include "platform/akrip32.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    static const QString cue = dir.filePath(QStringLiteral("f.cue"));
    static const bool binReady = [] {
        QFile bin(dir.filePath(QStringLiteral("f.bin")));
        return bin.open(QIODevice::WriteOnly) && bin.write(QByteArray(40 * CD_SECTOR_SIZE, '\1')) > 0;
    }();
    if (!binReady)
        return 0;
    {
        QFile f(cue);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    SetDiscImages({cue});
    DriveMediaState(0);
    THandleRequest req;
    const HCDROM h = GetCDHandle(req);
    TTocRecord toc;
    if (ReadTOC(h, toc) == 1) {
        ReadCDText(h);
        static uint8_t sector[CD_SECTOR_SIZE];
        TSectorBuffer buf;
        buf.Head.StartSector = 0;
        buf.Head.NumSectors = 1;
        buf.Head.MaxLen = sizeof(sector);
        buf.Data = sector;
        ReadCDAudioLBA(h, buf);
    }
    CloseCDHandle(h);
    return 0;
}
