#include "audio/WaveIn.h"
#include "audio/AuFileStream.h"
#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// The whole header before the first data byte lies within this many bytes.
constexpr int64_t HeaderLimit = 65535;
constexpr int MaxCoefs = 32;

// Sequential reads that count the bytes consumed.
struct TScanner {
    TStream& S;
    int64_t Base;
    int64_t Size;
    int64_t Consumed = 0;

    bool Read(void* p, int64_t n)
    {
        if (S.Read(p, n) != n)
            return false;
        Consumed += n;
        return true;
    }
    bool Skip(int64_t n)
    {
        if (Consumed + n > HeaderLimit || !S.SetPosition(Base + Consumed + n))
            return false;
        Consumed += n;
        return true;
    }
    bool Slide(uint8_t* Window)
    {
        std::memmove(Window, Window + 1, 3);
        return Read(Window + 3, 1);
    }
    bool AtLimit() const { return Base + Consumed >= Size || Consumed >= HeaderLimit; }
};

} // namespace

TWaveIn::TWaveIn(QObject* Owner) : TAuFileIn(Owner) {}

TWaveIn::~TWaveIn()
{
    // Stop whoever still reads this file before its decoder state goes away.
    ReleaseReaders();
    CloseFile();
}

TWavType TWaveIn::WavType()
{
    OpenFile();
    return FWavType;
}

TWaveIn::THeader TWaveIn::ScanHeader(TStream& S)
{
    enum class TState { Riff, Wave, Fmt, Fact, Data };
    THeader h;
    TScanner in{S, S.Position(), S.Size()};
    if (in.Base < 0 || in.Size < 0)
        return h;
    THeader found;
    uint8_t w[4];
    if (!in.Read(w, 4))
        return h;
    TState state = TState::Riff;
    // Skips the chunk whose code is in w and reads the next code.
    const auto skipChunk = [&]() {
        uint8_t n[4];
        return in.Read(n, 4) && in.Skip(Wav::Get32(n)) && in.Read(w, 4);
    };
    // The body of the chunk whose code was just read: false when its length is below
    // minLength, runs past the header scan's limit, or the file ends inside it.
    const auto readBody = [&](uint32_t minLength, std::vector<uint8_t>& body) {
        uint8_t n[4];
        if (!in.Read(n, 4))
            return false;
        const uint32_t len = Wav::Get32(n);
        if (in.Consumed + int64_t(len) > HeaderLimit || len < minLength)
            return false;
        body.resize(len);
        return in.Read(body.data(), len);
    };
    for (;;) {
        bool ok = true;
        switch (state) {
        case TState::Riff:
            if (Wav::CodeIs(w, "RIFF")) {
                ok = in.Read(w, 4);
                state = TState::Wave;
            } else {
                ok = in.Slide(w);
            }
            break;
        case TState::Wave:
            if (Wav::CodeIs(w, "WAVE")) {
                ok = in.Read(w, 4);
                state = TState::Fmt;
            } else {
                ok = in.Slide(w);
            }
            break;
        case TState::Fmt: {
            if (!Wav::CodeIs(w, "fmt ")) {
                ok = skipChunk();
                break;
            }
            std::vector<uint8_t> body;
            if (!readBody(16, body))
                return h;
            const uint32_t len = uint32_t(body.size());
            const uint8_t* b = body.data();
            switch (Wav::Get16(b)) {
            case Wav::TagPCM: found.Type = wtPCM; break;
            case Wav::TagMSADPCM: found.Type = wtMSADPCM; break;
            case Wav::TagIEEEFloat: found.Type = wtIEEEFloat; break;
            case Wav::TagDVIADPCM: found.Type = wtDVIADPCM; break;
            case Wav::TagMPEGLayer3: found.Type = wtACM; break;
            case Wav::TagExtensible: found.Type = wtExtPCM; break;
            default: return h;
            }
            found.Channels = Wav::Get16(b + 2);
            found.SampleRate = int(std::min<uint32_t>(Wav::Get32(b + 4), INT32_MAX));
            found.BlockAlign = Wav::Get16(b + 12);
            found.BitsPerSample = Wav::Get16(b + 14);
            if (found.Type == wtExtPCM) {
                // The sub-format GUID ends the extension (18 + 22 bytes at least).
                if (len < 40)
                    return h;
                const uint8_t* guid = b + len - 16;
                if (std::memcmp(guid, Wav::SubFormatIEEEFloat, 16) == 0)
                    found.Type = wtExtIEEEFloat;
                else if (std::memcmp(guid, Wav::SubFormatPCM, 16) != 0)
                    return h;
            }
            const bool compressed = found.Type == wtDVIADPCM || found.Type == wtMSADPCM || found.Type == wtACM;
            if (compressed && len >= 20)
                found.SamplesPerBlock = Wav::Get16(b + 18);
            if (found.Type == wtMSADPCM && len >= 22) {
                const int count = std::min<int>({Wav::Get16(b + 20), MaxCoefs, int(len - 22) / 4});
                for (int i = 0; i < count; ++i)
                    found.Coefs.push_back({int16_t(Wav::Get16(b + 22 + 4 * i)), int16_t(Wav::Get16(b + 24 + 4 * i))});
            }
            state = compressed ? TState::Fact : TState::Data;
            ok = in.Read(w, 4);
            break;
        }
        case TState::Fact: {
            if (!Wav::CodeIs(w, "fact")) {
                ok = skipChunk();
                break;
            }
            std::vector<uint8_t> body;
            if (!readBody(4, body))
                return h;
            found.TotalFrames = Wav::Get32(body.data());
            state = TState::Data;
            ok = in.Read(w, 4);
            break;
        }
        case TState::Data: {
            if (!Wav::CodeIs(w, "data")) {
                ok = skipChunk();
                break;
            }
            uint8_t n[4];
            if (!in.Read(n, 4) || in.Consumed > HeaderLimit)
                return h;
            found.DataSize = Wav::Get32(n);
            found.DataStart = in.Base + in.Consumed;
            return found;
        }
        }
        if (!ok || in.AtLimit())
            return h;
    }
}

