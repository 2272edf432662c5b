#include "metadata/CddbProtocol.h"
#include "platform/TextCodec.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrlQuery>

namespace {

constexpr int kMaxTitleKey = 100;      // TTITLE0..TTITLE99
// The longest one-line field kept: artist, album, year, genre (as the album record cuts
// them); a track title may hold "artist / title", each part that long.
constexpr qsizetype kMaxField = 255;
constexpr qsizetype kMaxTrackTitle = 2 * kMaxField + 3;

QStringList SplitLines(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t.split(QLatin1Char('\n'));
}

QString DecodeEscapes(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar n = value[i + 1];
            if (n == QLatin1Char('n')) {
                out += QLatin1Char('\n');
                ++i;
                continue;
            }
            if (n == QLatin1Char('t')) {
                out += QLatin1Char('\t');
                ++i;
                continue;
            }
            if (n == QLatin1Char('\\')) {
                out += QLatin1Char('\\');
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// A one-line field: no line break or tab survives (a title lands in a list row and in the
// disc cache, where a line break would start a new line).
QString OneLine(const QString& value)
{
    QString t = value;
    for (QChar& c : t)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t') || c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return t.trimmed();
}

// "TTITLE12" with prefix "TTITLE" -> 12; -1 when the rest is not a number in range.
int KeyNumber(const QString& key, const QString& prefix)
{
    if (!key.startsWith(prefix) || key.size() == prefix.size() || key.size() > prefix.size() + 3)
        return -1;
    bool ok = false;
    const int n = key.mid(prefix.size()).toInt(&ok);
    for (qsizetype i = prefix.size(); i < key.size(); ++i)
        if (!key[i].isDigit())
            return -1;
    return ok && n >= 0 && n < kMaxTitleKey ? n : -1;
}

} // namespace

void SplitCddbClient(const QString& text, QString& client, QString& version)
{
    const QStringList parts = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    client = parts.value(0, QStringLiteral("VarnelCD"));
    version = parts.size() > 1 ? parts.mid(1).join(QLatin1Char(' ')) : QStringLiteral("1.0");
}

TCddbHello CddbHelloFromEmail(const QString& email, const QString& client, const QString& version)
{
    TCddbHello hello;
    const QString e = email.trimmed();
    const qsizetype at = e.indexOf(QLatin1Char('@'));
    if (at > 0 && at + 1 < e.size()) {
        hello.User = e.left(at);
        hello.Host = e.mid(at + 1);
    } else if (!e.isEmpty() && at < 0) {
        hello.User = e;
    }
    hello.Client = client.trimmed().isEmpty() ? QStringLiteral("VarnelCD") : client.trimmed();
    hello.Version = version.trimmed().isEmpty() ? QStringLiteral("1.0") : version.trimmed();
    return hello;
}

QUrl CddbCommandUrl(const QString& server, const QString& script, const QString& command,
                    const TCddbHello& hello)
{
    QString s = server.trimmed();
    if (!s.contains(QStringLiteral("://")))
        s = QStringLiteral("http://") + s;
    QUrl url(s, QUrl::StrictMode);
    QString path = script.trimmed();
    if (path.isEmpty())
        path = url.path();
    if (!path.startsWith(QLatin1Char('/')))
        path.prepend(QLatin1Char('/'));
    url.setPath(path);
    // Each field on its own, percent-encoded, joined with '+' as the protocol's spaces.
    const auto field = [](const QString& f) {
        return QString::fromLatin1(QUrl::toPercentEncoding(f.simplified()));
    };
    QStringList words;
    for (const QString& w : command.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        words << field(w);
    const QString hello4 = QStringList{field(hello.User), field(hello.Host), field(hello.Client),
                                       field(hello.Version)}
                               .join(QLatin1Char('+'));
    url.setQuery(QStringLiteral("cmd=") + words.join(QLatin1Char('+')) + QStringLiteral("&hello=") + hello4 +
                     QStringLiteral("&proto=6"),
                 QUrl::StrictMode);
    return url;
}

QString DecodeCddbReply(const QByteArray& bytes)
{
    if (IsValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    QStringDecoder gbk("GBK");
    if (gbk.isValid()) {
        const QString text = gbk.decode(bytes);
        if (!gbk.hasError())
            return text;
    }
    return QString::fromLatin1(bytes);
}

int CddbReplyCode(const QString& text)
{
    if (text.size() < 3)
        return -1;
    for (int i = 0; i < 3; ++i)
        if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
            return -1;
    if (text.size() > 3 && text[3] != QLatin1Char(' ') && text[3] != QLatin1Char('\r') && text[3] != QLatin1Char('\n'))
        return -1;
    return text.left(3).toInt();
}

QString CddbReplyReason(const QString& text)
{
    const QString first = SplitLines(text).value(0).trimmed();
    return first.isEmpty() ? QStringLiteral("The server sent an empty reply.")
                           : QStringLiteral("The server answered: ") + first.left(200);
}

TCddbQueryReply ParseCddbQueryReply(const QString& text)
{
    TCddbQueryReply reply;
    const QStringList lines = SplitLines(text);
    reply.StatusLine = lines.value(0).trimmed();
    reply.Code = CddbReplyCode(reply.StatusLine);
    // A match's category and id go back to the server in the read command: a category is
    // one word of letters, an id eight hex digits; a match with anything else is dropped.
    static const QRegularExpression category(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z]{1,32}")));
    static const QRegularExpression discId(QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f]{8}")));
    const auto match = [](const QString& line) {
        const QStringList p = line.trimmed().split(QLatin1Char(' '));
        TCddbQueryMatch m;
        if (!category.match(p.value(0)).hasMatch() || !discId.match(p.value(1)).hasMatch())
            return m;
        m.Category = p.value(0);
        m.DiscId = p.value(1);
        m.Title = OneLine(p.mid(2).join(QLatin1Char(' '))).left(kMaxTrackTitle);
        return m;
    };
    if (reply.Code == 200) {
        const TCddbQueryMatch m = match(reply.StatusLine.mid(4));
        if (!m.Category.isEmpty() && !m.DiscId.isEmpty())
            reply.Matches << m;
    } else if (reply.Code == 210 || reply.Code == 211) {
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QString line = lines[i].trimmed();
            if (line == QLatin1String("."))
                break;
            const TCddbQueryMatch m = match(line);
            if (!m.Category.isEmpty() && !m.DiscId.isEmpty())
                reply.Matches << m;
        }
    }
    return reply;
}

bool CddbReadReplyEntry(const QString& reply, QString& entry, QString& reason)
{
    entry.clear();
    const QStringList lines = SplitLines(reply);
    if (CddbReplyCode(lines.value(0)) != 210) {
        reason = CddbReplyReason(reply);
        return false;
    }
    QStringList body;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].trimmed() == QLatin1String("."))
            break;
        body << lines[i];
    }
    entry = body.join(QLatin1Char('\n'));
    return true;
}

