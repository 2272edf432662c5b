#include "encode/AvIn.h"

#include "platform/AvTags.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

struct TAvIn::TState {
    AVFormatContext* Format = nullptr;
    AVCodecContext* Codec = nullptr;
    SwrContext* Swr = nullptr;
    AVPacket* Packet = nullptr;
    AVFrame* Frame = nullptr;
    int Stream = -1;
    AVSampleFormat OutFormat = AV_SAMPLE_FMT_S16;
    bool Packed24 = false;        // S32 from the converter, delivered as 3 bytes a sample
    bool Drained = false;         // the decoder has been sent its end

    ~TState()
    {
        swr_free(&Swr);
        av_frame_free(&Frame);
        av_packet_free(&Packet);
        avcodec_free_context(&Codec);
        avformat_close_input(&Format);
    }
};

namespace {

// The bits the file's audio is delivered with: 24 for integer samples of more than 16 bits,
// else 16.
int DeliveredBits(const AVCodecContext& codec)
{
    const AVSampleFormat packed = av_get_packed_sample_fmt(codec.sample_fmt);
    if (packed != AV_SAMPLE_FMT_S32 && packed != AV_SAMPLE_FMT_S64) return 16;
    return codec.bits_per_raw_sample > 0 && codec.bits_per_raw_sample <= 16 ? 16 : 24;
}

QString AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

} // namespace

TAvIn::TAvIn(QObject* Owner) : TAuFileIn(Owner) {}

TAvIn::~TAvIn()
{
    ReleaseReaders();
    CloseFile();
}

QString TAvIn::ProblemOf(const QString& path)
{
    TAvIn in;
    in.SetFileName(path);
    return in.Valid() ? QString() : in.Problem();
}

