#include "metadata/MusicBrainz.h"

#include "platform/Prompter.h"
#include "settings/CDInfo.h"
#include "settings/Options.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <chrono>
#include <discid/discid.h>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

constexpr qint64 kMaxReplyBytes = 2 * 1024 * 1024;
constexpr qint64 kMaxCoverBytes = 10 * 1024 * 1024;
constexpr int kCoverRedirects = 5;
// The longest title, artist or date kept from a reply (cut there, as the CDDB fields are).
constexpr qsizetype kMaxFieldChars = 255;
// The program's home page (the Help menu's), which MusicBrainz asks clients to name.
constexpr const char* kHomePage = "https://varnelcd.sourceforge.io/";

// The id names a cover file and lands in cdinfo.dat: exactly the 36 characters of a
// lower-case UUID ('$' alone would also let a final line break through).
bool IsMbid(const QString& id)
{
    static const QRegularExpression uuid(QRegularExpression::anchoredPattern(
        QStringLiteral("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")));
    return id.size() == 36 && uuid.match(id).hasMatch();
}

// One line of text of bounded length: a server's line breaks, tabs, NULs and other control
// characters would break the cache and the rows.
QString OneLine(const QString& text)
{
    QString s = text.left(kMaxFieldChars);
    for (QChar& c : s)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return s.trimmed();
}

QString CreditText(const QJsonValue& credit)
{
    QString text;
    for (const QJsonValue& part : credit.toArray()) {
        const QJsonObject o = part.toObject();
        QString name = o.value(QLatin1String("name")).toString();
        if (name.isEmpty())
            name = o.value(QLatin1String("artist")).toObject().value(QLatin1String("name")).toString();
        text += name + o.value(QLatin1String("joinphrase")).toString();
    }
    return OneLine(text);
}

// The disc offsets of a table (LBA + 150) as MusicBrainz lists them.
QList<int> DiscOffsets(const TCddbToc& toc)
{
    QList<int> out;
    for (int s : toc.Starts)
        out << s + 150;
    return out;
}

// Which medium of a release holds the disc: by id, else by equal offsets, else by track count.
int FittingMedium(const QJsonArray& media, const QString& discId, const TCddbToc& toc)
{
    const QList<int> offsets = DiscOffsets(toc);
    int byOffsets = -1, byCount = -1;
    for (int m = 0; m < media.size(); ++m) {
        const QJsonObject medium = media[m].toObject();
        for (const QJsonValue& d : medium.value(QLatin1String("discs")).toArray()) {
            const QJsonObject disc = d.toObject();
            if (!discId.isEmpty() && disc.value(QLatin1String("id")).toString() == discId)
                return m;
            QList<int> theirs;
            for (const QJsonValue& o : disc.value(QLatin1String("offsets")).toArray())
                theirs << o.toInt(-1);
            if (byOffsets < 0 && !offsets.isEmpty() && theirs == offsets)
                byOffsets = m;
        }
        const int count = medium.value(QLatin1String("tracks")).toArray().size();
        if (byCount < 0 && count == toc.Starts.size() && count > 0)
            byCount = m;
    }
    return byOffsets >= 0 ? byOffsets : byCount;
}

// MusicBrainz asks every client to keep to one request a second. Requests of the whole
// process take turns, and the next one starts a second after the last one ended, so that
// they also reach the server at least a second apart. Null result when stopped while waiting.
std::optional<THttpResult> SpacedGet(const QUrl& url, const THttpOptions& options, THttpAbort* abort)
{
    static std::mutex lock;
    static std::optional<std::chrono::steady_clock::time_point> last;
    std::lock_guard guard(lock);
    const auto stopped = [abort] { return abort && abort->Aborted(); };
    while (last && std::chrono::steady_clock::now() < *last + std::chrono::seconds(1)) {
        if (stopped())
            return std::nullopt;
        const auto left = *last + std::chrono::seconds(1) - std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(50)));
    }
    if (stopped())
        return std::nullopt;
    THttpResult result = HttpGet(url, options, abort);
    last = std::chrono::steady_clock::now();
    return result;
}

quint32 BigEndian(const QByteArray& b, qsizetype at, int bytes)
{
    quint32 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | quint8(b[at + i]);
    return v;
}

