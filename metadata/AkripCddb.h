#pragma once
// The drive library's CDDB functions: cddb.cgi over HTTP for the disc in a drive, with the
// library's error codes (GetAspiLibError) and calling conventions.
#include "platform/akrip32.h"

#include <QString>
#include <cstdint>

// --- CDDB through the library: cddb.cgi over HTTP ------------------------------------------
// Options are global to the library (set them before a query); texts are UTF-8.
enum : int {
    CDDB_OPT_SERVER = 0,          // text: host, host:port or URL
    CDDB_OPT_PROXY = 1,           // text: proxy host
    CDDB_OPT_USEPROXY = 2,        // number: 1 = through the proxy, 0 = the system's proxy
    CDDB_OPT_AGENT = 3,           // text: client name and version of the greeting ("program 1.0")
    CDDB_OPT_USER = 4,            // text: e-mail address of the greeting
    CDDB_OPT_PROXYPORT = 5,       // number: proxy port (80 when not in 1..65535)
    CDDB_OPT_CGI = 6,             // text: path of the query script
    CDDB_OPT_USECDPLAYERINI = 8,  // number: accepted and ignored
    CDDB_OPT_IDLETIMEOUT = 9,     // number: ms without a byte before a request fails (10000)
    CDDB_OPT_TIMEOUT = 10,        // number: ms a request may take in all (30000)
};
constexpr int CDDB_MAX_MATCHES = 10;
constexpr int CDDB_INFO_SIZE = 32000;            // the text buffer callers hand to CDDBGetDiskInfo
// Errors of the CDDB functions (GetAspiLibError), besides ALERR_BUFTOOSMALL and ALERR_INVHANDLE.
enum : int {
    ALERR_CDDB_NOMATCH = 20,      // the server knows no entry for the disc
    ALERR_CDDB_NETWORK = 21,      // no connection, timeout, HTTP failure, reply too large or cut short
    ALERR_CDDB_SERVER = 22,       // the server answered with a CDDB error code
    ALERR_CDDB_STOPPED = 23,      // aborted through CDDBSetAbort
};

struct TCddbMatch {               // 192 bytes, NUL-terminated UTF-8
    char Category[32];
    char DiscId[16];
    char Title[144];
};
static_assert(sizeof(TCddbMatch) == 192);

struct TCddbMatchList {
    int32_t Count = CDDB_MAX_MATCHES;   // in: room in Matches; out: matches found
    TCddbMatch* Matches = nullptr;
};

void CDDBSetOption(int option, const char* text, int number);
// 1 on success (Count = matches, 0 when the server knows none: GetAspiLibError then gives
// ALERR_CDDB_NOMATCH); 0 on failure.
int CDDBQuery(HCDROM handle, TCddbMatchList& list);
// 1 on success: the entry's xmcd lines, UTF-8, NUL-terminated. A text that does not fit
// fails with ALERR_BUFTOOSMALL and is never cut.
int CDDBGetDiskInfo(const TCddbMatch* match, char* text, int size);
// Why the last CDDB call of this thread failed (empty after a success).
QString CDDBLastErrorText();
// A token that lets another thread abort this thread's CDDB requests (nullptr: none).
class THttpAbort;
void CDDBSetAbort(THttpAbort* abort);