int64_t TWaveIn::StoredFrameBytes() const
{
    return int64_t(FChan) * (FStoredBits / 8);
}

bool TWaveIn::Accept(const THeader& H, int64_t StreamSize)
{
    FStoredBits = H.BitsPerSample;
    FBlockSize = H.BlockAlign;
    FSamplesPerBlock = H.SamplesPerBlock;
    FTotalFrames = H.TotalFrames;
    FCoefs = H.Coefs;
    FDataStart = H.DataStart;
    // The audio ends with the data chunk, or with the stream when the chunk claims more;
    // a size of 0 (a writer that could not come back to fill it in) means "to the end".
    const int64_t avail = std::max<int64_t>(0, StreamSize - H.DataStart);
    const int64_t dataBytes = H.DataSize == 0 ? avail : std::min<int64_t>(H.DataSize, avail);
    FDataEnd = H.DataStart + dataBytes;
    FBPS = H.BitsPerSample;
    FChan = H.Channels;
    FSR = H.SampleRate;
    if (H.Channels < 1 || H.SampleRate < 1)
        return false;
    switch (H.Type) {
    case wtPCM:
    case wtExtPCM:
        if (H.BitsPerSample < 8 || H.BitsPerSample > 32 || H.BitsPerSample % 8 != 0)
            return false;
        FSize = dataBytes;
        break;
    case wtIEEEFloat:
    case wtExtIEEEFloat:
        if (H.BitsPerSample != 32 && H.BitsPerSample != 64)
            return false;
        FFloatMode = H.BitsPerSample == 32;
        FBPS = 32;
        FSize = dataBytes / StoredFrameBytes() * int64_t(H.Channels) * 4;
        break;
    case wtDVIADPCM:
    case wtMSADPCM: {
        const int natural = H.Type == wtDVIADPCM
            ? Adpcm::ImaFramesPerBlock(H.BlockAlign, H.Channels)
            : (H.Channels == 1 ? 2 * (H.BlockAlign - 7) + 2 : H.BlockAlign - 14 + 2);
        if (H.Channels > 2 || natural < 1 || H.SamplesPerBlock < 1 || H.SamplesPerBlock > natural)
            return false;
        if (H.Type == wtDVIADPCM && H.BitsPerSample != 4)
            return false;
        if (H.Type == wtMSADPCM && (H.Coefs.empty() || H.SamplesPerBlock < 2))
            return false;
        FBPS = 16;
        // The fact chunk gives the frames; no more than the blocks present can hold.
        const int64_t blocks = (dataBytes + H.BlockAlign - 1) / H.BlockAlign;
        const int64_t frames = std::min<int64_t>(H.TotalFrames, blocks * H.SamplesPerBlock);
        FSize = frames * H.Channels * 2;
        FDecoded.resize(size_t(natural) * H.Channels);
        const size_t perStep = std::max<size_t>(1, DecodeBufferSize / (FDecoded.size() * 2));
        FBlock.resize(perStep * size_t(H.BlockAlign));
        FBuffer.resize(std::max<size_t>(DecodeBufferSize, perStep * FDecoded.size() * 2));
        break;
    }
    default:
        // wtACM: no compression manager on this platform.
        return false;
    }
    return FChan * FBPS / 8 <= int(DecodeBufferSize) && StoredFrameBytes() <= int(DecodeBufferSize);
}

