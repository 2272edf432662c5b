// The FFmpeg libraries are loaded when first used, not when the program starts: with what
// they link (more than a hundred libraries) they would double the time a window takes to
// appear, for the few jobs that read or write through them. Each FFmpeg function the
// program calls is defined here with the header's own signature; the first call looks the
// real one up. Where the libraries cannot be loaded, every call fails the way FFmpeg reports
// failures (an error code, a null pointer), and av_strerror names the cause.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "platform/LazyLibrary.h"

#include <cerrno>
#include <cstdio>

#define AV_LIB(name, major) "lib" #name ".so." AV_STRINGIFY(major)
#define AvUtil AV_LIB(avutil, LIBAVUTIL_VERSION_MAJOR)
#define AvCodec AV_LIB(avcodec, LIBAVCODEC_VERSION_MAJOR)
#define AvFormat AV_LIB(avformat, LIBAVFORMAT_VERSION_MAJOR)
#define SwResample AV_LIB(swresample, LIBSWRESAMPLE_VERSION_MAJOR)
#define AV_LAZY LAZY_FUNCTION
#define AV_LAZY_VOID LAZY_VOID_FUNCTION
#define AV_NOT_LOADED AVERROR(ENOSYS)

// libavutil
AV_LAZY(AvUtil, AV_NOT_LOADED, int, av_channel_layout_copy, (AVChannelLayout* dst, const AVChannelLayout* src), (dst, src))
AV_LAZY_VOID(AvUtil, av_channel_layout_default, (AVChannelLayout* layout, int channels), (layout, channels))
AV_LAZY_VOID(AvUtil, av_channel_layout_uninit, (AVChannelLayout* layout), (layout))
AV_LAZY_VOID(AvUtil, av_dict_free, (AVDictionary** m), (m))
AV_LAZY(AvUtil, nullptr, AVDictionaryEntry*, av_dict_get,
        (const AVDictionary* m, const char* key, const AVDictionaryEntry* prev, int flags), (m, key, prev, flags))
AV_LAZY(AvUtil, AV_NOT_LOADED, int, av_dict_set, (AVDictionary** pm, const char* key, const char* value, int flags),
        (pm, key, value, flags))
AV_LAZY(AvUtil, nullptr, AVFrame*, av_frame_alloc, (void), ())
AV_LAZY_VOID(AvUtil, av_frame_free, (AVFrame** frame), (frame))
AV_LAZY(AvUtil, AV_NOT_LOADED, int, av_frame_get_buffer, (AVFrame* frame, int align), (frame, align))
AV_LAZY_VOID(AvUtil, av_frame_unref, (AVFrame* frame), (frame))
AV_LAZY(AvUtil, 0, int, av_get_bytes_per_sample, (enum AVSampleFormat format), (format))
AV_LAZY(AvUtil, AV_SAMPLE_FMT_NONE, enum AVSampleFormat, av_get_packed_sample_fmt, (enum AVSampleFormat format), (format))
AV_LAZY_VOID(AvUtil, av_log_set_level, (int level), (level))

// The error text: FFmpeg's own, or why the libraries are not there.
extern "C" int av_strerror(int error, char* buffer, size_t size)
{
    using TFunction = int (*)(int, char*, size_t);
    static const TFunction real = reinterpret_cast<TFunction>(LazySymbol(AvUtil, "av_strerror"));
    if (real) return real(error, buffer, size);
    if (buffer && size > 0) {
        std::string why;
        for (const char* library : {AvUtil, AvCodec, AvFormat, SwResample})
            if (why.empty()) why = LazyLoadError(library);
        std::snprintf(buffer, size, "%s", why.empty() ? "FFmpeg cannot be used" : why.c_str());
    }
    return 0;
}

// libavcodec
AV_LAZY(AvCodec, nullptr, AVPacket*, av_packet_alloc, (void), ())
AV_LAZY_VOID(AvCodec, av_packet_free, (AVPacket** packet), (packet))
AV_LAZY_VOID(AvCodec, av_packet_rescale_ts, (AVPacket* packet, AVRational from, AVRational to), (packet, from, to))
AV_LAZY_VOID(AvCodec, av_packet_unref, (AVPacket* packet), (packet))
AV_LAZY(AvCodec, nullptr, AVCodecContext*, avcodec_alloc_context3, (const AVCodec* codec), (codec))
AV_LAZY(AvCodec, nullptr, const AVCodec*, avcodec_find_encoder, (enum AVCodecID id), (id))
AV_LAZY(AvCodec, nullptr, const AVCodec*, avcodec_find_encoder_by_name, (const char* name), (name))
AV_LAZY_VOID(AvCodec, avcodec_free_context, (AVCodecContext** context), (context))
AV_LAZY(AvCodec, "unknown", const char*, avcodec_get_name, (enum AVCodecID id), (id))
AV_LAZY(AvCodec, AV_NOT_LOADED, int, avcodec_open2, (AVCodecContext* context, const AVCodec* codec, AVDictionary** options),
        (context, codec, options))
