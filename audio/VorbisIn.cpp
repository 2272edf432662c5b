#include "audio/VorbisIn.h"
#include "audio/AuFileStream.h"
#include <algorithm>
#include <cerrno>
#include <vorbis/vorbisfile.h>

struct TVorbisIn::TState {
    OggVorbis_File vf{};
};

// The byte stream of the component as vorbisfile's data source.
struct TVorbisCallbacks {
    static size_t Read(void* Ptr, size_t Size, size_t Count, void* Source)
    {
        auto* self = static_cast<TVorbisIn*>(Source);
        TStream* s = self->Stream();
        if (!s) {
            errno = EBADF;
            return 0;
        }
        const int64_t n = s->Read(Ptr, int64_t(Size * Count));
        if (n < 0) {
            if (errno == 0)
                errno = EIO;
            return 0;
        }
        return size_t(n);
    }

    static int Seek(void* Source, ogg_int64_t Offset, int Whence)
    {
        auto* self = static_cast<TVorbisIn*>(Source);
        TStream* s = self->Stream();
        if (!s)
            return -1;
        const TSeekOrigin origin = Whence == SEEK_CUR ? TSeekOrigin::Current
                                   : Whence == SEEK_END ? TSeekOrigin::End : TSeekOrigin::Begin;
        // vorbisfile only tells -1 (failure) from anything else.
        return s->Seek(Offset, origin) < 0 ? -1 : 0;
    }

    static int Close(void* Source)
    {
        auto* self = static_cast<TVorbisIn*>(Source);
        if (self->StreamAssigned())
            self->Stream()->SetPosition(0);
        else
            self->ReleaseOwnedStream();
        return 0;
    }

    static long Tell(void* Source)
    {
        auto* self = static_cast<TVorbisIn*>(Source);
        return self->Stream() ? long(self->Stream()->Position()) : -1;
    }
};

TVorbisIn::TVorbisIn(QObject* Owner) : TAuTaggedFileIn(Owner) {}

TVorbisIn::~TVorbisIn()
{
    // Stop whoever still reads this file before its decoder state goes away.
    ReleaseReaders();
    CloseFile();
}

const TVorbisTags& TVorbisIn::VorbisComments()
{
    OpenFile();
    return FComments;
}

void TVorbisIn::OpenFile()
{
    std::lock_guard lock(FFileLock);
    if (FOpened > 0)
        return;
    FValid = true;
    OpenOwnStream();
    FState = std::make_unique<TState>();
    OggVorbis_File& vf = FState->vf;
    const ov_callbacks callbacks = {TVorbisCallbacks::Read, TVorbisCallbacks::Seek,
                                    TVorbisCallbacks::Close, TVorbisCallbacks::Tell};
    int r = ov_test_callbacks(this, &vf, nullptr, 0, callbacks);
    if (r == 0) {
        r = ov_test_open(&vf);
        if (r != 0)
            ov_clear(&vf);
    }
    if (r != 0) {
        // A failed open has let go of the source without closing it.
        FState.reset();
        TVorbisCallbacks::Close(this);
        FValid = false;
        const char* why = r == OV_ENOTVORBIS ? "it holds no Vorbis audio"
                          : r == OV_EBADHEADER ? "its Vorbis headers are damaged"
                          : r == OV_EREAD ? "it cannot be read"
                          : r == OV_EVERSION ? "its Vorbis version is not supported"
                                             : "it is not an Ogg Vorbis stream";
        throw EAuException(QStringLiteral("Failed to open an ogg file: %1 (%2)").arg(QLatin1String(why)).arg(r));
    }

    FComments.Clear();
    if (vorbis_comment* vc = ov_comment(&vf, -1)) {
        for (int i = 0; i < vc->comments; ++i) {
            const QByteArray entry(vc->user_comments[i], vc->comment_lengths[i]);
            const qsizetype eq = entry.indexOf('=');
            if (eq < 0)
                continue;
            const QString key = QString::fromUtf8(entry.left(eq)).toLower();
            static const char* const read[] = {"artist", "album", "title", "date", "genre", "tracknumber"};
            if (std::find_if(std::begin(read), std::end(read),
                             [&](const char* k) { return key == QLatin1String(k); }) != std::end(read))
                FComments.SetValueOf(key, QString::fromUtf8(entry.mid(eq + 1)));
        }
    }

    const vorbis_info* vi = ov_info(&vf, -1);
    FChan = vi ? vi->channels : 0;
    FSR = vi ? int(vi->rate) : 0;
    FUpper = vi ? vi->bitrate_upper : 0;
    FNominal = vi ? vi->bitrate_nominal : 0;
    FLower = vi ? vi->bitrate_lower : 0;
    FBPS = 16;
    const ogg_int64_t frames = ov_pcm_total(&vf, -1);
    FSize = frames >= 0 ? int64_t(frames) * 2 * FChan : -1;
    FCurrentSection = -1;
    FOpened = 1;
}

void TVorbisIn::CloseFile()
{
    std::lock_guard lock(FFileLock);
    if (FOpened <= 0)
        return;
    if (FState) {
        ov_clear(&FState->vf);
        FState.reset();
    }
    FOpened = 0;
}

void TVorbisIn::DoInit()
{
    FDecodeEnded = false;
    FCurrentSection = -1;
    TAuTaggedFileIn::DoInit();
}

void TVorbisIn::DoGetData(void*& Buffer, uint32_t& Bytes)
{
    if (!FBusy || !FState)
        throw EAuException("The Stream is not opened");
    if (FBufStart > FBufEnd) {
        FBufStart = 1;
        FBufEnd = 0;
        int held = 0;
        while (!FDecodeEnded && held < BufferSize) {
            const long r = ov_read(&FState->vf, reinterpret_cast<char*>(FBuffer) + held,
                                   BufferSize - held, 0, 2, 1, &FCurrentSection);
            // A hole (a lost or damaged page) is reported once; decoding goes on after it.
            if (r == OV_HOLE)
                continue;
            if (r <= 0) {
                FDecodeEnded = true;
                break;
            }
            held += int(r);
            const int64_t size = FSize;
            if (size > 0 && FPosition + held >= size) {
                held = int(std::max<int64_t>(0, size - FPosition));
                FDecodeEnded = true;
            }
        }
        FBufEnd = held;
    }
    const uint32_t left = FBufEnd >= FBufStart ? uint32_t(FBufEnd - FBufStart + 1) : 0;
    Bytes = std::min(Bytes, left);
    Buffer = FBuffer + FBufStart - 1;
    FBufStart += int32_t(Bytes);
}

bool TVorbisIn::DoSeek(int64_t& SampleNum)
{
    OpenFile();
    if (!FState || ov_pcm_seek(&FState->vf, SampleNum) != 0)
        return false;
    FBufStart = 1;
    FBufEnd = 0;
    FDecodeEnded = false;
    return true;
}