void AppendBigEndian(QByteArray& out, quint32 v)
{
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

// Width, height and depth from a JPEG's first frame header, when it is found.
void JpegSize(TCoverImage& image)
{
    const QByteArray& b = image.Bytes;
    qsizetype at = 2;
    while (at + 4 <= b.size()) {
        if (quint8(b[at]) != 0xff)
            return;
        const quint8 marker = quint8(b[at + 1]);
        if (marker == 0xff) {   // fill byte
            ++at;
            continue;
        }
        if (marker == 0xd8 || (marker >= 0xd0 && marker <= 0xd7) || marker == 0x01) {
            at += 2;
            continue;
        }
        const qsizetype length = BigEndian(b, at + 2, 2);
        if (length < 2)
            return;
        const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame) {
            if (at + 10 > b.size())
                return;
            image.Height = int(BigEndian(b, at + 5, 2));
            image.Width = int(BigEndian(b, at + 7, 2));
            image.Depth = quint8(b[at + 4]) * quint8(b[at + 9]);
            return;
        }
        at += 2 + length;
    }
}

} // namespace

TCddbToc MbAudioToc(const TCddbToc& toc)
{
    TCddbToc audio = toc;
    // A data session after the audio one (enhanced CD) is left out; the audio session ends
    // 11400 sectors (lead-out, lead-in and pregap of the second session) before it. A data
    // track without that gap (an image of one session) ends the audio where it starts.
    while (audio.Starts.size() > 1 && audio.DataTracks.size() == audio.Starts.size() && audio.DataTracks.last()) {
        const int data = audio.Starts.last();
        audio.LeadOut = data - 11400 > audio.Starts[audio.Starts.size() - 2] ? data - 11400 : data;
        audio.Starts.removeLast();
        audio.DataTracks.removeLast();
    }
    return audio;
}

TMbDiscId MbDiscIdOf(const TCddbToc& fullToc, int firstTrack)
{
    TMbDiscId out;
    const TCddbToc toc = MbAudioToc(fullToc);
    const int count = int(toc.Starts.size());
    const int last = firstTrack + count - 1;
    if (count < 1 || firstTrack < 1 || last > 99) {
        out.Error = QStringLiteral("The table of contents has no usable tracks.");
        return out;
    }
    int offsets[100] = {};
    offsets[0] = toc.LeadOut + 150;
    for (int i = 0; i < count; ++i)
        offsets[firstTrack + i] = toc.Starts[i] + 150;
    std::unique_ptr<DiscId, void (*)(DiscId*)> disc(discid_new(), discid_free);
    if (!disc) {
        out.Error = QStringLiteral("Out of memory.");
        return out;
    }
    if (!discid_put(disc.get(), firstTrack, last, offsets)) {
        out.Error = QStringLiteral("Invalid table of contents: ") + QString::fromUtf8(discid_get_error_msg(disc.get()));
        return out;
    }
    out.Valid = true;
    out.Id = QString::fromLatin1(discid_get_id(disc.get()));
    QStringList parts{QString::number(firstTrack), QString::number(last), QString::number(offsets[0])};
    for (int i = 0; i < count; ++i)
        parts << QString::number(offsets[firstTrack + i]);
    out.Toc = parts.join(QLatin1Char('+'));
    return out;
}

QUrl MbDiscIdUrl(const QString& server, const TMbDiscId& id)
{
    QString base = server.trimmed();
    if (!base.contains(QLatin1String("://")))
        base.prepend(QLatin1String("https://"));
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    // The id's characters ('.', '_', '-') and the toc's ('+', digits) need no escaping.
    return QUrl(base + QLatin1String("/ws/2/discid/") + id.Id + QLatin1String("?toc=") + id.Toc +
                QLatin1String("&inc=artist-credits+recordings&fmt=json"));
}

QByteArray MbUserAgent()
{
    return "VarnelCD/" + ApplicationVersion().toLatin1() + " ( " + kHomePage + " )";
}

THttpOptions MbHttpOptions(const TQueryCDDB& proxy)
{
    THttpOptions http;
    http.UseProxy = proxy.UseProxy;
    http.ProxyAddress = proxy.ProxyAddress;
    http.ProxyPort = proxy.Port;
    http.UserAgent = MbUserAgent();
    return http;
}

