#pragma once
// MusicBrainz disc lookup: the disc id of a table of contents, the web service request
// (one request a second at most, over the program's HTTP client), the releases of its JSON
// reply, and how a chosen release lands in the disc information and the track list.
#include "metadata/CddbProtocol.h"
#include "platform/HttpClient.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

struct TCDInfo;
struct TQueryCDDB;
class TPrompter;

// The MusicBrainz disc id of a table of contents (TCddbToc: LBA starts and lead-out), and the
// "toc" parameter of a lookup ("1+3+33375+150+18900+19575": first, last, lead-out, offsets,
// offsets counted from the start of the disc). Trailing data tracks are left out (MbAudioToc).
// Not valid for a table libdiscid refuses.
struct TMbDiscId {
    bool Valid = false;
    QString Id;
    QString Toc;
    QString Error;
};
TMbDiscId MbDiscIdOf(const TCddbToc& toc, int firstTrack = 1);
// The audio session of a table: without the data tracks at its end, the lead-out 11400
// sectors before the first of them.
TCddbToc MbAudioToc(const TCddbToc& toc);

// GET {server}/ws/2/discid/{id}?toc=...&inc=artist-credits+recordings&fmt=json
QUrl MbDiscIdUrl(const QString& server, const TMbDiscId& id);
// "VarnelCD/<version> ( <homepage> )"
QByteArray MbUserAgent();
// HTTP options of a MusicBrainz request: the CDDB settings' proxy, the user agent.
THttpOptions MbHttpOptions(const TQueryCDDB& proxy);

struct TMbRelease {
    QString Id;            // a MusicBrainz id (UUID): releases without one are dropped
    QString Title;
    QString Artist;        // artist credit: names with their join phrases
    QString Date;
    QString Year;          // the date's first four digits, else empty
    QString Country;
    QString Format;        // the medium's format ("CD")
    int Medium = 0;        // its position in the release
    int Media = 0;         // how many media the release has
    QStringList Titles;    // row k: track k+1 of the medium; "artist / title" when the track's
                           // artist differs from the release's; empty when the medium lacks it
};

// The releases of a discid reply whose medium holds this disc: the medium listing `discId`
// among its discs, else one with a disc whose offsets equal the table's, else one with as
// many tracks. False (with the reason) when the bytes are not such a reply.
bool ParseMbReleases(const QByteArray& json, const QString& discId, const TCddbToc& toc,
                     QList<TMbRelease>& releases, QString& error);

struct TMbLookup {
    enum class Outcome { Found, NotFound, Failed };
    Outcome Result = Outcome::Failed;
    QList<TMbRelease> Releases;   // with Found (at least one)
    QString Error;                // with NotFound and Failed
};

// The lookup on the calling thread: waits for its turn (one MusicBrainz request a second in
// the whole process), asks again once after a second on HTTP 503, refuses replies over 2 MiB.
// 404 or a reply without a fitting release is NotFound. `abort` ends it early.
TMbLookup MbLookupDisc(const QString& server, const TMbDiscId& id, const TCddbToc& toc,
                       const THttpOptions& http, THttpAbort* abort = nullptr);

// Which release to use: the only one, else the user's choice (-1: cancelled).
int ChooseMbRelease(const QList<TMbRelease>& releases, TPrompter& prompter);

// Artist, album, year and the release id into the disc information (genre and comment
// untouched); each track title the release has into its row.
void ApplyMbRelease(const TMbRelease& release, TCDInfo& info, QStringList& rowTitles);

// ---- cover art -----------------------------------------------------------------------------

struct TCoverImage {
    QByteArray Bytes;
    QString Mime;          // "image/jpeg" or "image/png"
    int Width = 0;         // 0 when unknown
    int Height = 0;
    int Depth = 0;         // bits per pixel, 0 when unknown
    bool IsNull() const { return Bytes.isEmpty(); }
};

// The image in these bytes, recognized by its magic bytes (JPEG, PNG); null when neither.
TCoverImage CoverImageOf(const QByteArray& bytes);

struct TCoverFetch {
    enum class Outcome { Found, None, Failed };
    Outcome Result = Outcome::Failed;
    TCoverImage Image;
    QString Error;
};
// GET {coverArt}/release/{mbid}/front-500, following up to five redirects; 10 MiB at most.
// 404 is None (no cover, no error); a reply that is not a JPEG or PNG image is Failed.
TCoverFetch FetchMbCover(const QString& coverArt, const QString& mbid, const THttpOptions& http,
                         THttpAbort* abort = nullptr);

// Where a release's cover is kept: covers/<mbid>.jpg or .png beside cdinfo.dat.
QString CoverFolder();
// Stores the image as its release's cover (replacing the other kind); its path, empty on failure.
QString StoreMbCover(const QString& mbid, const TCoverImage& image);
// The stored cover of a release, empty when there is none (or the id is not a release id).
QString StoredCoverPath(const QString& mbid);
// The stored cover of the disc information's release (OptionsSetting.CDInfo.MBRelease).
QString CurrentDiscCoverPath();

// The data of a FLAC PICTURE metadata block (without the four-byte block header): type 3
// (front cover), the mime type, no description, width, height, depth, no palette, the image.
QByteArray FlacPictureBlock(const TCoverImage& image);
// The value of an Ogg comment METADATA_BLOCK_PICTURE: the same bytes in base64.
QByteArray OggCoverComment(const TCoverImage& image);
// The current disc's stored cover as an image (null when there is none or it is unreadable).
TCoverImage CurrentDiscCover();
// The stored cover of a release as an image (null as above).
TCoverImage StoredCover(const QString& mbid);