AV_LAZY(AvCodec, AV_NOT_LOADED, int, avcodec_parameters_from_context, (AVCodecParameters* par, const AVCodecContext* codec),
        (par, codec))
AV_LAZY(AvCodec, AV_NOT_LOADED, int, avcodec_parameters_to_context, (AVCodecContext* codec, const AVCodecParameters* par),
        (codec, par))
AV_LAZY(AvCodec, AV_NOT_LOADED, int, avcodec_receive_frame, (AVCodecContext* context, AVFrame* frame), (context, frame))
AV_LAZY(AvCodec, AV_NOT_LOADED, int, avcodec_receive_packet, (AVCodecContext* context, AVPacket* packet), (context, packet))
AV_LAZY(AvCodec, AV_NOT_LOADED, int, avcodec_send_frame, (AVCodecContext* context, const AVFrame* frame), (context, frame))
AV_LAZY(AvCodec, AV_NOT_LOADED, int, avcodec_send_packet, (AVCodecContext* context, const AVPacket* packet),
        (context, packet))

// libavformat
AV_LAZY(AvFormat, AV_NOT_LOADED, int, av_find_best_stream,
        (AVFormatContext* ic, enum AVMediaType type, int wanted, int related, const AVCodec** decoder, int flags),
        (ic, type, wanted, related, decoder, flags))
AV_LAZY(AvFormat, AV_NOT_LOADED, int, av_read_frame, (AVFormatContext* s, AVPacket* packet), (s, packet))
AV_LAZY(AvFormat, AV_NOT_LOADED, int, av_write_frame, (AVFormatContext* s, AVPacket* packet), (s, packet))
AV_LAZY(AvFormat, AV_NOT_LOADED, int, av_write_trailer, (AVFormatContext* s), (s))
AV_LAZY(AvFormat, AV_NOT_LOADED, int, avformat_alloc_output_context2,
        (AVFormatContext** context, const AVOutputFormat* format, const char* formatName, const char* fileName),
        (context, format, formatName, fileName))
AV_LAZY_VOID(AvFormat, avformat_close_input, (AVFormatContext** s), (s))
AV_LAZY(AvFormat, AV_NOT_LOADED, int, avformat_find_stream_info, (AVFormatContext* ic, AVDictionary** options), (ic, options))
AV_LAZY_VOID(AvFormat, avformat_free_context, (AVFormatContext* s), (s))
AV_LAZY(AvFormat, nullptr, AVStream*, avformat_new_stream, (AVFormatContext* s, const AVCodec* codec), (s, codec))
AV_LAZY(AvFormat, AV_NOT_LOADED, int, avformat_open_input,
        (AVFormatContext** ps, const char* url, const AVInputFormat* format, AVDictionary** options),
        (ps, url, format, options))
AV_LAZY(AvFormat, AV_NOT_LOADED, int, avformat_write_header, (AVFormatContext* s, AVDictionary** options), (s, options))
AV_LAZY(AvFormat, AV_NOT_LOADED, int, avio_closep, (AVIOContext** s), (s))
AV_LAZY(AvFormat, 1, int, avio_feof, (AVIOContext* s), (s))
AV_LAZY(AvFormat, AV_NOT_LOADED, int, avio_open, (AVIOContext** s, const char* url, int flags), (s, url, flags))

// libswresample
AV_LAZY(SwResample, AV_NOT_LOADED, int, swr_alloc_set_opts2,
        (struct SwrContext** ps, AVChannelLayout* outLayout, enum AVSampleFormat outFormat, int outRate,
         AVChannelLayout* inLayout, enum AVSampleFormat inFormat, int inRate, int logOffset, void* logContext),
        (ps, outLayout, outFormat, outRate, inLayout, inFormat, inRate, logOffset, logContext))
AV_LAZY(SwResample, AV_NOT_LOADED, int, swr_convert,
        (struct SwrContext* s, uint8_t** out, int outCount, const uint8_t** in, int inCount), (s, out, outCount, in, inCount))
AV_LAZY_VOID(SwResample, swr_free, (struct SwrContext** s), (s))
AV_LAZY(SwResample, AV_NOT_LOADED, int, swr_get_out_samples, (struct SwrContext* s, int inSamples), (s, inSamples))
AV_LAZY(SwResample, AV_NOT_LOADED, int, swr_init, (struct SwrContext* s), (s))
