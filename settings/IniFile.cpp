#include "settings/IniFile.h"

#include "platform/TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <cstring>
#include <vector>

namespace {

enum class LineKind { Other, Key };

// One line of a section. A line keeps the bytes it was read from and is written back with
// them as long as nobody changed its text: lines in another encoding, or with bytes that
// decode to nothing sensible, survive a save untouched.
struct Line {
    QByteArray bytes;          // as read, without "\n" (a "\r" before it stays); unused when edited
    bool edited = false;       // written from `raw` (UTF-8) instead of `bytes`
    QString raw;               // the decoded line without its line break
    LineKind kind = LineKind::Other;
    QString key;               // trimmed key name (Key lines)
    qsizetype valueStart = 0;  // where the value part begins in `raw` (Key lines)
};

// The decoded lines of a section.
struct SectionLines {
    Line header;               // the header line of a section added by a write (edited)
    std::vector<Line> lines;
    QHash<QString, int> keys;  // folded key -> first line of that key
    void Reindex()
    {
        keys.clear();
        for (int i = 0; i < int(lines.size()); ++i)
            if (lines[i].kind == LineKind::Key && !keys.contains(lines[i].key.toCaseFolded()))
                keys.insert(lines[i].key.toCaseFolded(), i);
    }
};

// A section is found by one scan over the file's bytes, which records its name and where its
// lines lie; its lines are decoded only when a read or a write needs them. A large disc
// cache is thus scanned once, kept small, and only the sections in use are ever decoded.
struct Section {
    QString name;              // trimmed name; empty for the lines before the first header
    bool hasHeader = false;
    qsizetype headerBegin = 0; // the header line as read: bytes headerBegin..begin of the file
    qsizetype begin = 0;       // byte range of the lines after the header in the file
    qsizetype end = 0;
    std::unique_ptr<SectionLines> parsed;   // null until decoded
};

QString Fold(const QString& name)
{
    return name.trimmed().toCaseFolded();
}

// Splits "key=value" into its parts; false when the line is not a key line.
bool ParseKeyLine(const QString& raw, Line& line)
{
    const QString t = raw.trimmed();
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'[')) return false;
    const qsizetype eq = raw.indexOf(u'=');
    if (eq < 0) return false;
    const QString key = raw.left(eq).trimmed();
    if (key.isEmpty()) return false;
    qsizetype start = eq + 1;
    while (start < raw.size() && (raw[start] == u' ' || raw[start] == u'\t')) ++start;
    line.kind = LineKind::Key;
    line.key = key;
    line.valueStart = start;
    return true;
}

// A section header "[name]"; anything after the closing bracket is ignored.
bool ParseHeader(const QString& raw, QString& name)
{
    const QString t = raw.trimmed();
    if (!t.startsWith(u'[')) return false;
    const qsizetype close = t.indexOf(u']');
    if (close < 0) return false;
    name = t.mid(1, close - 1).trimmed();
    return true;
}