void TWaveIn::OpenFile()
{
    std::lock_guard lock(FFileLock);
    if (FOpened > 0)
        return;
    FValid = true;
    FFloatMode = false;
    if (!Stream())
        AdoptStream(std::make_unique<TAuFileStream>(FileName(), TAuFileStream::fmShareDenyWrite));
    FSize = 0;
    FBPS = 0;
    FChan = 0;
    FSR = 0;
    const THeader h = ScanHeader(*Stream());
    FWavType = h.Type;
    if (h.Type == wtUnsupported || !Accept(h, Stream()->Size())) {
        // Nothing of a file we cannot read is reported as its format.
        FValid = false;
        FBPS = 0;
        FChan = 0;
        FSR = 0;
        FSize = 0;
    }
    if (FValid)
        Stream()->SetPosition(FDataStart);
    FBufStart = 1;
    FBufEnd = 0;
    ++FOpened;
}

void TWaveIn::CloseFile()
{
    std::lock_guard lock(FFileLock);
    if (FOpened <= 0)
        return;
    if (StreamAssigned())
        Stream()->SetPosition(0);
    else
        ReleaseOwnedStream();
    FOpened = 0;
}

uint32_t TWaveIn::ReadData(uint8_t* Out, uint32_t Want)
{
    TStream* s = Stream();
    if (!s)
        return 0;
    const int64_t pos = s->Position();
    if (pos < 0 || pos >= FDataEnd)
        return 0;
    const int64_t n = s->Read(Out, std::min<int64_t>(Want, FDataEnd - pos));
    return n > 0 ? uint32_t(n) : 0;
}

