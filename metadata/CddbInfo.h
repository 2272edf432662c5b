#pragma once
// The HTTP CDDB component: computes the CDDB disc id of the disc its TOC source reports,
// asks a CDDB server over HTTP for matching entries, reads the first match and parses it
// into an album record. The main window uses it when the first CD library gave no handle.
#include "metadata/CddbProtocol.h"
#include "platform/HttpClient.h"
#include "metadata/AkripCddb.h"

#include <QString>
#include <QStringList>
#include <QVector>

// Where the component takes a disc's table of contents from (the CD input component, or a
// drive handle of the first library).
class TCddbTocSource {
public:
    virtual ~TCddbTocSource() = default;
    // False when no disc is present or its table of contents cannot be read.
    virtual bool ReadCddbToc(TCddbToc& toc) = 0;
};

// The table of contents behind a handle of the first library.
class TCddbHandleToc : public TCddbTocSource {
public:
    explicit TCddbHandleToc(HCDROM handle) : FHandle(handle) {}
    bool ReadCddbToc(TCddbToc& toc) override;

private:
    HCDROM FHandle;
};

class TCDIn;
// The table of contents of the CD input component's current drive.
class TCddbCDInToc : public TCddbTocSource {
public:
    explicit TCddbCDInToc(TCDIn& in) : FIn(in) {}
    bool ReadCddbToc(TCddbToc& toc) override;

private:
    TCDIn& FIn;
};

struct TCDDBAlbum {
    QStringList TrackArtists;
    QStringList TrackTitles;
    QStringList TrackExtras;
    QString DiscExtra;
    QString AlbumTitle;
    QString Artist;
    QString Year;        // at most 4 characters
    QString Genre;       // at most 30
    QString Reserved;    // never set
    QString Generated;
    QString DiscLength;
    int TrackCount = 0;  // entries of the three lists
};

// The album record of an entry: track k from TTITLEk (artist before a " / ", else the
// disc's artist), the disc fields cut to their lengths.
TCDDBAlbum CddbAlbumOf(const TCddbEntry& entry);
// Track k's title as the disc information stores it: "artist / title" when the track has an
// artist of its own (the tags take it from there), else the title; empty when the entry
// has no title for it.
QString StoredCddbTitle(const TCDDBAlbum& album, int k);

// The protocol exchange: query, then read the first match.
class TCDDBQuery {
public:
    // Returns the status code of the query reply, -1 when the exchange failed. `Entry`
    // tells whether a read brought an entry, which is then in `Album`.
    int Query(const QUrl& queryUrl, const std::function<QUrl(const TCddbQueryMatch&)>& readUrl,
              const THttpOptions& http);
    TCDDBAlbum Album;
    QStringList Lines;              // the last reply's lines
    QList<TCddbQueryMatch> Matches;
    bool Entry = false;
    QString Reason;                 // why the last query brought no entry
};

class TCDDBInfo {
public:
    TCDDBInfo();
    QString ApplicationName = QStringLiteral("CDConv");
    QString ApplicationVersion = QStringLiteral("v1.0");
    QString Email = QStringLiteral("anonymous@localhost");
    QString Server = QStringLiteral("http://gnudb.gnudb.org");
    QString Script = QStringLiteral("/~cddb/cddb.cgi");
    THttpOptions Http;              // proxy and timeouts

    TCddbTocSource* CDIn() const { return FCDIn; }
    void SetCDIn(TCddbTocSource* source) { FCDIn = source; }

    // 8 lower-case hex digits, "ffffffff" when the table of contents cannot be read. Both
    // raise EAuException("CDIn is not assigned") without a source.
    QString CddbDiscId();
    QString QueryString();
    // Disc id, query string, the exchange; returns and stores the status (-1: the exchange
    // failed, -2: no disc id).
    int Query();
    int QueryStatus() const { return FQueryStatus; }
    // Whether the last Query read an entry, and why not.
    bool HasEntry() const { return FQuery.Entry; }
    const QString& Reason() const { return FQuery.Reason; }
    // The album of the last query that read an entry (empty before the first).
    TCDDBAlbum AlbumRecord() const { return FQuery.Album; }

private:
    TCddbDiscId DiscId();
    TCddbTocSource* FCDIn = nullptr;
    QString FCddbDiscId = QStringLiteral("ffffffff");
    QString FQueryString;
    int FQueryStatus = 0;
    TCDDBQuery FQuery;
};
