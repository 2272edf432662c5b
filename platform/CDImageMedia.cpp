#include "platform/CDImageMedia.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringDecoder>
#include <cdio/cdio.h>
#include <cdio/logging.h>
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
    if (ext == QLatin1String("cue"))
        return cdio_open_cue(name.constData());
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
    // libcdio reads a cue sheet's audio from the .bin of the same name: a new .bin under
    // the old cue sheet is another disc too.
    const QFileInfo info(path);
    if (!token.isEmpty() && info.suffix().compare(QLatin1String("cue"), Qt::CaseInsensitive) == 0)
        token += QLatin1Char('|') + StatToken(info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".bin"));
    return token;
}

QString DecodeCdText(const char* text)
{
    if (!text)
        return {};
    const QString once = QString::fromUtf8(text);
    bool latin1 = true;
    for (QChar c : once) {
        if (c.unicode() > 0xFF) {
            latin1 = false;
            break;
        }
    }
    if (!latin1)
        return once;
    const QByteArray bytes = once.toLatin1();
    QStringDecoder strict(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString twice = strict.decode(bytes);
    return strict.hasError() ? once : twice;
}
