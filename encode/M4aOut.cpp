#include "encode/M4aOut.h"

#include "platform/AvTags.h"

#include <QFile>
#include <algorithm>
#include <cerrno>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace {
constexpr int InputBlockBytes = 65536;
constexpr int VariableFrameSize = 4096;
}

struct TM4aOut::TState {
    AVFormatContext* Format = nullptr;
    AVCodecContext* Codec = nullptr;
    AVStream* Stream = nullptr;
    AVFrame* Frame = nullptr;
    AVPacket* Packet = nullptr;
    int Bits = 16;
    int Channels = 2;
    int FrameSize = 1024;
    bool SmallLast = true;        // the encoder takes a short last frame
    int64_t Pts = 0;
    bool HeaderWritten = false;

    ~TState()
    {
        av_frame_free(&Frame);
        av_packet_free(&Packet);
        avcodec_free_context(&Codec);
        if (Format) {
            if (Format->pb) avio_closep(&Format->pb);
            avformat_free_context(Format);
        }
    }
};

TM4aOut::TM4aOut(QObject* Owner) : TAuFileOut(Owner) {}

TM4aOut::~TM4aOut()
{
    Stop(false);
}

void TM4aOut::SetBitrate(int Kbps)
{
    FKbps = std::clamp(Kbps, AacMinKbps, AacMaxKbps);
}

void TM4aOut::RaiseAv(int code, const char* what) const
{
    const int err = AVUNERROR(code);
    // The causes a user can act on (a full disk, a read-only folder) are named plainly.
    if (err == ENOSPC || err == EROFS || err == EACCES || err == ENOENT || err == EDQUOT) {
        errno = err;
        RaiseWriteError(what);
    }
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    throw EAuException(QStringLiteral("%1 (%2)").arg(QLatin1String(what), QString::fromLocal8Bit(text)));
}