// The decoded text of a line's bytes: without the "\r" of a CR LF ending and without byte
// order marks at the start of the file.
QString LineText(QByteArray bytes, bool firstOfFile)
{
    if (bytes.endsWith('\r')) bytes.chop(1);
    if (firstOfFile)
        while (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    QString text = DecodeLine(bytes);
    if (firstOfFile)
        while (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    return text;
}

// Whether the bytes of a line may be a section header: its first character other than
// blanks is '[' (or not ASCII). Other lines need no decoding to be told apart.
bool MayBeHeader(const char* p, qsizetype n)
{
    qsizetype i = 0;
    while (i < n && (p[i] == ' ' || p[i] == '\t' || p[i] == '\v' || p[i] == '\f' || p[i] == '\r')) ++i;
    // A non-ASCII byte may begin a blank of another script (an ideographic space): decode.
    return i < n && (p[i] == '[' || uchar(p[i]) >= 0x80);
}

bool HasLineBreakOrNul(const QString& s)
{
    for (QChar c : s)
        if (c == u'\r' || c == u'\n' || c == QChar(0)) return true;
    return false;
}

bool IsQuote(QChar c)
{
    return c == u'"' || c == u'\'';
}

QString UnquotedValue(const QString& rawValue)
{
    QString v = rawValue.trimmed();
    if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front()) v = v.mid(1, v.size() - 2);
    if (v.size() > TIniFile::MaxValueLength) {
        qsizetype cut = TIniFile::MaxValueLength;
        if (v[cut - 1].isHighSurrogate()) --cut;   // do not leave half a character
        v.truncate(cut);
    }
    return v;
}

// The text written for a value: line breaks and NULs become spaces; outer blanks or outer
// quotes are protected by double quotes so that the value reads back as it was written.
QString StoredValue(const QString& value)
{
    QString v = value;
    for (QChar& c : v)
        if (c == u'\r' || c == u'\n' || c == QChar(0)) c = u' ';
    const bool needsQuotes = v.trimmed().size() != v.size()
        || (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front());
    return needsQuotes ? u'"' + v + u'"' : v;
}

// Parses a 32-bit integer: decimal with optional sign, or "0x"/"0X" with up to eight hex
// digits (read as an unsigned 32-bit pattern). Anything else fails.
bool ParseInt32(const QString& text, int& out)
{
    const QString t = text.trimmed();
    if (t.size() > 2 && t[0] == u'0' && (t[1] == u'x' || t[1] == u'X')) {
        quint64 v = 0;
        for (qsizetype i = 2; i < t.size(); ++i) {
            const char16_t c = t[i].unicode();
            const int digit = (c >= u'0' && c <= u'9') ? c - u'0'
                : (c >= u'a' && c <= u'f') ? c - u'a' + 10
                : (c >= u'A' && c <= u'F') ? c - u'A' + 10
                : -1;
            if (digit < 0) return false;
            v = v * 16 + quint64(digit);
            if (v > 0xFFFFFFFFull) return false;
        }
        out = int(quint32(v));
        return true;
    }
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        negative = t[i] == u'-';
        ++i;
    }
    if (i >= t.size()) return false;
    qint64 v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < u'0' || t[i] > u'9') return false;
        v = v * 10 + (t[i].unicode() - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > 2147483647LL || v < -2147483648LL) return false;
    out = int(v);
    return true;
}

// The whole file in one buffer of its size: readAll grows its buffer in steps and may
// hold far more than the file (a large disc cache would cost twice its size).
QByteArray ReadWhole(QFile& file)
{
    QByteArray bytes;
    const qint64 size = file.size();
    if (size > 0 && size <= TIniFile::MaxFileSize) {
        bytes.resize(size);
        qint64 got = 0;
        while (got < size) {
            const qint64 n = file.read(bytes.data() + got, size - got);
            if (n <= 0) break;
            got += n;
        }
        bytes.truncate(got);
    }
    // Whatever the size said (a file still growing), read what is left.
    while (bytes.size() <= TIniFile::MaxFileSize) {
        const QByteArray more = file.read(64 * 1024);
        if (more.isEmpty()) break;
        bytes += more;
    }
    return bytes;
}

} // namespace

struct TIniFile::Impl {
    QString fileName;
    QString eol = QStringLiteral("\n");
    bool unreadable = false;              // exists but could not be read: never overwrite it
    QByteArray data;                      // the file as read
    std::vector<Section> sections;        // [0] = lines before the first header
    QHash<QString, int> sectionIndex;     // folded name -> first section of that name

    void Parse(QByteArray bytes)
    {
        data = std::move(bytes);
        sections.clear();
        sections.emplace_back();
        const qsizetype firstBreak = data.indexOf('\n');
        if (firstBreak > 0 && data.at(firstBreak - 1) == '\r') eol = QStringLiteral("\r\n");

        // Byte order marks at the start are not part of the first line's text.
        qsizetype pos = 0;
        qsizetype skip = 0;
        while (data.mid(skip, 3) == "\xEF\xBB\xBF") skip += 3;
        const char* p = data.constData();
        const qsizetype n = data.size();
        while (pos < n) {
            const char* nl = static_cast<const char*>(std::memchr(p + pos, '\n', size_t(n - pos)));
            const qsizetype end = nl ? nl - p : n;
            const qsizetype from = pos == 0 ? skip : pos;
            QString name;
            if (MayBeHeader(p + from, end - from)) {
                const QByteArray bytes = data.mid(pos, end - pos);
                const QString text = LineText(bytes, pos == 0);
                if (ParseHeader(text, name)) {
                    sections.back().end = pos;
                    Section s;
                    s.name = name;
                    s.hasHeader = true;
                    s.headerBegin = pos;
                    s.begin = nl ? end + 1 : n;
                    sections.push_back(std::move(s));
                }
            }
            pos = nl ? end + 1 : n;
        }
        sections.back().end = n;
        Reindex();
    }

