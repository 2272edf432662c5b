// wm8eutil: encodes an audio file (WAV or anything FFmpeg reads) to WMA (wmav2 in ASF).
//
//   wm8eutil -input FILE -output FILE -a_setting BITRATE_KHZ_CHANNELS
//            [-author TEXT] [-description TEXT]
//
// The profile names the bitrate in kbit/s, the sample rate in whole kHz (44 = 44.1 kHz,
// 22 = 22.05 kHz, 11 = 11.025 kHz) and the channel count, e.g. "64_44_2". The input is
// resampled and remixed to the profile; profiles below 24 kbit/s are written at 24 kbit/s,
// the least FFmpeg's encoder accepts. Author and description become the file's author
// and comment. Progress lines ("Encoding: 42%") go to standard output while it works and
// "Done: 100%" once the file is complete; any failure prints one line beginning "ERROR"
// on standard output and exits with status 1. The file is written under a temporary name
// in the output's folder and renamed over the output only when complete, so a failure
// leaves an existing output as it was.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int MIN_ENCODER_BITRATE = 24000;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void Check(int rc, const std::string& what)
{
    if (rc < 0) throw Failure(what + ": " + AvError(rc));
}

struct Options {
    std::string Input, Output, Setting, Author, Description;
    bool HasAuthor = false, HasDescription = false;
};

Options ParseArguments(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) throw Failure("option " + name + " needs a value");
        const std::string value = argv[++i];
        if (name == "-input") o.Input = value;
        else if (name == "-output") o.Output = value;
        else if (name == "-a_setting") o.Setting = value;
        else if (name == "-author") { o.Author = value; o.HasAuthor = true; }
        else if (name == "-description") { o.Description = value; o.HasDescription = true; }
        else throw Failure("unknown option " + name);
    }
    if (o.Input.empty()) throw Failure("no -input file");
    if (o.Output.empty()) throw Failure("no -output file");
    if (o.Setting.empty()) throw Failure("no -a_setting profile");
    return o;
}

struct Profile {
    int BitRate = 0;      // bit/s
    int SampleRate = 0;   // Hz
    int Channels = 0;
};

