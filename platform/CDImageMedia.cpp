#include "platform/CDImageMedia.h"

#include "platform/TextCodec.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <algorithm>
#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
#include <cdio/mmc_ll_cmds.h>
#include <mutex>
#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcCdio, "varnelcd.cdio", QtInfoMsg)

namespace {

void LogToQt(cdio_log_level_t level, const char message[])
{
    if (level >= CDIO_LOG_ERROR)
        qCInfo(lcCdio, "%s", message);
    else
        qCDebug(lcCdio, "%s", message);
}

} // namespace

void EnsureCdioReady()
{
    static std::once_flag once;
    std::call_once(once, [] {
        cdio_log_set_handler(LogToQt);
        cdio_init();
    });
}

CdIo_t* OpenCdioSource(const QString& path, bool image)
{
    EnsureCdioReady();
    const QByteArray name = QFile::encodeName(path);
    if (!image)
        return cdio_open(name.constData(), DRIVER_DEVICE);
    // libcdio would follow a directory or a device node as a drive; an image is a file.
    if (!QFileInfo(path).isFile())
        return nullptr;
    const QString ext = QFileInfo(path).suffix().toLower();
    // libcdio's image parsers keep their place in a line with strtok, which is not
    // reentrant: two threads opening images at once garble each other's parse.
    static std::mutex parseMutex;
    if (ext == QLatin1String("cue")) {
        // libcdio would read any one data file as raw sectors: a WAVE, MP3 or FLAC file
        // would play as noise. Only sheets of one raw data file are handed on.
        const TCueSheetFiles files = ReadCueSheetFiles(path);
        if (files.Files.size() > 1 || (files.Files.size() == 1 && !IsRawDataType(files.Types.first())))
            return nullptr;
        const QByteArray sheet = QFile::encodeName(CueSheetForCdio(path));
        std::lock_guard lock(parseMutex);
        return cdio_open_cue(sheet.constData());
    }
    std::lock_guard lock(parseMutex);
    if (ext == QLatin1String("bin"))
        return cdio_open_bincue(name.constData());
    if (ext == QLatin1String("toc"))
        return cdio_open_cdrdao(name.constData());
    if (ext == QLatin1String("nrg"))
        return cdio_open_nrg(name.constData());
    return cdio_open(name.constData(), DRIVER_UNKNOWN);
}

bool ReadDiscToc(CdIo_t* cdio, TDiscToc& toc)
{
    toc = TDiscToc();
    if (!cdio)
        return false;
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count < 1 || first < 1 ||
        first + count - 1 > 99)
        return false;
    toc.FirstTrack = first;
    toc.LastTrack = first + count - 1;
    for (int t = toc.FirstTrack; t <= toc.LastTrack + 1; ++t) {
        const track_t number = t > toc.LastTrack ? track_t(CDIO_CDROM_LEADOUT_TRACK) : track_t(t);
        const lsn_t lsn = cdio_get_track_lsn(cdio, number);
        // Tracks must start inside the disc, in order, and be at least one sector long.
        if (lsn == CDIO_INVALID_LSN || lsn < 0 || lsn > 100 * CDIO_CD_FRAMES_PER_MIN ||
            (!toc.Starts.empty() && lsn <= toc.Starts.back()))
            return false;
        toc.Starts.push_back(lsn);
        if (t <= toc.LastTrack) {
            uint8_t control = 0;
            if (cdio_get_track_format(cdio, number) != TRACK_FORMAT_AUDIO)
                control |= 0x04;
            if (cdio_get_track_copy_permit(cdio, number) == CDIO_TRACK_FLAG_TRUE)
                control |= 0x02;
            if (cdio_get_track_preemphasis(cdio, number) == CDIO_TRACK_FLAG_TRUE)
                control |= 0x01;
            toc.Control.push_back(control);
        }
    }
    return true;
}

namespace {

QString StatToken(const QString& path)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return QStringLiteral("%1|%2|%3.%4")
        .arg(QFileInfo(path).canonicalFilePath())
        .arg(qlonglong(st.st_size))
        .arg(qlonglong(st.st_mtim.tv_sec))
        .arg(qlonglong(st.st_mtim.tv_nsec));
}

} // namespace

QString ImageFileToken(const QString& path)
{
    QString token = StatToken(path);
    // A new data file under the old cue sheet is another disc too.
    const QFileInfo info(path);
    if (!token.isEmpty() && info.suffix().compare(QLatin1String("cue"), Qt::CaseInsensitive) == 0)
        token += QLatin1Char('|') + StatToken(CueDataFile(path));
    return token;
}

QString DecodeCdText(const char* text)
{
    if (!text)
        return {};
    const QString once = QString::fromUtf8(text);
    for (QChar c : once)
        if (c.unicode() > 0xFF)
            return once;
    // Every character came from one byte: the bytes as they stood in the cue sheet, read
    // like every other text file (UTF-8, else GBK). Bytes that are neither stay Latin-1.
    bool clean = true;
    const QString decoded = DecodeLine(once.toLatin1(), &clean);
    return clean ? decoded : once;
}

// ---- cue sheets ---------------------------------------------------------------------------