    // Decodes the lines of a section that was only scanned so far.
    Section& Lines(Section& s)
    {
        if (s.parsed) return s;
        s.parsed = std::make_unique<SectionLines>();
        qsizetype pos = s.begin;
        while (pos < s.end) {
            qsizetype end = data.indexOf('\n', pos);
            if (end < 0 || end > s.end) end = s.end;
            Line line;
            line.bytes = data.mid(pos, end - pos);
            line.raw = LineText(line.bytes, pos == 0);
            ParseKeyLine(line.raw, line);
            s.parsed->lines.push_back(std::move(line));
            pos = end + 1;
        }
        s.parsed->Reindex();
        return s;
    }

    void Reindex()
    {
        sectionIndex.clear();
        for (int i = 0; i < int(sections.size()); ++i) {
            Section& s = sections[i];
            if (!s.hasHeader) continue;
            QString folded = s.name.toCaseFolded();
            if (folded == s.name) folded = s.name;   // one string for both, most names are digits
            if (!sectionIndex.contains(folded)) sectionIndex.insert(folded, i);
        }
    }

    Section* Find(const QString& section)
    {
        const auto it = sectionIndex.constFind(Fold(section));
        return it == sectionIndex.constEnd() ? nullptr : &Lines(sections[*it]);
    }

    const Line* FindKey(const QString& section, const QString& key)
    {
        const Section* s = Find(section);
        if (!s) return nullptr;
        const auto it = s->parsed->keys.constFind(Fold(key));
        return it == s->parsed->keys.constEnd() ? nullptr : &s->parsed->lines[*it];
    }
};

TIniFile::TIniFile(const QString& fileName)
    : d(std::make_unique<Impl>())
{
    d->fileName = fileName;
    QFile file(fileName);
    QByteArray bytes;
    if (file.exists()) {
        if (QFileInfo(fileName).size() > MaxFileSize || !file.open(QIODevice::ReadOnly))
            d->unreadable = true;
        else
            bytes = ReadWhole(file);
        if (file.error() != QFileDevice::NoError || bytes.size() > MaxFileSize) {
            d->unreadable = true;
            bytes.clear();
        }
    }
    d->Parse(std::move(bytes));
}

TIniFile::TIniFile(const QString& fileName, const QByteArray& contents)
    : d(std::make_unique<Impl>())
{
    d->fileName = fileName;
    d->Parse(contents);
}

TIniFile::~TIniFile() = default;