bool ParseMbReleases(const QByteArray& json, const QString& discId, const TCddbToc& toc,
                     QList<TMbRelease>& releases, QString& error)
{
    releases.clear();
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
        error = QStringLiteral("MusicBrainz sent a reply that is not JSON: ") + parse.errorString();
        return false;
    }
    const TCddbToc audio = MbAudioToc(toc);
    const QJsonValue list = doc.object().value(QLatin1String("releases"));
    if (!list.isArray()) {
        error = QStringLiteral("MusicBrainz sent a reply without releases.");
        return false;
    }
    for (const QJsonValue& v : list.toArray()) {
        const QJsonObject r = v.toObject();
        TMbRelease rel;
        rel.Id = r.value(QLatin1String("id")).toString();
        if (!IsMbid(rel.Id))
            continue;
        const QJsonArray media = r.value(QLatin1String("media")).toArray();
        const int m = FittingMedium(media, discId, audio);
        if (m < 0)
            continue;
        const QJsonObject medium = media[m].toObject();
        rel.Title = OneLine(r.value(QLatin1String("title")).toString());
        rel.Artist = CreditText(r.value(QLatin1String("artist-credit")));
        rel.Date = OneLine(r.value(QLatin1String("date")).toString());
        static const QRegularExpression year(QStringLiteral("^\\d{4}"));
        rel.Year = year.match(rel.Date).captured(0);
        rel.Country = OneLine(r.value(QLatin1String("country")).toString());
        rel.Format = OneLine(medium.value(QLatin1String("format")).toString());
        rel.Medium = medium.value(QLatin1String("position")).toInt(m + 1);
        rel.Media = std::clamp(r.value(QLatin1String("media-count")).toInt(0), int(media.size()), 999);
        if (rel.Medium < 1 || rel.Medium > rel.Media)
            rel.Medium = m + 1;
        const int count = int(audio.Starts.size());
        for (int i = 0; i < count; ++i)
            rel.Titles << QString();
        for (const QJsonValue& t : medium.value(QLatin1String("tracks")).toArray()) {
            const QJsonObject track = t.toObject();
            const int position = track.value(QLatin1String("position")).toInt(0);
            if (position < 1 || position > count)
                continue;
            QString title = OneLine(track.value(QLatin1String("title")).toString());
            if (title.isEmpty())
                title = OneLine(track.value(QLatin1String("recording")).toObject().value(QLatin1String("title")).toString());
            QJsonValue credit = track.value(QLatin1String("artist-credit"));
            if (!credit.isArray())
                credit = track.value(QLatin1String("recording")).toObject().value(QLatin1String("artist-credit"));
            const QString artist = CreditText(credit);
            if (!title.isEmpty() && !artist.isEmpty() && artist != rel.Artist)
                title = artist + QLatin1String(" / ") + title;
            rel.Titles[position - 1] = title;
        }
        releases << rel;
    }
    return true;
}

TMbLookup MbLookupDisc(const QString& server, const TMbDiscId& id, const TCddbToc& toc,
                       const THttpOptions& http, THttpAbort* abort)
{
    TMbLookup out;
    if (!id.Valid) {
        out.Error = id.Error.isEmpty() ? QStringLiteral("No disc id.") : id.Error;
        return out;
    }
    const QUrl url = MbDiscIdUrl(server, id);
    THttpOptions options = http;
    options.MaxBytes = kMaxReplyBytes;
    if (options.UserAgent.isEmpty())
        options.UserAgent = MbUserAgent();
    THttpResult reply;
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Busy (503): the spacing gives the second before asking again.
        const std::optional<THttpResult> r = SpacedGet(url, options, abort);
        if (!r) {
            out.Error = QStringLiteral("Stopped.");
            return out;
        }
        reply = *r;
        if (reply.Status != 503 || (abort && abort->Aborted()))
            break;
    }
    if (reply.Status == 404) {
        out.Result = TMbLookup::Outcome::NotFound;
        out.Error = QStringLiteral("MusicBrainz does not know this disc (%1).").arg(id.Id);
        return out;
    }
    if (!reply.Ok) {
        out.Error = reply.Error;
        return out;
    }
    if (!ParseMbReleases(reply.Body, id.Id, toc, out.Releases, out.Error))
        return out;
    if (out.Releases.isEmpty()) {
        out.Result = TMbLookup::Outcome::NotFound;
        out.Error = QStringLiteral("MusicBrainz has no release with this disc (%1).").arg(id.Id);
        return out;
    }
    out.Result = TMbLookup::Outcome::Found;
    return out;
}

int ChooseMbRelease(const QList<TMbRelease>& releases, TPrompter& prompter)
{
    if (releases.size() <= 1)
        return releases.isEmpty() ? -1 : 0;
    QList<QStringList> rows;
    for (const TMbRelease& r : releases)
        rows << QStringList{r.Title, r.Artist, r.Date, r.Country, r.Format};
    const int chosen = prompter.AskChoice(QStringLiteral("Choose the release of this disc"),
                                          {QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Date"),
                                           QStringLiteral("Country"), QStringLiteral("Format")},
                                          rows);
    return chosen >= 0 && chosen < releases.size() ? chosen : -1;
}

void ApplyMbRelease(const TMbRelease& release, TCDInfo& info, QStringList& rowTitles)
{
    info.Artist = release.Artist;
    info.Album = release.Title;
    info.Year = release.Year;
    info.MBRelease = release.Id;
    info.DiscNumber = release.Medium;
    info.DiscTotal = release.Media;
    for (int i = 0; i < release.Titles.size() && i < rowTitles.size(); ++i)
        if (!release.Titles[i].isEmpty())
            rowTitles[i] = release.Titles[i];
}

