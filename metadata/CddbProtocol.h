#pragma once
// The CDDB protocol as served by cddb.cgi over HTTP, as pure functions: the disc id and
// query string of a table of contents, the command URL, the replies of "cddb query" and
// "cddb read", and the xmcd entry. Both CDDB routes of the program use these.
#include "cd/DiscId.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>
#include <QVector>
#include <cstdint>


// The greeting's four fields: user and host (the e-mail address split at '@'), client name
// and version.
struct TCddbHello {
    QString User = QStringLiteral("anonymous");
    QString Host = QStringLiteral("localhost");
    QString Client;
    QString Version;
};
// User and host from an e-mail address ("anonymous@localhost" when it has neither).
TCddbHello CddbHelloFromEmail(const QString& email, const QString& client, const QString& version);
// "program 1.0" -> client "program", version "1.0" (the version "1.0" when none is given).
void SplitCddbClient(const QString& text, QString& client, QString& version);

// The URL of one command ("cddb query 1401bb03 3 150 18900 19575 445"). `server` is a host,
// host:port or a URL ("http://host:port"); `script` the path of the CGI (a URL's own path is
// used when `script` is empty). Fields are percent-encoded; protocol level 6 (UTF-8).
QUrl CddbCommandUrl(const QString& server, const QString& script, const QString& command,
                    const TCddbHello& hello);

// Reply text: UTF-8 when the bytes are valid UTF-8, else GBK, else Latin-1.
QString DecodeCddbReply(const QByteArray& bytes);

// The reply's status code: its first three characters as a number, -1 when they are not.
int CddbReplyCode(const QString& text);

struct TCddbQueryMatch {
    QString Category;
    QString DiscId;
    QString Title;
};

struct TCddbQueryReply {
    int Code = -1;               // 200 exact, 210/211 list, 202 none; other codes are failures
    QString StatusLine;          // the first line
    QList<TCddbQueryMatch> Matches;
    bool Ok() const { return Code == 200 || Code == 210 || Code == 211 || Code == 202; }
};
TCddbQueryReply ParseCddbQueryReply(const QString& text);

// An xmcd entry. Titles and extras are kept by the number in their key (TTITLE3 -> 3).
struct TCddbEntry {
    QString DiscTitle;           // DTITLE as it stands
    QString Artist;              // DTITLE before the first " / " (else the first "/")
    QString Album;               // DTITLE after it; the whole value when it has neither
    QString Year;
    QString Genre;
    QString DiscExtra;           // EXTD, line breaks kept
    QString Generated;           // "# Generated" comment
    QString DiscLength;          // "# Disc length" comment
    QMap<int, QString> Titles;   // TTITLEk, 0 <= k < 100
    QMap<int, QString> Extras;   // EXTTk
    int TitleCount() const { return Titles.isEmpty() ? 0 : Titles.lastKey() + 1; }
};

// Parses the lines of an entry. Repeated keys join their values; the escapes backslash-n,
// backslash-t and a doubled backslash are decoded; values that land in one-line fields (titles, artist, year, genre) have line
// breaks, tabs and other control characters turned into spaces, are trimmed and cut to 255
// characters (a track title, which may name its artist too, to 513). Lines without '=' are ignored.
TCddbEntry ParseCddbEntry(const QString& text);

// The entry lines of a "cddb read" reply: false (with the reason) unless its first line's
// code is 210. Lines up to a line that is "." (or to the end, when it has none).
bool CddbReadReplyEntry(const QString& reply, QString& entry, QString& reason);

// "Artist / Title" at the first " / " (else, with `slashAlone`, at the first "/"): false
// when there is no such separator.
bool SplitCddbTitle(const QString& value, bool slashAlone, QString& artist, QString& title);

// The text of a failed command: the reply's first line, or why there was none.
QString CddbReplyReason(const QString& text);