namespace {

// Cue sheets longer than this are not cue sheets.
constexpr qint64 MaxCueSheetSize = 1024 * 1024;


} // namespace

QString TakeCueWord(QString& rest)
{
    rest = rest.trimmed();
    QString word;
    if (rest.startsWith(u'"')) {
        const qsizetype close = rest.indexOf(u'"', 1);
        word = close < 0 ? rest.mid(1) : rest.mid(1, close - 1);
        rest = close < 0 ? QString() : rest.mid(close + 1);
    } else {
        const qsizetype space = rest.indexOf(u' ');
        word = space < 0 ? rest : rest.left(space);
        rest = space < 0 ? QString() : rest.mid(space + 1);
    }
    return word;
}

bool IsRawDataType(const QString& type)
{
    return type == QLatin1String("BINARY") || type == QLatin1String("MOTOROLA");
}

TCueSheetFiles ReadCueSheetFiles(const QString& cuePath)
{
    TCueSheetFiles result;
    QFile file(cuePath);
    if (file.size() > MaxCueSheetSize || !file.open(QIODevice::ReadOnly))
        return result;
    result.Readable = true;
    const QByteArray bytes = file.readAll();
    const QString folder = QFileInfo(cuePath).absolutePath();
    for (const QByteArray& rawLine : bytes.split('\n')) {
        QByteArray lineBytes = rawLine;
        if (lineBytes.endsWith('\r'))
            lineBytes.chop(1);
        result.LongestLine = std::max(result.LongestLine, int(lineBytes.size()));
        QString rest = DecodeLine(lineBytes);
        rest.replace(u'\t', u' ');
        if (TakeCueWord(rest).compare(QLatin1String("FILE"), Qt::CaseInsensitive) != 0)
            continue;
        QString name = TakeCueWord(rest);
        name.replace(u'\\', u'/');   // cue sheets written on Windows
        const QString type = TakeCueWord(rest).toUpper();
        result.Files << (QFileInfo(name).isAbsolute() ? name : folder + u'/' + name);
        result.Types << type;
    }
    return result;
}

QString CueDataFile(const QString& cuePath)
{
    const QFileInfo info(cuePath);
    const QString sameName = info.path() + u'/' + info.completeBaseName() + QStringLiteral(".bin");
    const TCueSheetFiles files = ReadCueSheetFiles(cuePath);
    if (files.Files.size() == 1 && (QFileInfo(files.Files.first()).isFile() || !QFileInfo(sameName).isFile()))
        return files.Files.first();
    return sameName;
}

QString CueSheetForCdio(const QString& cuePath)
{
    // libcdio reads a cue sheet's audio from the .bin beside it with the same base name,
    // whatever the FILE line says. For one data file of another name, the pair is shown to
    // it as links of matching names in a private folder of this process.
    const QFileInfo info(cuePath);
    const QString sameName = info.path() + u'/' + info.completeBaseName() + QStringLiteral(".bin");
    const QString data = CueDataFile(cuePath);
    if (data == sameName || !QFileInfo(data).isFile())
        return cuePath;

    static std::mutex mutex;
    static QTemporaryDir links;   // removed, with every link in it, when the program ends
    std::lock_guard lock(mutex);
    if (!links.isValid())
        return cuePath;
    const QByteArray key = QCryptographicHash::hash(QFile::encodeName(info.absoluteFilePath()),
                                                    QCryptographicHash::Sha1).toHex().left(16);
    const QString dir = links.filePath(QString::fromLatin1(key));
    QDir().mkpath(dir);
    const QString cueLink = dir + QStringLiteral("/disc.cue");
    const QString binLink = dir + QStringLiteral("/disc.bin");
    // Links already right are left alone: another thread may be opening the disc through them.
    const auto linkTo = [](const QString& target, const QString& link) {
        if (QFileInfo(link).symLinkTarget() == target)
            return true;
        QFile::remove(link);
        return QFile::link(target, link);
    };
    if (!linkTo(info.absoluteFilePath(), cueLink) || !linkTo(QFileInfo(data).absoluteFilePath(), binLink))
        return cuePath;
    return cueLink;
}

TImageProblem DiagnoseImage(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return TImageProblem::Missing;
    if (!info.isFile())
        return TImageProblem::NotAFile;
    if (info.suffix().compare(QLatin1String("cue"), Qt::CaseInsensitive) != 0)
        return TImageProblem::Unreadable;
    const TCueSheetFiles files = ReadCueSheetFiles(path);
    if (!files.Readable)
        return TImageProblem::Unreadable;
    if (files.Files.size() > 1)
        return TImageProblem::SeveralFiles;
    if (files.Files.size() == 1 && !IsRawDataType(files.Types.first()))
        return TImageProblem::NotBinary;
    if (!QFileInfo(CueDataFile(path)).isFile())
        return TImageProblem::DataFileMissing;
    if (files.LongestLine > MaxCueLineLength)
        return TImageProblem::LineTooLong;
    return TImageProblem::Unreadable;
}

