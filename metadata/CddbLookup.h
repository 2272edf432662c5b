#pragma once
// The CDDB lookup through the first CD library: the query thread, the message it posts to
// its waiting box, and how a found entry lands in the disc information and the track list.
#include "platform/ProcessInfo.h"
#include "metadata/CddbProtocol.h"
#include "platform/HttpClient.h"
#include "metadata/AkripCddb.h"
#include "settings/Options.h"

#include <QEvent>
#include <QPointer>
#include <QStringList>
#include <QThread>
#include <mutex>

struct TCDInfo;

constexpr int WM_CDDB_RESULT = WM_USER_BASE + 104;   // 1128
constexpr QEvent::Type CddbResultEventType = QEvent::Type(QEvent::User + WM_CDDB_RESULT);
namespace CddbResult {
constexpr int NoMatch = 6;     // no entry: not known, or the query or every read failed
constexpr int Finished = 7;    // an entry was read
}

// The greeting's e-mail address and client of the library route.
constexpr const char* CDDB_EMAIL = "anonymous@localhost";
constexpr const char* CDDB_AGENT = "program 1.0";

// What a lookup ended with. `Code` is CddbResult::NoMatch or Finished.
struct TCddbLookupResult {
    int Code = CddbResult::NoMatch;
    int Error = 0;              // GetAspiLibError's code with NoMatch
    QString Reason;             // why there is no entry
    TCddbEntry Entry;           // with Finished
};

// WM_CDDB_RESULT: WParam 6 or 7, LParam the library's error code; the result rides along.
class TCddbResultEvent : public QEvent {
public:
    explicit TCddbResultEvent(TCddbLookupResult result)
        : QEvent(CddbResultEventType), Result(std::move(result)) {}
    int WParam() const { return Result.Code; }
    int LParam() const { return Result.Error; }
    TCddbLookupResult Result;
};

// Hands the settings to the library's CDDB options (server, script, greeting, proxy), and
// the request timeouts (milliseconds).
void SetCddbLibraryOptions(const TQueryCDDB& settings, int idleTimeoutMs = 10000, int timeoutMs = 30000);

// The lookup itself, on the calling thread: query, then read the matches in order until one
// gives an entry. `abort` (optional) ends it early from another thread.
TCddbLookupResult RunCddbLookup(HCDROM handle, THttpAbort* abort = nullptr);

// Copies an entry into the disc information (artist, album, year, genre) and the titles of
// the rows (row k takes TTITLEk; a missing title leaves its row). `splitTrackArtist`: the
// title after a " / " only (the HTTP route), else the whole TTITLE value.
void ApplyCddbEntry(const TCddbEntry& entry, TCDInfo& info, QStringList& rowTitles, bool splitTrackArtist);

// The hint lines shown when a lookup finds nothing.
QStringList CddbNoMatchHints();

// The query thread: sets the options, runs the lookup and posts one TCddbResultEvent to
// its notify object. Abandon() (any thread) aborts the request and guarantees that nothing
// is posted after it returns. The owner joins the thread (wait()) before freeing it.
class TQueryCDDBThread : public QThread {
public:
    TQueryCDDBThread(uint8_t firstTrack, uint8_t lastTrack, HCDROM handle, QObject* notifyWindow,
                     const TQueryCDDB& settings, QObject* parent = nullptr);
    ~TQueryCDDBThread() override;
    void Abandon();
    // Request timeouts (tests shorten them).
    void SetTimeouts(int idleMs, int totalMs)
    {
        FIdleMs = idleMs;
        FTotalMs = totalMs;
    }

    uint8_t FirstTrack;
    uint8_t LastTrack;
    HCDROM CDHandle;

protected:
    void run() override;

private:
    TQueryCDDB FSettings;
    std::mutex FLock;
    QObject* FNotify;            // guarded by FLock; nullptr once abandoned
    THttpAbort FAbort;
    int FIdleMs = 10000;
    int FTotalMs = 30000;
};