void TAvIn::OpenFile()
{
    std::lock_guard lock(FFileLock);
    if (FOpened > 0)
        return;
    QuietAvLog();
    FValid = false;
    FProblem.clear();
    auto state = std::make_unique<TState>();
    const auto fail = [this](const QString& cause) {
        FProblem = cause;
        throw EAuException(cause);
    };
    const QByteArray name = QFile::encodeName(FileName());
    if (int rc = avformat_open_input(&state->Format, name.constData(), nullptr, nullptr); rc < 0)
        fail(QStringLiteral("not a file FFmpeg can read (%1)").arg(AvError(rc)));
    if (avformat_find_stream_info(state->Format, nullptr) < 0)
        fail(QStringLiteral("its streams cannot be read"));
    const AVCodec* decoder = nullptr;
    state->Stream = av_find_best_stream(state->Format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (state->Stream == AVERROR_STREAM_NOT_FOUND)
        fail(QStringLiteral("no audio stream"));
    if (state->Stream < 0 || !decoder) {
        const AVStream* any = nullptr;
        for (unsigned i = 0; i < state->Format->nb_streams && !any; ++i)
            if (state->Format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) any = state->Format->streams[i];
        fail(any ? QStringLiteral("no decoder for its audio (%1)").arg(QLatin1String(avcodec_get_name(any->codecpar->codec_id)))
                 : QStringLiteral("no audio stream"));
    }
    const AVStream* stream = state->Format->streams[state->Stream];
    state->Codec = avcodec_alloc_context3(decoder);
    if (!state->Codec || avcodec_parameters_to_context(state->Codec, stream->codecpar) < 0
        || avcodec_open2(state->Codec, decoder, nullptr) < 0)
        fail(QStringLiteral("its audio decoder cannot be opened (%1)").arg(QLatin1String(decoder->name)));
    AVCodecContext& codec = *state->Codec;
    if (codec.sample_rate <= 0 || codec.ch_layout.nb_channels <= 0 || codec.ch_layout.nb_channels > 8)
        fail(QStringLiteral("its audio has no usable rate or channel count"));
    if (codec.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int channels = codec.ch_layout.nb_channels;
        av_channel_layout_uninit(&codec.ch_layout);
        av_channel_layout_default(&codec.ch_layout, channels);
    }
    const int bits = DeliveredBits(codec);
    state->OutFormat = bits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
    state->Packed24 = bits == 24;
    if (swr_alloc_set_opts2(&state->Swr, &codec.ch_layout, state->OutFormat, codec.sample_rate, &codec.ch_layout,
                            codec.sample_fmt, codec.sample_rate, 0, nullptr) < 0
        || swr_init(state->Swr) < 0)
        fail(QStringLiteral("its samples cannot be converted"));
    state->Packet = av_packet_alloc();
    state->Frame = av_frame_alloc();
    if (!state->Packet || !state->Frame)
        fail(QStringLiteral("out of memory"));
    FChan = codec.ch_layout.nb_channels;
    FSR = codec.sample_rate;
    FBPS = bits;
    const double seconds = state->Format->duration > 0 ? double(state->Format->duration) / AV_TIME_BASE : 0.0;
    FTotalTime = int(seconds);
    FSize = -1;
    FState = std::move(state);
    FBuffer.clear();
    FBufferRead = 0;
    FDecodeEnded = false;
    FValid = true;
    FOpened = 1;
}

void TAvIn::CloseFile()
{
    std::lock_guard lock(FFileLock);
    if (FOpened <= 0)
        return;
    FState.reset();
    FOpened = 0;
}

void TAvIn::DoInit()
{
    FBuffer.clear();
    FBufferRead = 0;
    TAuFileIn::DoInit();
}

void TAvIn::TakeFrame()
{
    TState& s = *FState;
    const int channels = FChan;
    const int sampleBytes = av_get_bytes_per_sample(s.OutFormat);
    const int outSamples = swr_get_out_samples(s.Swr, s.Frame->nb_samples);
    if (outSamples <= 0)
        return;
    std::vector<uint8_t> converted(size_t(outSamples) * size_t(channels) * size_t(sampleBytes));
    uint8_t* out = converted.data();
    const int got = swr_convert(s.Swr, &out, outSamples, const_cast<const uint8_t**>(s.Frame->extended_data),
                                s.Frame->nb_samples);
    if (got < 0)
        throw EAuException(QStringLiteral("The audio samples cannot be converted."));
    const size_t values = size_t(got) * size_t(channels);
    const size_t start = FBuffer.size();
    if (!s.Packed24) {
        FBuffer.insert(FBuffer.end(), converted.begin(), converted.begin() + ptrdiff_t(values * size_t(sampleBytes)));
        return;
    }
    FBuffer.resize(start + values * 3);
    uint8_t* dst = FBuffer.data() + start;
    for (size_t i = 0; i < values; ++i) {
        // The top three bytes of each little-endian 32-bit value.
        dst[3 * i] = converted[4 * i + 1];
        dst[3 * i + 1] = converted[4 * i + 2];
        dst[3 * i + 2] = converted[4 * i + 3];
    }
}

void TAvIn::Refill()
{
    TState& s = *FState;
    while (FBuffer.empty() && !FDecodeEnded) {
        const int rc = avcodec_receive_frame(s.Codec, s.Frame);
        if (rc == 0) {
            TakeFrame();
            av_frame_unref(s.Frame);
            continue;
        }
        if (rc == AVERROR_EOF) {
            FDecodeEnded = true;
            break;
        }
        if (rc != AVERROR(EAGAIN))
            throw EAuException(QStringLiteral("Damaged audio data: %1").arg(AvError(rc)));
        // The decoder wants more: the next packet of the stream, or its end.
        const int read = av_read_frame(s.Format, s.Packet);
        if (read == AVERROR_EOF || (read < 0 && avio_feof(s.Format->pb))) {
            if (!s.Drained) {
                s.Drained = true;
                avcodec_send_packet(s.Codec, nullptr);
            }
            continue;
        }
        if (read < 0)
            throw EAuException(QStringLiteral("The file cannot be read: %1").arg(AvError(read)));
        if (s.Packet->stream_index == s.Stream) {
            const int sent = avcodec_send_packet(s.Codec, s.Packet);
            if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) {
                av_packet_unref(s.Packet);
                throw EAuException(QStringLiteral("Damaged audio data: %1").arg(AvError(sent)));
            }
        }
        av_packet_unref(s.Packet);
    }
}

void TAvIn::DoGetData(void*& Buffer, uint32_t& Bytes)
{
    if (!FBusy || !FState)
        throw EAuException("The Stream is not opened");
    if (FBufferRead >= FBuffer.size()) {
        FBuffer.clear();
        FBufferRead = 0;
        Refill();
    }
    const size_t left = FBuffer.size() - FBufferRead;
    Bytes = uint32_t(std::min<size_t>(Bytes, left));
    Buffer = FBuffer.data() + FBufferRead;
    FBufferRead += Bytes;
}

bool TAvIn::DoSeek(int64_t& SampleNum)
{
    // Conversions read from the start to the end; only a new run starts over.
    return SampleNum == 0 && FPosition == 0;
}