void TM4aOut::Prepare()
{
    FComplete = false;
    FState.reset();
    FPending.clear();
    if (FileName().isEmpty())
        throw EAuException("File name is not assigned.");
    QuietAvLog();
    Input()->Init();
    auto state = std::make_unique<TState>();
    TState& s = *state;
    s.Bits = Input()->BitsPerSample();
    s.Channels = Input()->Channels();
    const int rate = Input()->SampleRate();
    if (s.Bits != 8 && s.Bits != 16 && s.Bits != 24 && s.Bits != 32)
        throw EAuException(QStringLiteral("MP4 audio takes 8, 16, 24 or 32-bit input, not %1-bit.").arg(s.Bits));
    if (s.Channels < 1 || s.Channels > 8 || rate <= 0)
        throw EAuException(QStringLiteral("MP4 audio takes 1 to 8 channels, not %1.").arg(s.Channels));

    const AVCodec* codec = FCodec == Aac ? avcodec_find_encoder_by_name("aac") : avcodec_find_encoder(AV_CODEC_ID_ALAC);
    if (!codec)
        throw EAuException(FCodec == Aac ? "FFmpeg has no AAC encoder." : "FFmpeg has no Apple Lossless encoder.");
    s.Codec = avcodec_alloc_context3(codec);
    if (!s.Codec) throw EAuException("Out of memory.");
    s.Codec->sample_rate = rate;
    av_channel_layout_default(&s.Codec->ch_layout, s.Channels);
    s.Codec->time_base = AVRational{1, rate};
    if (FCodec == Aac) {
        s.Codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
        s.Codec->bit_rate = int64_t(FKbps) * 1000;
        s.Codec->profile = FF_PROFILE_AAC_LOW;
    } else {
        // More than 16 bits (a float WAV's 32 included) as Apple Lossless's 24.
        s.Codec->sample_fmt = s.Bits > 16 ? AV_SAMPLE_FMT_S32P : AV_SAMPLE_FMT_S16P;
        s.Codec->bits_per_raw_sample = s.Bits > 16 ? 24 : 16;
    }

    const QByteArray target = QFile::encodeName(TargetFile());
    if (avformat_alloc_output_context2(&s.Format, nullptr, "ipod", target.constData()) < 0 || !s.Format)
        throw EAuException("FFmpeg has no MP4 muxer.");
    if (s.Format->oformat->flags & AVFMT_GLOBALHEADER)
        s.Codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (int rc = avcodec_open2(s.Codec, codec, nullptr); rc < 0)
        RaiseAv(rc, FCodec == Aac ? "The AAC encoder cannot start" : "The Apple Lossless encoder cannot start");
    s.FrameSize = s.Codec->frame_size > 0 ? s.Codec->frame_size : VariableFrameSize;
    s.SmallLast = s.Codec->frame_size <= 0 || (codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
    s.Stream = avformat_new_stream(s.Format, nullptr);
    if (!s.Stream || avcodec_parameters_from_context(s.Stream->codecpar, s.Codec) < 0)
        throw EAuException("The MP4 stream cannot be set up.");
    s.Stream->time_base = s.Codec->time_base;
    if (int rc = avio_open(&s.Format->pb, target.constData(), AVIO_FLAG_WRITE); rc < 0)
        RaiseAv(rc, "The MP4 file cannot be created");
    FState = std::move(state);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int rc = avformat_write_header(s.Format, &options);
    av_dict_free(&options);
    if (rc < 0) RaiseAv(rc, "The MP4 header cannot be written");
    s.HeaderWritten = true;
    s.Frame = av_frame_alloc();
    s.Packet = av_packet_alloc();
    if (!s.Frame || !s.Packet) throw EAuException("Out of memory.");
    const int frameBytes = s.Channels * s.Bits / 8;
    FBlock.resize(size_t(std::max(frameBytes, InputBlockBytes / frameBytes * frameBytes)));
}

void TM4aOut::WritePackets()
{
    TState& s = *FState;
    for (;;) {
        const int rc = avcodec_receive_packet(s.Codec, s.Packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
        if (rc < 0) RaiseAv(rc, "Encoding failed");
        av_packet_rescale_ts(s.Packet, s.Codec->time_base, s.Stream->time_base);
        s.Packet->stream_index = s.Stream->index;
        const int written = av_write_frame(s.Format, s.Packet);
        av_packet_unref(s.Packet);
        if (written < 0) RaiseAv(written, "The MP4 file cannot be written");
    }
}

void TM4aOut::Encode(const uint8_t* in, int frames, bool last)
{
    TState& s = *FState;
    if (frames > 0) {
        // A short last frame is padded with silence for an encoder that takes none.
        const int size = !last || s.SmallLast ? frames : s.FrameSize;
        av_frame_unref(s.Frame);
        s.Frame->nb_samples = size;
        s.Frame->format = s.Codec->sample_fmt;
        s.Frame->sample_rate = s.Codec->sample_rate;
        if (av_channel_layout_copy(&s.Frame->ch_layout, &s.Codec->ch_layout) < 0 || av_frame_get_buffer(s.Frame, 0) < 0)
            throw EAuException("Out of memory.");
        const int bytes = s.Bits / 8;
        for (int c = 0; c < s.Channels; ++c) {
            uint8_t* plane = s.Frame->extended_data[c];
            for (int i = 0; i < size; ++i) {
                int32_t v = 0;     // the sample, left-aligned in 32 bits
                if (i < frames) {
                    const uint8_t* p = in + (size_t(i) * size_t(s.Channels) + size_t(c)) * size_t(bytes);
                    if (bytes == 1) v = int32_t(uint32_t(int(p[0]) - 128) << 24);
                    else if (bytes == 2) v = int32_t(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 24);
                    else if (bytes == 3) v = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24);
                    else v = int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
                }
                switch (s.Codec->sample_fmt) {
                case AV_SAMPLE_FMT_FLTP: reinterpret_cast<float*>(plane)[i] = float(v) / 2147483648.0f; break;
                case AV_SAMPLE_FMT_S16P: reinterpret_cast<int16_t*>(plane)[i] = int16_t(v >> 16); break;
                default: reinterpret_cast<int32_t*>(plane)[i] = v; break;   // left-aligned, as the encoder takes it
                }
            }
        }
        s.Frame->pts = s.Pts;
        s.Pts += size;
        if (int rc = avcodec_send_frame(s.Codec, s.Frame); rc < 0) RaiseAv(rc, "Encoding failed");
        WritePackets();
    }
    if (last) {
        if (int rc = avcodec_send_frame(s.Codec, nullptr); rc < 0) RaiseAv(rc, "Encoding failed");
        WritePackets();
    }
}

bool TM4aOut::DoOutput(bool Abort)
{
    if (Abort || FComplete || !FState)
        return false;
    TState& s = *FState;
    bool ended = false;
    const int bytes = Input()->FillBuffer(FBlock.data(), int(FBlock.size()), ended);
    if (bytes > 0) FPending.insert(FPending.end(), FBlock.begin(), FBlock.begin() + bytes);
    const size_t frameBytes = size_t(s.Channels * s.Bits / 8);
    const size_t whole = size_t(s.FrameSize) * frameBytes;
    size_t used = 0;
    for (; FPending.size() - used >= whole; used += whole) Encode(FPending.data() + used, s.FrameSize, false);
    FPending.erase(FPending.begin(), FPending.begin() + ptrdiff_t(used));
    if (bytes <= 0 || ended) {
        Encode(FPending.data(), int(FPending.size() / frameBytes), true);
        // The trailer moves the movie header to the front (a second pass over the file).
        if (int rc = av_write_trailer(s.Format); rc < 0) RaiseAv(rc, "The MP4 file cannot be finished");
        if (int rc = avio_closep(&s.Format->pb); rc < 0) RaiseAv(rc, "The MP4 file cannot be closed");
        FComplete = true;
        return false;
    }
    return true;
}

void TM4aOut::Done()
{
    Input()->Flush();
    const bool complete = FComplete && !Stopped() && ExceptionMessage().isEmpty();
    FState.reset();
    FPending.clear();
    FinishTarget(complete);
}