uint32_t TWaveIn::Refill()
{
    if (!FValid)
        return 0;
    switch (FWavType.load()) {
    case wtPCM:
    case wtExtPCM: {
        const uint32_t frame = uint32_t(StoredFrameBytes());
        return ReadData(FBuffer.data(), DecodeBufferSize / frame * frame);
    }
    case wtIEEEFloat:
    case wtExtIEEEFloat: {
        const uint32_t unit = 8 * uint32_t(FChan);
        const uint32_t got = ReadData(FBuffer.data(), DecodeBufferSize / unit * unit);
        uint8_t* p = FBuffer.data();
        if (FFloatMode) {
            for (uint32_t i = 0; i + 4 <= got; i += 4) {
                float x;
                std::memcpy(&x, p + i, 4);
                Wav::Put32(p + i, uint32_t(Wav::FloatToInt32(x)));
            }
            return got / 4 * 4;
        }
        // Doubles are compacted to 32-bit integers in place: half the bytes read.
        for (uint32_t i = 0; i + 8 <= got; i += 8) {
            double x;
            std::memcpy(&x, p + i, 8);
            Wav::Put32(p + i / 2, uint32_t(Wav::FloatToInt32(x)));
        }
        return got / 8 * 4;
    }
    case wtDVIADPCM:
    case wtMSADPCM: {
        // As many whole blocks as the decode buffer holds, read at once.
        const uint32_t got = ReadData(FBlock.data(), uint32_t(FBlock.size()));
        uint8_t* p = FBuffer.data();
        uint32_t produced = 0;
        for (uint32_t at = 0; at < got; at += uint32_t(FBlockSize)) {
            const int n = int(std::min<uint32_t>(uint32_t(FBlockSize), got - at));
            const int frames = FWavType == wtDVIADPCM
                ? Adpcm::ImaDecodeBlock(FBlock.data() + at, n, FChan, FSamplesPerBlock, FDecoded.data())
                : Adpcm::MsDecodeBlock(FBlock.data() + at, n, FChan, FSamplesPerBlock, FCoefs.data(),
                                       int(FCoefs.size()), FDecoded.data());
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(p + produced, FDecoded.data(), size_t(frames * FChan) * 2);
            } else {
                for (int i = 0; i < frames * FChan; ++i)
                    Wav::Put16(p + produced + 2 * i, uint16_t(FDecoded[size_t(i)]));
            }
            produced += uint32_t(frames * FChan * 2);
        }
        return produced;
    }
    default:
        return 0;
    }
}

int64_t TWaveIn::DoTransferTo(TAuFileStream& Out, int64_t MaxBytes)
{
    const TWavType type = FWavType;
    auto* in = dynamic_cast<TAuFileStream*>(Stream());
    if (!FBusy || !in || FLoop || FEndOfStream || FBufStart <= FBufEnd || (type != wtPCM && type != wtExtPCM))
        return -1;
    const int64_t frame = std::max<int64_t>(1, StoredFrameBytes());
    const int64_t pos = in->Position();
    if (pos < 0)
        return -1;
    int64_t n = std::min(MaxBytes, FDataEnd - pos);
    const int64_t size = FSize;
    if (size > 0)
        n = std::min(n, size - FPosition);
    n = n / frame * frame;
    if (n <= 0) {
        FEndOfStream = true;
        return 0;
    }
    const int64_t moved = Out.CopyFrom(*in, n);
    if (moved < 0)
        return -1;
    FPosition += moved;
    // A copy cut short (a read error, the file shrinking) ends the stream as a short read does.
    if (moved < n || (size > 0 && FPosition >= size))
        FEndOfStream = true;
    return moved;
}

void TWaveIn::DoGetData(void*& Buffer, uint32_t& Bytes)
{
    if (!FBusy)
        throw EAuException("The Stream is not opened");
    if (FBufStart > FBufEnd) {
        FBufStart = 1;
        FBufEnd = int32_t(Refill());
    }
    const uint32_t frame = uint32_t(std::max(1, FChan * FBPS / 8));
    const uint32_t left = uint32_t(std::max(0, FBufEnd - FBufStart + 1));
    Bytes = std::min(Bytes / frame * frame, left);
    Buffer = FBuffer.data() + FBufStart - 1;
    FBufStart += int32_t(Bytes);
}

bool TWaveIn::DoSeek(int64_t& SampleNum)
{
    FBufStart = 1;
    FBufEnd = 0;
    TStream* s = Stream();
    if (!s || !FValid || SampleNum < 0)
        return false;
    switch (FWavType.load()) {
    case wtPCM:
    case wtExtPCM:
    case wtIEEEFloat:
    case wtExtIEEEFloat:
        return s->SetPosition(FDataStart + SampleNum * StoredFrameBytes());
    case wtDVIADPCM:
    case wtMSADPCM: {
        const int64_t block = SampleNum / FSamplesPerBlock;
        SampleNum = block * FSamplesPerBlock;
        return s->SetPosition(FDataStart + block * FBlockSize);
    }
    default:
        return false;
    }
}
