// Feeds arbitrary bytes to the CUETools database reply parser as a server's reply: it must
// never crash, and every entry it keeps must be whole (its syndrome as long as its npar says,
// a parity address only on the web, a CRC per track at most 99).
#include "metadata/CtdbLookup.h"

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
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    const TCtdbReply r = ParseCtdbReply(body, QUrl(QStringLiteral("http://db.example/lookup2.php")));
    if (!r.Ok && (!r.Entries.empty() || r.Error.isEmpty()))
        std::abort();
    for (const TCtdbEntry& e : r.Entries) {
        if (!e.Syndrome.empty() && int(e.Syndrome.size()) != e.Npar)
            std::abort();
        if (!e.ParityUrl.isEmpty() && !e.ParityUrl.startsWith(QLatin1String("http")))
            std::abort();
        if (e.TrackCrcs.size() > 99 || e.Confidence < 0)
            std::abort();
        // The TOC the entry names goes through the TOC parser too.
        CtdbTocOf(e.Toc);
    }
    return 0;
}
