// One encoding or decoding through the Vorbis components per run, for bench/vorbis.sh,
// which times it against oggenc and oggdec doing the same work on the same files:
//   vorbis_bench encode RAW OUT.ogg    16-bit stereo 44100 Hz raw PCM, quality 0.5
//   vorbis_bench decode IN.ogg OUT.raw
// The PCM is read by the raw reader of the test fixtures; there is no WAV reader yet.
#include "audio/AuFileStream.h"
#include "audio/VorbisIn.h"
#include "audio/VorbisOut.h"
#include "fixtures/AuTestComponents.cpp"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

namespace {

int Encode(const QString& raw, const QString& ogg)
{
    TAuRawFileIn in;
    in.SetRawFormat(16, 2, 44100);
    in.SetFileName(raw);
    TVorbisOut out;
    out.SetInput(&in);
    out.SetCompression(0.5f);
    out.SetFileName(ogg);
    out.Run();
    // The worker needs nothing from this thread: wait without pumping events.
    while (out.Busy())
        QThread::msleep(20);
    if (!out.ExceptionMessage().isEmpty()) {
        std::fprintf(stderr, "%s\n", out.ExceptionMessage().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

int Decode(const QString& ogg, const QString& raw)
{
    TVorbisIn in;
    in.SetFileName(ogg);
    TAuFileStream out(raw, TAuFileStream::fmCreate);
    in.Init();
    for (;;) {
        void* data = nullptr;
        uint32_t bytes = 65536;
        in.GetData(data, bytes);
        if (bytes == 0)
            break;
        if (out.Write(data, bytes) != int64_t(bytes))
            return 1;
    }
    in.Flush();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 4 && args[1] == "encode")
            return Encode(args[2], args[3]);
        if (args.size() == 4 && args[1] == "decode")
            return Decode(args[2], args[3]);
    } catch (const EAuException& e) {
        std::fprintf(stderr, "%s\n", e.Message().toLocal8Bit().constData());
        return 1;
    }
    std::fprintf(stderr, "usage: vorbis_bench encode RAW OUT.ogg | decode IN.ogg OUT.raw\n");
    return 2;
}