TCDTextInfo ReadCdioCDText(CdIo_t* cdio, const TDiscToc& toc)
{
    TCDTextInfo info;
    cdtext_t* text = cdio ? cdio_get_cdtext(cdio) : nullptr;
    if (!text)
        return info;
    // The first language block that is there.
    if (cdtext_lang_t* langs = cdtext_list_languages_v2(text)) {
        for (int i = 0; i < 8; ++i) {
            if (langs[i] != CDTEXT_LANGUAGE_BLOCK_UNUSED) {
                cdtext_set_language_index(text, i);
                break;
            }
        }
    }
    info.Title = DecodeCdText(cdtext_get_const(text, CDTEXT_FIELD_TITLE, 0));
    info.Performer = DecodeCdText(cdtext_get_const(text, CDTEXT_FIELD_PERFORMER, 0));
    // Index 0 is track 1 even on a disc whose first track has another number.
    QStringList titles;
    for (int t = 1; t < toc.FirstTrack; ++t)
        titles << QString();
    for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t)
        titles << DecodeCdText(cdtext_get_const(text, CDTEXT_FIELD_TITLE, track_t(t)));
    QStringList performers;
    for (int t = 1; t < toc.FirstTrack; ++t)
        performers << QString();
    for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t)
        performers << DecodeCdText(cdtext_get_const(text, CDTEXT_FIELD_PERFORMER, track_t(t)));
    for (QStringList* list : {&titles, &performers})
        while (!list->isEmpty() && list->last().isEmpty())
            list->removeLast();
    info.TrackTitles = titles;
    info.TrackPerformers = performers;
    info.Present = !info.Title.isEmpty() || !info.Performer.isEmpty() || !titles.isEmpty() || !performers.isEmpty();
    return info;
}

// ---- gaps, indices and codes ------------------------------------------------------------------

namespace {

// A drive's Q sub-channel through MMC READ CD (the formatted Q after each sector's audio).
class TMmcQChannel : public TQChannel {
public:
    explicit TMmcQChannel(CdIo_t* cdio) : FCdio(cdio) {}
    bool ReadQ(int lba, TQFrame& frame) override
    {
        uint8_t buffer[CDIO_CD_FRAMESIZE_RAW + 16] = {};
        if (mmc_read_cd(FCdio, buffer, lba, 0, false, false, 0, true, false, 0, 2, sizeof buffer, 1)
            != DRIVER_OP_SUCCESS)
            return false;
        return DecodeQ(buffer + CDIO_CD_FRAMESIZE_RAW, frame);
    }

private:
    CdIo_t* FCdio;
};

QString TakeCdioString(char* text)
{
    const QString s = text ? QString::fromLatin1(text).trimmed() : QString();
    cdio_free(text);
    return s;
}

} // namespace

TDiscExtras ReadCdioExtras(CdIo_t* cdio, const TDiscToc& toc, const QString& imagePath)
{
    TDiscExtras extras;
    const int tracks = toc.TrackCount();
    if (!imagePath.isEmpty() && QFileInfo(imagePath).suffix().compare(QLatin1String("cue"), Qt::CaseInsensitive) == 0) {
        QFile file(imagePath);
        if (file.size() <= MaxCueSheetSize && file.open(QIODevice::ReadOnly))
            extras = ParseCueExtras(file.readAll(), tracks);
    }
    extras.Tracks.resize(size_t(std::max(tracks, 0)));
    if (imagePath.isEmpty() && cdio) {
        // A drive: its gaps and index points are only in the Q sub-channel.
        TMmcQChannel channel(cdio);
        const TDiscExtras scanned = ScanQChannel(channel, toc.Starts, false);
        for (size_t i = 0; i < scanned.Tracks.size() && i < extras.Tracks.size(); ++i) {
            extras.Tracks[i].Pregap = scanned.Tracks[i].Pregap;
            extras.Tracks[i].Indices = scanned.Tracks[i].Indices;
        }
    }
    if (cdio && extras.Catalog.isEmpty()) {
        const QString mcn = TakeCdioString(cdio_get_mcn(cdio));
        if (ValidCatalog(mcn)) extras.Catalog = mcn;
    }
    for (int i = 0; i < tracks; ++i) {
        TTrackExtras& t = extras.Tracks[size_t(i)];
        const track_t number = track_t(toc.FirstTrack + i);
        if (cdio && t.Isrc.isEmpty()) {
            const QString isrc = TakeCdioString(cdio_get_track_isrc(cdio, number)).toUpper();
            if (ValidIsrc(isrc)) t.Isrc = isrc;
        }
        if (cdio && t.Pregap == 0 && !imagePath.isEmpty()) {
            const lsn_t gap = cdio_get_track_pregap_lsn(cdio, number);
            if (gap != CDIO_INVALID_LSN && gap >= 0 && gap < toc.Starts[size_t(i)])
                t.Pregap = toc.Starts[size_t(i)] - gap;
        }
        if (i == 0)
            t.Pregap = std::max(t.Pregap, toc.Starts[0]);
        t.PreEmphasis |= (toc.Control[size_t(i)] & 0x01) != 0;
        t.CopyPermitted |= (toc.Control[size_t(i)] & 0x02) != 0;
    }
    return extras;
}