bool ParseWhole(const std::string& text, int& value)
{
    if (text.empty() || text.size() > 4) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

Profile ParseProfile(const std::string& name)
{
    const size_t a = name.find('_');
    const size_t b = a == std::string::npos ? a : name.find('_', a + 1);
    int kbit = 0, khz = 0, channels = 0;
    if (b == std::string::npos || !ParseWhole(name.substr(0, a), kbit)
        || !ParseWhole(name.substr(a + 1, b - a - 1), khz) || !ParseWhole(name.substr(b + 1), channels))
        throw Failure("unknown profile " + name);
    static const struct { int Khz, Rate; } rates[] = {
        {48, 48000}, {44, 44100}, {32, 32000}, {22, 22050}, {16, 16000}, {11, 11025}, {8, 8000}};
    Profile p;
    for (const auto& r : rates)
        if (r.Khz == khz) p.SampleRate = r.Rate;
    if (p.SampleRate == 0 || kbit < 5 || kbit > 320 || (channels != 1 && channels != 2))
        throw Failure("unknown profile " + name);
    p.BitRate = kbit * 1000;
    p.Channels = channels;
    return p;
}

// Everything the run opens, freed in one place whatever happens.
struct Session {
    AVFormatContext* In = nullptr;
    AVCodecContext* Dec = nullptr;
    AVFormatContext* Out = nullptr;
    AVCodecContext* Enc = nullptr;
    SwrContext* Swr = nullptr;
    AVAudioFifo* Fifo = nullptr;
    AVPacket* Packet = nullptr;
    AVFrame* Frame = nullptr;
    AVFrame* EncFrame = nullptr;
    std::string TempPath;
    bool TempExists = false;

    ~Session()
    {
        if (Out) {
            if (Out->pb) avio_closep(&Out->pb);
            avformat_free_context(Out);
        }
        if (TempExists) ::unlink(TempPath.c_str());
        avformat_close_input(&In);
        avcodec_free_context(&Dec);
        avcodec_free_context(&Enc);
        swr_free(&Swr);
        if (Fifo) av_audio_fifo_free(Fifo);
        av_packet_free(&Packet);
        av_frame_free(&Frame);
        av_frame_free(&EncFrame);
    }
};

class Encoder {
public:
    Encoder(const Options& options, const Profile& profile) : O(options), P(profile) {}

    void Run()
    {
        OpenInput();
        OpenOutput();
        S.Packet = av_packet_alloc();
        S.Frame = av_frame_alloc();
        if (!S.Packet || !S.Frame) throw Failure("out of memory");
        Check(avformat_write_header(S.Out, nullptr), "cannot write the output header");

        for (;;) {
            const int rc = av_read_frame(S.In, S.Packet);
            if (rc == AVERROR_EOF) break;
            Check(rc, "cannot read the input");
            if (S.Packet->stream_index == StreamIndex) {
                Check(avcodec_send_packet(S.Dec, S.Packet), "cannot decode the input");
                ReceiveDecoded();
                ReportProgress(S.Packet->pts, S.In->streams[StreamIndex]->time_base);
            }
            av_packet_unref(S.Packet);
        }
        Check(avcodec_send_packet(S.Dec, nullptr), "cannot decode the input");
        ReceiveDecoded();
        Resample(nullptr, 0);   // what the resampler still holds
        EncodeFifo(true);
        Check(avcodec_send_frame(S.Enc, nullptr), "cannot encode");
        WritePackets();
        Check(av_write_trailer(S.Out), "cannot complete the output");
        Check(avio_closep(&S.Out->pb), "cannot write the output");
        if (std::rename(S.TempPath.c_str(), O.Output.c_str()) != 0)
            throw Failure("cannot write " + O.Output + ": " + std::strerror(errno));
        S.TempExists = false;
        std::printf("Done: 100%%\n");
        std::fflush(stdout);
    }

private:
    void OpenInput()
    {
        if (avformat_open_input(&S.In, O.Input.c_str(), nullptr, nullptr) < 0)
            throw Failure("cannot read the input file " + O.Input);
        Check(avformat_find_stream_info(S.In, nullptr), "cannot read the input file " + O.Input);
        const AVCodec* decoder = nullptr;
        StreamIndex = av_find_best_stream(S.In, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (StreamIndex < 0 || !decoder) throw Failure("no audio in the input file " + O.Input);
        S.Dec = avcodec_alloc_context3(decoder);
        if (!S.Dec) throw Failure("out of memory");
        Check(avcodec_parameters_to_context(S.Dec, S.In->streams[StreamIndex]->codecpar), "cannot decode the input");
        Check(avcodec_open2(S.Dec, decoder, nullptr), "cannot decode the input");
        if (S.Dec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            const int n = S.Dec->ch_layout.nb_channels;
            av_channel_layout_uninit(&S.Dec->ch_layout);
            av_channel_layout_default(&S.Dec->ch_layout, n);
        }
        if (S.Dec->ch_layout.nb_channels < 1 || S.Dec->sample_rate < 1)
            throw Failure("the input file " + O.Input + " has no usable audio format");
        Duration = S.In->duration;
    }

    void OpenOutput()
    {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
        if (!codec) throw Failure("this FFmpeg has no wmav2 encoder");
        const AVOutputFormat* format = av_guess_format("asf", nullptr, nullptr);
        if (!format) throw Failure("this FFmpeg has no ASF writer");

        // The temporary file lies beside the output so that the final rename stays
        // within one file system.
        S.TempPath = O.Output + ".XXXXXX";
        const int fd = ::mkstemp(S.TempPath.data());
        if (fd < 0) throw Failure("cannot write " + O.Output + ": " + std::strerror(errno));
        // mkstemp makes the file private; the output gets the usual permissions.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        ::close(fd);
        S.TempExists = true;

        Check(avformat_alloc_output_context2(&S.Out, format, nullptr, S.TempPath.c_str()), "cannot create the output");
        if (O.HasAuthor) av_dict_set(&S.Out->metadata, "author", O.Author.c_str(), 0);
        if (O.HasDescription) av_dict_set(&S.Out->metadata, "comment", O.Description.c_str(), 0);

        S.Enc = avcodec_alloc_context3(codec);
        if (!S.Enc) throw Failure("out of memory");
        S.Enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
        S.Enc->sample_rate = P.SampleRate;
        // FFmpeg's wmav2 encoder refuses less than 24 kbit/s; the low profiles keep their
        // rate and channels and get that minimum.
        S.Enc->bit_rate = P.BitRate < MIN_ENCODER_BITRATE ? MIN_ENCODER_BITRATE : P.BitRate;
        av_channel_layout_default(&S.Enc->ch_layout, P.Channels);
        S.Enc->time_base = AVRational{1, P.SampleRate};
        if (format->flags & AVFMT_GLOBALHEADER) S.Enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        Check(avcodec_open2(S.Enc, codec, nullptr), "cannot open the WMA encoder for this profile");

        AVStream* stream = avformat_new_stream(S.Out, nullptr);
        if (!stream) throw Failure("out of memory");
        stream->time_base = S.Enc->time_base;
        Check(avcodec_parameters_from_context(stream->codecpar, S.Enc), "cannot create the output");
        Check(avio_open(&S.Out->pb, S.TempPath.c_str(), AVIO_FLAG_WRITE), "cannot write " + O.Output);

        Check(swr_alloc_set_opts2(&S.Swr, &S.Enc->ch_layout, S.Enc->sample_fmt, S.Enc->sample_rate,
                                  &S.Dec->ch_layout, S.Dec->sample_fmt, S.Dec->sample_rate, 0, nullptr),
              "cannot convert the input");
        Check(swr_init(S.Swr), "cannot convert the input");
        S.Fifo = av_audio_fifo_alloc(S.Enc->sample_fmt, P.Channels, S.Enc->frame_size > 0 ? S.Enc->frame_size : 2048);
        S.EncFrame = av_frame_alloc();
        if (!S.Fifo || !S.EncFrame) throw Failure("out of memory");
    }

    void ReceiveDecoded()
    {
        for (;;) {
            const int rc = avcodec_receive_frame(S.Dec, S.Frame);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
            Check(rc, "cannot decode the input");
            Resample(const_cast<const uint8_t**>(S.Frame->extended_data), S.Frame->nb_samples);
            av_frame_unref(S.Frame);
            EncodeFifo(false);
        }
    }

    void Resample(const uint8_t** data, int count)
    {
        const int room = swr_get_out_samples(S.Swr, count);
        if (room <= 0) return;
        uint8_t** out = nullptr;
        Check(av_samples_alloc_array_and_samples(&out, nullptr, P.Channels, room, S.Enc->sample_fmt, 0), "out of memory");
        const int made = swr_convert(S.Swr, out, room, data, count);
        int rc = made;
        if (made > 0) rc = av_audio_fifo_write(S.Fifo, reinterpret_cast<void**>(out), made);
        av_freep(&out[0]);
        av_freep(&out);
        Check(rc, "cannot convert the input");
    }

    // Encodes whole frames from the queue; at the end, the rest padded with silence.
    void EncodeFifo(bool last)
    {
        const int size = S.Enc->frame_size > 0 ? S.Enc->frame_size : 2048;
        while (av_audio_fifo_size(S.Fifo) >= size || (last && av_audio_fifo_size(S.Fifo) > 0)) {
            av_frame_unref(S.EncFrame);
            S.EncFrame->nb_samples = size;
            S.EncFrame->format = S.Enc->sample_fmt;
            S.EncFrame->sample_rate = S.Enc->sample_rate;
            Check(av_channel_layout_copy(&S.EncFrame->ch_layout, &S.Enc->ch_layout), "out of memory");
            Check(av_frame_get_buffer(S.EncFrame, 0), "out of memory");
            const int n = av_audio_fifo_read(S.Fifo, reinterpret_cast<void**>(S.EncFrame->data), size);
            Check(n, "cannot convert the input");
            if (n < size)
                av_samples_set_silence(S.EncFrame->data, n, size - n, P.Channels, S.Enc->sample_fmt);
            S.EncFrame->pts = NextPts;
            NextPts += size;
            Check(avcodec_send_frame(S.Enc, S.EncFrame), "cannot encode");
            WritePackets();
        }
    }

    void WritePackets()
    {
        for (;;) {
            const int rc = avcodec_receive_packet(S.Enc, S.Packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
            Check(rc, "cannot encode");
            S.Packet->stream_index = 0;
            av_packet_rescale_ts(S.Packet, S.Enc->time_base, S.Out->streams[0]->time_base);
            Check(av_interleaved_write_frame(S.Out, S.Packet), "cannot write " + O.Output);
        }
    }

    void ReportProgress(int64_t pts, AVRational base)
    {
        if (Duration <= 0 || pts == AV_NOPTS_VALUE) return;
        const int64_t at = av_rescale_q(pts, base, AV_TIME_BASE_Q) - (S.In->start_time == AV_NOPTS_VALUE ? 0 : S.In->start_time);
        int percent = int(at * 100 / Duration);
        if (percent > 99) percent = 99;   // "100%" means finished
        if (percent <= LastPercent) return;
        LastPercent = percent;
        std::printf("Encoding: %d%%\n", percent);
        std::fflush(stdout);
    }

    const Options& O;
    const Profile P;
    Session S;
    int StreamIndex = -1;
    int64_t Duration = 0;
    int64_t NextPts = 0;
    int LastPercent = -1;
};

} // namespace

int main(int argc, char** argv)
{
    av_log_set_level(AV_LOG_QUIET);
    try {
        const Options options = ParseArguments(argc, argv);
        const Profile profile = ParseProfile(options.Setting);
        Encoder(options, profile).Run();
        return 0;
    } catch (const std::exception& e) {
        std::printf("ERROR: %s\n", e.what());
        std::fflush(stdout);
        return 1;
    }
}
