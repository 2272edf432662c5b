#pragma once
// Asking the CUETools database about a rip: the lookup address, the XML reply's entries,
// the parity files (range requests) and the verdict over them, all through the program's
// HTTP client (the CDDB settings' proxy, a stop from another thread ends a request at once).
#include "cd/Ctdb.h"
#include "platform/HttpClient.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <vector>

struct TOptionsSetting;

// {base}/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=0:15000:30000:-56400:70000
QUrl CtdbLookupUrl(const QString& base, const TCtdbToc& toc);

// The entries of a reply; Ok false with the reason for anything that is not a CTDB reply
// or holds a damaged entry. A relative parity address is taken from `base`'s host.
struct TCtdbReply {
    bool Ok = false;
    QString Error;
    std::vector<TCtdbEntry> Entries;
};
TCtdbReply ParseCtdbReply(const QByteArray& xml, const QUrl& base = QUrl());

struct TCtdbLookup {
    enum TStatus { Found, NotInDatabase, Failed };
    TStatus Status = Failed;
    QString Error;                      // Failed: why
    std::vector<TCtdbEntry> Entries;    // Found
};
// One GET of the lookup address; 404 or a reply without entries is NotInDatabase.
TCtdbLookup LookupCtdb(const QString& base, const TCtdbToc& toc, const THttpOptions& options,
                       THttpAbort* abort = nullptr);

// The first npar * 23520 bytes of the entry's parity file (a range request; a 200 with the
// whole file does too).
bool FetchCtdbParity(const TCtdbEntry& entry, const THttpOptions& options, THttpAbort* abort, QByteArray& file,
                     QString& error);

// The lookup, then every entry against the rip (fetching parity files for entries with
// errors); a failed lookup is the verdict "database access error: ...".
TCtdbVerdict VerifyWithCtdb(const TCtdbAccumulator& rip, const QString& base, const THttpOptions& options,
                            THttpAbort* abort = nullptr);

// The settings' proxy, a descriptive user agent, 15 s without a byte or 30 s in all.
THttpOptions CtdbHttpOptions(const TOptionsSetting& settings);
