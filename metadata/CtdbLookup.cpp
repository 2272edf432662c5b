#include "metadata/CtdbLookup.h"
#include "metadata/MusicBrainz.h"
#include "settings/Options.h"

#include <QUrlQuery>
#include <QXmlStreamReader>

namespace {

constexpr qint64 kMaxReplyBytes = 1 << 20;
constexpr int kMaxEntries = 1000;
constexpr int kMaxUrlLength = 2048;
constexpr int kMaxTocLength = 100 * 8;
constexpr qint64 kParityBytesPerNpar = qint64(ctdb::Columns) * 2;

bool ParseInt(QStringView text, qint64 lo, qint64 hi, qint64& value)
{
    bool ok = false;
    value = text.trimmed().toLongLong(&ok);
    return ok && value >= lo && value <= hi;
}

bool ParseHex32(QStringView text, uint32_t& value)
{
    if (text.size() != 8)
        return false;
    bool ok = false;
    value = uint32_t(text.toULong(&ok, 16));
    return ok;
}

// Base64 of little-endian 16-bit words, exactly `count` of them.
bool ParseWords(QStringView text, int count, std::vector<uint16_t>& words)
{
    const auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const QByteArray& b = decoded.decoded;
    if (!decoded || b.size() != qsizetype(count) * 2)
        return false;
    words.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        words[size_t(i)] = uint16_t(uint8_t(b[2 * i]) | (uint8_t(b[2 * i + 1]) << 8));
    return true;
}

// One <entry>; empty when good, else what is wrong with it.
QString ParseEntry(const QXmlStreamAttributes& a, const QUrl& base, TCtdbEntry& e)
{
    qint64 v = 0;
    if (!ParseInt(a.value(QLatin1String("id")), 0, std::numeric_limits<qint64>::max(), v))
        return QStringLiteral("no valid id");
    e.Id = v;
    if (!ParseHex32(a.value(QLatin1String("crc32")), e.Crc))
        return QStringLiteral("no valid crc32");
    if (!ParseInt(a.value(QLatin1String("confidence")), 0, 1000000000, v))
        return QStringLiteral("no valid confidence");
    e.Confidence = int(v);
    if (!ParseInt(a.value(QLatin1String("npar")), 1, 64, v))
        return QStringLiteral("no valid npar");
    e.Npar = int(v);
    if (!ParseInt(a.value(QLatin1String("stride")), 1, 1 << 20, v))
        return QStringLiteral("no valid stride");
    e.Stride = int(v);
    if (a.hasAttribute(QLatin1String("syndrome"))) {
        if (e.Npar > ctdb::MaxNpar || !ParseWords(a.value(QLatin1String("syndrome")), e.Npar, e.Syndrome))
            return QStringLiteral("a damaged syndrome");
    } else if (a.hasAttribute(QLatin1String("parity"))) {
        std::vector<uint16_t> parity;
        if (e.Npar != 8 || !ParseWords(a.value(QLatin1String("parity")), 8, parity))
            return QStringLiteral("a damaged parity");
        e.Syndrome = ctdb::SyndromesOfParity(parity, 8);
    }
    const QStringView parityUrl = a.value(QLatin1String("hasparity"));
    if (!parityUrl.isEmpty()) {
        if (parityUrl.size() > kMaxUrlLength)
            return QStringLiteral("a parity address too long");
        const QUrl url = base.resolved(QUrl(parityUrl.toString()));
        // Only a web address is fetched; anything else leaves the entry without parity.
        if (url.isValid() && !url.host().isEmpty() &&
            (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
            e.ParityUrl = url.toString();
    }
    const QStringView crcs = a.value(QLatin1String("trackcrcs"));
    for (const QStringView c : crcs.split(u' ', Qt::SkipEmptyParts)) {
        uint32_t crc = 0;
        if (!ParseHex32(c, crc) || e.TrackCrcs.size() >= 99)
            return QStringLiteral("damaged track CRCs");
        e.TrackCrcs.push_back(crc);
    }
    const QStringView toc = a.value(QLatin1String("toc"));
    if (toc.size() > kMaxTocLength)
        return QStringLiteral("a TOC too long");
    e.Toc = toc.toString();
    return {};
}

} // namespace

QUrl CtdbLookupUrl(const QString& base, const TCtdbToc& toc)
{
    QString root = base.trimmed();
    while (root.endsWith(QLatin1Char('/')))
        root.chop(1);
    QUrl url(root + QStringLiteral("/lookup2.php"));
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("version"), QStringLiteral("3"));
    q.addQueryItem(QStringLiteral("ctdb"), QStringLiteral("1"));
    q.addQueryItem(QStringLiteral("fuzzy"), QStringLiteral("1"));
    q.addQueryItem(QStringLiteral("metadata"), QStringLiteral("none"));
    q.addQueryItem(QStringLiteral("toc"), toc.Text);
    url.setQuery(q);
    return url;
}

TCtdbReply ParseCtdbReply(const QByteArray& xml, const QUrl& base)
{
    TCtdbReply reply;
    QXmlStreamReader r(xml);
    bool root = false;
    while (!r.atEnd()) {
        const QXmlStreamReader::TokenType token = r.readNext();
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (!root) {
            if (r.name() != QLatin1String("ctdb")) {
                reply.Error = QStringLiteral("not a CUETools database reply (its root is <%1>)").arg(r.name().left(40));
                return reply;
            }
            root = true;
            continue;
        }
        if (r.name() != QLatin1String("entry"))
            continue;
        if (int(reply.Entries.size()) >= kMaxEntries) {
            reply.Error = QStringLiteral("damaged reply: more than %1 entries").arg(kMaxEntries);
            reply.Entries.clear();
            return reply;
        }
        TCtdbEntry e;
        const QString why = ParseEntry(r.attributes(), base, e);
        if (!why.isEmpty()) {
            reply.Error = QStringLiteral("damaged reply: entry %1 has %2").arg(reply.Entries.size() + 1).arg(why);
            reply.Entries.clear();
            return reply;
        }
        reply.Entries.push_back(std::move(e));
    }
    if (r.hasError() || !root) {
        reply.Error = root ? QStringLiteral("damaged reply: %1 (line %2)").arg(r.errorString()).arg(r.lineNumber())
                           : QStringLiteral("not a CUETools database reply");
        reply.Entries.clear();
        return reply;
    }
    reply.Ok = true;
    return reply;
}

TCtdbLookup LookupCtdb(const QString& base, const TCtdbToc& toc, const THttpOptions& options, THttpAbort* abort)
{
    TCtdbLookup lookup;
    const QUrl url = CtdbLookupUrl(base, toc);
    if (!toc.Valid) {
        lookup.Error = QStringLiteral("the disc has no audio track");
        return lookup;
    }
    if (!url.isValid() || url.host().isEmpty()) {
        lookup.Error = QStringLiteral("not a database address: %1").arg(base);
        return lookup;
    }
    THttpOptions o = options;
    o.MaxBytes = std::min<qint64>(o.MaxBytes > 0 ? o.MaxBytes : kMaxReplyBytes, kMaxReplyBytes);
    const THttpResult r = HttpGet(url, o, abort);
    if (!r.Ok) {
        if (r.Status == 404) {
            lookup.Status = TCtdbLookup::NotInDatabase;
        } else {
            lookup.Error = r.Error.isEmpty() ? QStringLiteral("no reply") : r.Error;
        }
        return lookup;
    }
    TCtdbReply reply = ParseCtdbReply(r.Body, url);
    if (!reply.Ok) {
        lookup.Error = reply.Error;
        return lookup;
    }
    lookup.Entries = std::move(reply.Entries);
    lookup.Status = lookup.Entries.empty() ? TCtdbLookup::NotInDatabase : TCtdbLookup::Found;
    return lookup;
}

bool FetchCtdbParity(const TCtdbEntry& entry, const THttpOptions& options, THttpAbort* abort, QByteArray& file,
                     QString& error)
{
    const qint64 bytes = qint64(entry.Npar) * kParityBytesPerNpar;
    if (entry.ParityUrl.isEmpty() || entry.Npar <= 0 || entry.Npar > ctdb::MaxNpar) {
        error = QStringLiteral("the entry has no parity file");
        return false;
    }
    THttpOptions o = options;
    o.Range = "bytes=0-" + QByteArray::number(bytes - 1);
    // A server that ignores the range sends the whole file: room for the largest one.
    o.MaxBytes = 4 * qint64(ctdb::MaxNpar) * kParityBytesPerNpar;
    const THttpResult r = HttpGet(QUrl(entry.ParityUrl), o, abort);
    if (!r.Ok) {
        error = QStringLiteral("parity file: ") + r.Error;
        return false;
    }
    file = r.Body.left(bytes);
    return true;
}

TCtdbVerdict VerifyWithCtdb(const TCtdbAccumulator& rip, const QString& base, const THttpOptions& options,
                            THttpAbort* abort)
{
    const TCtdbLookup lookup = LookupCtdb(base, rip.Toc(), options, abort);
    TCtdbVerdict v;
    switch (lookup.Status) {
    case TCtdbLookup::Failed:
        v.Status = TCtdbVerdict::Failed;
        v.Error = lookup.Error;
        return v;
    case TCtdbLookup::NotInDatabase:
        v.Status = TCtdbVerdict::NotInDatabase;
        return v;
    case TCtdbLookup::Found:
        break;
    }
    v = CtdbVerdictOf(rip, lookup.Entries, [&](const TCtdbEntry& e, QByteArray& file, QString& error) {
        return FetchCtdbParity(e, options, abort, file, error);
    });
    if (abort && abort->Aborted()) {
        // A stop while a parity file came in: no verdict drawn from half the entries.
        v = TCtdbVerdict();
        v.Status = TCtdbVerdict::Failed;
        v.Error = QStringLiteral("Stopped.");
    }
    return v;
}

THttpOptions CtdbHttpOptions(const TOptionsSetting& settings)
{
    THttpOptions o;
    o.IdleTimeoutMs = 15000;
    o.TotalTimeoutMs = 30000;
    o.MaxBytes = kMaxReplyBytes;
    o.UseProxy = settings.QueryCDDB.UseProxy;
    o.ProxyAddress = settings.QueryCDDB.ProxyAddress;
    o.ProxyPort = settings.QueryCDDB.Port;
    o.UserAgent = MbUserAgent();
    return o;
}
