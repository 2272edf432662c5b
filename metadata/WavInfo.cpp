#include "metadata/WavInfo.h"

#include "platform/OutputFile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace {

constexpr qint64 ChunkHeader = 8;
constexpr qint64 RiffHeader = 12;
// An INFO list larger than this is not read (it is no tag a program wrote for a player).
constexpr quint32 MaxInfoList = 1024 * 1024;

struct TInfoField {
    const char* Id;
    QString TTagRecord::*Text;
};
constexpr TInfoField TextFields[] = {
    {"INAM", &TTagRecord::Title}, {"IART", &TTagRecord::Artist}, {"IPRD", &TTagRecord::Album},
    {"ICRD", &TTagRecord::Date},  {"IGNR", &TTagRecord::Genre},  {"ICMT", &TTagRecord::Comment},
};
constexpr char TrackField[] = "ITRK";

void AppendField(QByteArray& out, const char* id, const QString& value)
{
    if (value.isEmpty())
        return;
    QByteArray text = value.toUtf8();
    text.append('\0');
    out.append(id, 4);
    char size[4];
    qToLittleEndian<quint32>(quint32(text.size()), size);
    out.append(size, 4);
    out.append(text);
    if (text.size() % 2)
        out.append('\0');
}

bool Fail(QString* error, const QString& path, const QString& what)
{
    if (error)
        *error = QFileInfo(path).fileName() + QStringLiteral(": ") + what;
    return false;
}

// The offset and size of the first LIST INFO chunk after the RIFF header (-1 when none),
// and the offset where the chunk list ends.
struct TChunkScan {
    qint64 InfoAt = -1;
    quint32 InfoSize = 0;
    qint64 End = 0;
    bool Complete = true;
};

bool ScanChunks(QFile& file, TChunkScan& scan, QString* error)
{
    const QByteArray head = file.read(RiffHeader);
    if (head.size() < RiffHeader || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return Fail(error, file.fileName(), QStringLiteral("not a WAV file"));
    const qint64 size = file.size();
    qint64 at = RiffHeader;
    while (at + ChunkHeader <= size) {
        file.seek(at);
        const QByteArray chunk = file.read(ChunkHeader + 4);
        if (chunk.size() < ChunkHeader)
            break;
        const quint32 length = qFromLittleEndian<quint32>(chunk.constData() + 4);
        if (chunk.startsWith("LIST") && chunk.mid(8, 4) == "INFO" && scan.InfoAt < 0) {
            scan.InfoAt = at;
            scan.InfoSize = length;
        }
        at += ChunkHeader + qint64(length) + (length % 2);
    }
    // A last chunk of odd length may lack its pad byte; one claiming more is cut short.
    scan.End = at;
    scan.Complete = at <= size + 1;
    return true;
}

} // namespace

QByteArray WavInfoChunk(const TTagRecord& tag)
{
    QByteArray fields;
    for (const TInfoField& f : TextFields)
        AppendField(fields, f.Id, tag.*f.Text);
    if (tag.Track > 0 || tag.HiddenTrack)
        AppendField(fields, TrackField, QString::number(tag.Track));
    if (fields.isEmpty())
        return {};
    QByteArray chunk("LIST");
    char size[4];
    qToLittleEndian<quint32>(quint32(fields.size() + 4), size);
    chunk.append(size, 4);
    chunk.append("INFO");
    return chunk + fields;
}

bool ParseWavInfo(const QByteArray& body, TTagRecord& tag)
{
    if (!body.startsWith("INFO"))
        return false;
    qsizetype at = 4;
    while (at + ChunkHeader <= body.size()) {
        const QByteArray id = body.mid(at, 4);
        const quint32 length = qFromLittleEndian<quint32>(body.constData() + at + 4);
        const qsizetype start = at + ChunkHeader;
        const qsizetype take = qsizetype(std::min<quint64>(length, quint64(body.size() - start)));
        const QString text = CleanReadText(QString::fromUtf8(body.constData() + start, take)).trimmed();
        for (const TInfoField& f : TextFields)
            if (id == f.Id && !text.isEmpty())
                tag.*f.Text = text;
        if (id == TrackField) {
            int total = tag.TrackTotal;
            ParseNumberOfTotal(text, tag.Track, total);
            tag.TrackTotal = total;
        }
        if (quint64(start) + length + (length % 2) > quint64(body.size()))
            break;
        at = start + qsizetype(length) + qsizetype(length % 2);
    }
    return true;
}

bool AppendWavInfo(const QString& path, const TTagRecord& tag, QString* error)
{
    QFile file(path);
    const auto failIo = [&] {
        if (error)
            *error = WriteErrorText(file);
        return false;
    };
    if (!file.open(QIODevice::ReadWrite))
        return failIo();
    TChunkScan scan;
    if (!ScanChunks(file, scan, error))
        return false;
    if (!scan.Complete)
        return Fail(error, path, QStringLiteral("the WAV file is not complete"));
    // Where the list goes: over an INFO list that ends the file, else after the last chunk.
    qint64 at = scan.End;
    if (scan.InfoAt >= 0 && scan.InfoAt + ChunkHeader + scan.InfoSize + (scan.InfoSize % 2) >= scan.End)
        at = scan.InfoAt;
    const QByteArray chunk = WavInfoChunk(tag);
    const qint64 end = at + chunk.size();
    if (end - ChunkHeader > qint64(UINT32_MAX))
        return Fail(error, path, QStringLiteral("the file is too large for a RIFF tag"));
    char size[4];
    qToLittleEndian<quint32>(quint32(end - ChunkHeader), size);
    const bool ok = file.resize(at) && file.seek(at) && file.write(chunk) == chunk.size() && file.seek(4)
                    && file.write(size, 4) == 4 && file.flush();
    if (!ok)
        return failIo();
    file.close();
    return file.error() == QFileDevice::NoError || failIo();
}

bool ReadWavInfo(const QString& path, TTagRecord& tag, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(error, path, QStringLiteral("cannot be opened"));
    TChunkScan scan;
    if (!ScanChunks(file, scan, error))
        return false;
    if (scan.InfoAt < 0)
        return Fail(error, path, QStringLiteral("no INFO list"));
    if (scan.InfoSize > MaxInfoList)
        return Fail(error, path, QStringLiteral("its INFO list is too large to be a tag"));
    file.seek(scan.InfoAt + ChunkHeader);
    return ParseWavInfo(file.read(scan.InfoSize), tag) || Fail(error, path, QStringLiteral("no INFO list"));
}
