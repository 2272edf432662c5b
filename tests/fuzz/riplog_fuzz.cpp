// Feeds arbitrary bytes to the rip log's checksum check (what verify-log reads from a file):
// it must never crash, and a text it accepts must stay accepted with its checksum line made
// again from the text above it.
#include "cd/RipLog.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray log(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!RipLogChecksumOk(log))
        return 0;
    QByteArray body = log;
    body.chop(1);
    body.truncate(body.lastIndexOf('\n') + 1);
    if (!RipLogChecksumOk(body + RipLogChecksumLine(body) + '\n'))
        std::abort();
    return 0;
}