bool SplitCddbTitle(const QString& value, bool slashAlone, QString& artist, QString& title)
{
    qsizetype at = value.indexOf(QStringLiteral(" / "));
    qsizetype width = 3;
    if (at < 0 && slashAlone) {
        at = value.indexOf(QLatin1Char('/'));
        width = 1;
    }
    if (at < 0)
        return false;
    artist = value.left(at).trimmed();
    title = value.mid(at + width).trimmed();
    return true;
}

TCddbEntry ParseCddbEntry(const QString& text)
{
    TCddbEntry e;
    QString dtitle, dyear, dgenre, extd;
    QMap<int, QString> titles, extras;
    for (const QString& raw : SplitLines(text)) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('#'))) {
            const QString c = line.mid(1).trimmed();
            if (c.startsWith(QLatin1String("Generated:"), Qt::CaseInsensitive))
                e.Generated = OneLine(c.mid(10));
            else if (c.startsWith(QLatin1String("Disc length:"), Qt::CaseInsensitive))
                e.DiscLength = OneLine(c.mid(12));
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed().toUpper();
        const QString value = raw.mid(raw.indexOf(QLatin1Char('=')) + 1);   // continued values keep their spaces
        if (key == QLatin1String("DTITLE"))
            dtitle += value;
        else if (key == QLatin1String("DYEAR"))
            dyear += value;
        else if (key == QLatin1String("DGENRE"))
            dgenre += value;
        else if (key == QLatin1String("EXTD"))
            extd += value;
        else if (const int t = KeyNumber(key, QStringLiteral("TTITLE")); t >= 0)
            titles[t] += value;
        else if (const int x = KeyNumber(key, QStringLiteral("EXTT")); x >= 0)
            extras[x] += value;
    }
    e.DiscTitle = OneLine(DecodeEscapes(dtitle)).left(kMaxTrackTitle);
    if (!SplitCddbTitle(e.DiscTitle, true, e.Artist, e.Album)) {
        e.Artist.clear();
        e.Album = e.DiscTitle;
    }
    e.Artist = e.Artist.left(kMaxField);
    e.Album = e.Album.left(kMaxField);
    e.Year = OneLine(DecodeEscapes(dyear)).left(kMaxField);
    e.Genre = OneLine(DecodeEscapes(dgenre)).left(kMaxField);
    e.DiscExtra = DecodeEscapes(extd).trimmed();
    for (auto it = titles.cbegin(); it != titles.cend(); ++it)
        e.Titles[it.key()] = OneLine(DecodeEscapes(it.value())).left(kMaxTrackTitle);
    for (auto it = extras.cbegin(); it != extras.cend(); ++it)
        e.Extras[it.key()] = DecodeEscapes(it.value()).trimmed();
    return e;
}
