#include "platform/AvTags.h"

#include <QFile>
#include <QFileInfo>
#include <memory>
#include <mutex>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace {

struct TFormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

void TakeAll(const AVDictionary* dict, TCommentList& pairs)
{
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(dict, "", entry, AV_DICT_IGNORE_SUFFIX)))
        pairs.append({QString::fromUtf8(entry->key).toLower(), CleanReadText(QString::fromUtf8(entry->value))});
}

QString MimeOfCodec(AVCodecID codec)
{
    switch (codec) {
    case AV_CODEC_ID_MJPEG: return QStringLiteral("image/jpeg");
    case AV_CODEC_ID_PNG: return QStringLiteral("image/png");
    default: return QString();
    }
}

} // namespace

void QuietAvLog()
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
}

bool ReadAvMetadata(const QString& path, TCommentList& pairs, QByteArray& cover, QString& coverMime, QString* error)
{
    QuietAvLog();
    const QByteArray name = QFile::encodeName(path);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, name.constData(), nullptr, nullptr) < 0) {
        if (error)
            *error = QFileInfo(path).fileName() + QStringLiteral(": not a file FFmpeg can read");
        return false;
    }
    std::unique_ptr<AVFormatContext, TFormatCloser> context(raw);
    TakeAll(context->metadata, pairs);
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            TakeAll(stream->metadata, pairs);
            break;
        }
    }
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (!(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        const AVPacket& picture = stream->attached_pic;
        if (picture.size > 0) {
            cover = QByteArray(reinterpret_cast<const char*>(picture.data), picture.size);
            coverMime = MimeOfCodec(stream->codecpar->codec_id);
        }
        break;
    }
    return true;
}
