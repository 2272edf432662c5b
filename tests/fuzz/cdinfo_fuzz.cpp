// Feeds arbitrary bytes to the disc information cache as "cdinfo.dat": loading any section
// must stay within the title array, and saving must keep the file loadable. A save syncs
// the file to disk, which is slow, so only inputs that begin with '#' are saved too.
#include "settings/CDInfo.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        QFile f(CDInfoFileName());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    for (const char* id : {"1", "-1", "0", "2147483647"}) {
        LoadCDInfo(id);
        CDInfoSectionExists(id);
    }
    if (size > 0 && data[0] == '#') {
        SaveCDInfo("1");
        LoadCDInfo("1");
    }
    QFile::remove(CDInfoFileName());
    return 0;
}