const QString& TIniFile::FileName() const
{
    return d->fileName;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const Line* line = d->FindKey(section, key);
    return line ? UnquotedValue(line->raw.mid(line->valueStart)) : def;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    const Line* line = d->FindKey(section, key);
    if (!line) return def;
    int value = 0;
    return ParseInt32(UnquotedValue(line->raw.mid(line->valueStart)), value) ? value : def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QString sectionName = section.trimmed();
    const QString keyName = key.trimmed();
    // Names that would not read back as written (or would break the file) are not written.
    if (sectionName.isEmpty() || sectionName.contains(u']') || HasLineBreakOrNul(sectionName))
        return;
    if (keyName.isEmpty() || keyName.contains(u'=') || keyName.startsWith(u';')
        || keyName.startsWith(u'[') || HasLineBreakOrNul(keyName))
        return;
    const QString stored = StoredValue(value);

    auto it = d->sectionIndex.constFind(sectionName.toCaseFolded());
    if (it == d->sectionIndex.constEnd()) {
        Section s;
        s.name = sectionName;
        s.hasHeader = true;
        s.parsed = std::make_unique<SectionLines>();
        s.parsed->header.edited = true;
        s.parsed->header.raw = u'[' + sectionName + u']';
        d->sections.push_back(std::move(s));
        d->sectionIndex.insert(sectionName.toCaseFolded(), int(d->sections.size()) - 1);
        it = d->sectionIndex.constFind(sectionName.toCaseFolded());
    }
    SectionLines& s = *d->Lines(d->sections[*it]).parsed;
    const auto keyIt = s.keys.constFind(keyName.toCaseFolded());
    if (keyIt != s.keys.constEnd()) {
        Line& line = s.lines[*keyIt];
        const QString raw = line.raw.left(line.valueStart) + stored;
        // The same text again leaves the line's bytes alone, whatever encoding they are in.
        if (raw != line.raw) {
            line.raw = raw;
            line.edited = true;
        }
        return;
    }
    int insertAt = 0;
    for (int i = 0; i < int(s.lines.size()); ++i)
        if (s.lines[i].kind == LineKind::Key) insertAt = i + 1;
    Line line;
    line.raw = keyName + u'=' + stored;
    line.edited = true;
    line.kind = LineKind::Key;
    line.key = keyName;
    line.valueStart = keyName.size() + 1;
    s.lines.insert(s.lines.begin() + insertAt, std::move(line));
    s.Reindex();
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TIniFile::SectionExists(const QString& section) const
{
    return d->sectionIndex.contains(Fold(section));
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    return d->FindKey(section, key) != nullptr;
}

QStringList TIniFile::ReadSections() const
{
    QStringList names;
    for (int i = 0; i < int(d->sections.size()); ++i) {
        const Section& s = d->sections[i];
        if (s.hasHeader && d->sectionIndex.value(s.name.toCaseFolded(), -1) == i) names << s.name;
    }
    return names;
}

QStringList TIniFile::ReadSection(const QString& section) const
{
    QStringList keys;
    const Section* s = d->Find(section);
    if (!s) return keys;
    const SectionLines& p = *s->parsed;
    for (int i = 0; i < int(p.lines.size()); ++i) {
        const Line& line = p.lines[i];
        if (line.kind == LineKind::Key && p.keys.value(line.key.toCaseFolded(), -1) == i)
            keys << line.key;
    }
    return keys;
}

void TIniFile::EraseSection(const QString& section)
{
    const QString folded = Fold(section);
    std::erase_if(d->sections, [&](const Section& s) {
        return s.hasHeader && s.name.toCaseFolded() == folded;
    });
    d->Reindex();
}

void TIniFile::DeleteKey(const QString& section, const QString& key)
{
    const auto it = d->sectionIndex.constFind(Fold(section));
    if (it == d->sectionIndex.constEnd()) return;
    SectionLines& s = *d->Lines(d->sections[*it]).parsed;
    const QString folded = Fold(key);
    std::erase_if(s.lines, [&](const Line& l) {
        return l.kind == LineKind::Key && l.key.toCaseFolded() == folded;
    });
    s.Reindex();
}

namespace {

// Collects the written text; with a device, hands it on in blocks so that a large file is
// never held twice in memory.
struct TextSink {
    QIODevice* device = nullptr;
    QByteArray buffer;
    char last = '\n';          // last byte put (a line break before anything was put)
    bool ok = true;

    void Put(const char* bytes, qsizetype n)
    {
        if (n <= 0) return;
        buffer.append(bytes, n);
        last = bytes[n - 1];
        if (device && buffer.size() >= 1024 * 1024) Flush();
    }
    void Put(const QByteArray& bytes) { Put(bytes.constData(), bytes.size()); }
    void Flush()
    {
        if (device && !buffer.isEmpty()) {
            ok = ok && device->write(buffer) == buffer.size();
            buffer.clear();
        }
    }
};

} // namespace

void TIniFile::Write(void* sinkPtr) const
{
    TextSink& out = *static_cast<TextSink*>(sinkPtr);
    const QByteArray eol = d->eol.toLatin1();
    // A last line without a line break gets one before anything follows it.
    auto lineStart = [&] {
        if (out.last != '\n') out.Put(eol);
    };
    auto put = [&](const Line& line) {
        lineStart();
        if (line.edited) {
            out.Put(EncodeText(line.raw));
            out.Put(eol);
        } else {
            out.Put(line.bytes);
            out.Put("\n", 1);
        }
    };
    for (const Section& s : d->sections) {
        if (s.hasHeader && s.parsed && s.parsed->header.edited) {
            put(s.parsed->header);
        } else if (s.hasHeader) {
            lineStart();
            out.Put(d->data.constData() + s.headerBegin, s.begin - s.headerBegin);
        }
        if (!s.parsed) {
            if (s.end > s.begin) lineStart();
            out.Put(d->data.constData() + s.begin, s.end - s.begin);
            continue;
        }
        for (const Line& line : s.parsed->lines) put(line);
    }
}

QByteArray TIniFile::ToBytes() const
{
    TextSink out;
    out.buffer.reserve(d->data.size() + 4096);
    Write(&out);
    return out.buffer;
}

bool TIniFile::UpdateFile()
{
    if (d->unreadable) return false;
    QSaveFile file(d->fileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    TextSink out;
    out.device = &file;
    Write(&out);
    out.Flush();
    if (!out.ok) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