// ---- cover art -----------------------------------------------------------------------------

TCoverImage CoverImageOf(const QByteArray& bytes)
{
    TCoverImage image;
    if (bytes.startsWith("\xff\xd8\xff")) {
        image.Bytes = bytes;
        image.Mime = QStringLiteral("image/jpeg");
        JpegSize(image);
    } else if (bytes.startsWith("\x89PNG\r\n\x1a\n")) {
        image.Bytes = bytes;
        image.Mime = QStringLiteral("image/png");
        if (bytes.size() >= 26 && bytes.mid(12, 4) == "IHDR") {
            image.Width = int(BigEndian(bytes, 16, 4));
            image.Height = int(BigEndian(bytes, 20, 4));
            static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
            const int type = quint8(bytes[25]);
            image.Depth = type < 7 ? quint8(bytes[24]) * channels[type] : 0;
        }
    }
    return image;
}

TCoverFetch FetchMbCover(const QString& coverArt, const QString& mbid, const THttpOptions& http, THttpAbort* abort)
{
    TCoverFetch out;
    if (!IsMbid(mbid)) {
        out.Error = QStringLiteral("Not a release id: ") + mbid;
        return out;
    }
    QString base = coverArt.trimmed();
    if (!base.contains(QLatin1String("://")))
        base.prepend(QLatin1String("https://"));
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    THttpOptions options = http;
    options.MaxBytes = kMaxCoverBytes;
    options.MaxRedirects = kCoverRedirects;
    options.TotalTimeoutMs = std::max(options.TotalTimeoutMs, 60000);
    if (options.UserAgent.isEmpty())
        options.UserAgent = MbUserAgent();
    const THttpResult reply = HttpGet(QUrl(base + QLatin1String("/release/") + mbid + QLatin1String("/front-500")),
                                      options, abort);
    if (reply.Status == 404) {
        out.Result = TCoverFetch::Outcome::None;
        return out;
    }
    if (!reply.Ok) {
        out.Error = reply.Error;
        return out;
    }
    out.Image = CoverImageOf(reply.Body);
    if (out.Image.IsNull()) {
        out.Error = QStringLiteral("The cover is neither a JPEG nor a PNG image.");
        return out;
    }
    out.Result = TCoverFetch::Outcome::Found;
    return out;
}

QString CoverFolder()
{
    return QFileInfo(CDInfoFileName()).absolutePath() + QLatin1String("/covers/");
}

QString StoreMbCover(const QString& mbid, const TCoverImage& image)
{
    if (!IsMbid(mbid) || image.IsNull() || !QDir().mkpath(CoverFolder()))
        return {};
    const bool png = image.Mime == QLatin1String("image/png");
    const QString path = CoverFolder() + mbid + (png ? QLatin1String(".png") : QLatin1String(".jpg"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(image.Bytes) != image.Bytes.size() || !file.commit())
        return {};
    QFile::remove(CoverFolder() + mbid + (png ? QLatin1String(".jpg") : QLatin1String(".png")));
    return path;
}

QString StoredCoverPath(const QString& mbid)
{
    if (!IsMbid(mbid))
        return {};
    for (const char* ext : {".jpg", ".png"}) {
        const QString path = CoverFolder() + mbid + QLatin1String(ext);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

QString CurrentDiscCoverPath()
{
    return StoredCoverPath(OptionsSetting.CDInfo.MBRelease);
}

TCoverImage CurrentDiscCover()
{
    return StoredCover(OptionsSetting.CDInfo.MBRelease);
}

TCoverImage StoredCover(const QString& mbid)
{
    QFile file(StoredCoverPath(mbid));
    if (file.fileName().isEmpty() || file.size() > kMaxCoverBytes || !file.open(QIODevice::ReadOnly))
        return {};
    return CoverImageOf(file.readAll());
}

QByteArray FlacPictureBlock(const TCoverImage& image)
{
    if (image.IsNull())
        return {};
    QByteArray out;
    const QByteArray mime = image.Mime.toLatin1();
    AppendBigEndian(out, 3);                       // front cover
    AppendBigEndian(out, quint32(mime.size()));
    out += mime;
    AppendBigEndian(out, 0);                       // no description
    AppendBigEndian(out, quint32(image.Width));
    AppendBigEndian(out, quint32(image.Height));
    AppendBigEndian(out, quint32(image.Depth));
    AppendBigEndian(out, 0);                       // not an indexed-colour image
    AppendBigEndian(out, quint32(image.Bytes.size()));
    out += image.Bytes;
    return out;
}

QByteArray OggCoverComment(const TCoverImage& image)
{
    return FlacPictureBlock(image).toBase64();
}
