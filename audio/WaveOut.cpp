#include "audio/WaveOut.h"
#include "audio/Adpcm.h"
#include "audio/AuFileStream.h"
#include <QFileInfo>
#include <algorithm>
#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "WAV data are little-endian like the host");

namespace {

// The existing header is looked for in this many bytes when appending.
constexpr int64_t AppendScanLimit = 4096;

const char* const WriteError = "Error writing wave file";

uint32_t ChannelMask(int Channels)
{
    switch (Channels) {
    case 1: return 1;
    case 2: return 3;
    case 6: return 63;
    case 8: return 255;
    default: return 0;
    }
}

// The common start of the plain and extensible headers.
void PutFmt(uint8_t* h, uint32_t FmtSize, uint16_t Tag, int Channels, int Rate, int Bits)
{
    const int align = Bits * Channels / 8;
    std::memcpy(h, "RIFF", 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Wav::Put32(h + 16, FmtSize);
    Wav::Put16(h + 20, Tag);
    Wav::Put16(h + 22, uint16_t(Channels));
    Wav::Put32(h + 24, uint32_t(Rate));
    Wav::Put32(h + 28, uint32_t(Rate) * uint32_t(align));
    Wav::Put16(h + 32, uint16_t(align));
    Wav::Put16(h + 34, uint16_t(Bits));
}

} // namespace

TWaveOut::TWaveOut(QObject* Owner) : TAuFileOut(Owner) {}

TWaveOut::~TWaveOut()
{
    Stop(false);
}

void TWaveOut::SetWavType(TWavType Value)
{
    if (Busy() || (Value != wtPCM && Value != wtDVIADPCM))
        return;
    FWavType = Value;
}

void TWaveOut::SetBlockSize(uint16_t Value)
{
    if (Busy() || Value == 0 || Value % 4 != 0)
        return;
    FBlockSize = Value;
}

void TWaveOut::SetFileMode(TFileOutputMode Value)
{
    FFileMode = Value;
}

void TWaveOut::WriteAll(const void* Data, int64_t Bytes)
{
    errno = 0;
    if (!Stream()->WriteBuffer(Data, Bytes))
        RaiseWriteError(WriteError);
}

void TWaveOut::Patch(int64_t Offset, uint32_t Value)
{
    uint8_t b[4];
    Wav::Put32(b, Value);
    if (!Stream()->SetPosition(Offset))
        throw EAuException(WriteError);
    WriteAll(b, 4);
}

TWaveOut::TExisting TWaveOut::ReadExisting(TStream& S)
{
    TExisting e;
    std::vector<uint8_t> buf(static_cast<size_t>(AppendScanLimit));
    if (!S.SetPosition(0))
        return e;
    const int64_t got = std::max<int64_t>(0, S.Read(buf.data(), AppendScanLimit));
    const uint8_t* p = buf.data();
    int64_t i = 0;
    // "RIFF" and "WAVE" may follow junk; the window slides by one byte.
    while (i + 4 <= got && !Wav::CodeIs(p + i, "RIFF"))
        ++i;
    i += 8;
    while (i + 4 <= got && !Wav::CodeIs(p + i, "WAVE"))
        ++i;
    i += 4;
    TWavType type = wtUnsupported;
    while (i + 8 <= got) {
        const uint8_t* code = p + i;
        const int64_t len = Wav::Get32(p + i + 4);
        const int64_t body = i + 8;
        if (Wav::CodeIs(code, "fmt ")) {
            if (body + 16 > got)
                return e;
            const uint16_t tag = Wav::Get16(p + body);
            if (tag == Wav::TagPCM)
                type = wtPCM;
            else if (tag == Wav::TagDVIADPCM)
                type = wtDVIADPCM;
            else
                return e;
            e.Channels = Wav::Get16(p + body + 2);
            e.SampleRate = Wav::Get32(p + body + 4);
            e.BlockAlign = Wav::Get16(p + body + 12);
            e.BitsPerSample = Wav::Get16(p + body + 14);
        } else if (Wav::CodeIs(code, "fact") && type == wtDVIADPCM && e.FactOffset < 0) {
            if (body + 4 > got)
                return e;
            e.FactOffset = body;
            e.Fact = Wav::Get32(p + body);
        } else if (Wav::CodeIs(code, "data") && type != wtUnsupported) {
            e.DataSizeOffset = i + 4;
            e.DataSize = len;
            e.DataStart = body;
            e.Type = type;
            return e;
        }
        i = body + len;
    }
    return e;
}

void TWaveOut::PrepareAppend(TAuInput* In)
{
    TStream* s = Stream();
    const int64_t length = s->Size();
    FExisting = ReadExisting(*s);
    TExisting& e = FExisting;
    // Only audio at the end of the file can be extended: a chunk after the data, an IMA
    // file without its frame count or one that does not end on a whole block would come
    // out damaged.
    const int64_t dataEnd = e.DataStart + e.DataSize + (e.DataSize & 1);
    bool appendable = e.Type != wtUnsupported && dataEnd >= length;
    if (appendable && e.Type == wtDVIADPCM) {
        const int frames = Adpcm::ImaFramesPerBlock(e.BlockAlign, e.Channels);
        appendable = e.FactOffset >= 0 && frames > 0 && e.BitsPerSample == 4 && e.BlockAlign % 4 == 0
                     && (length - e.DataStart) % e.BlockAlign == 0;
    }
    if (!appendable)
        throw EAuException("Cannot append data to this .wav file.");
    int64_t end = length;
    if (e.Type == wtPCM && e.DataStart + e.DataSize < length) {
        // A pad byte after an odd-sized data chunk would become a sample: drop it.
        end = e.DataStart + e.DataSize;
    }
    e.DataSize = end - e.DataStart;     // the audio really there
    FWavType = e.Type;
    const bool sameRate = e.SampleRate == uint32_t(In->SampleRate()) && e.Channels == In->Channels();
    if (e.Type == wtPCM) {
        if (!sameRate || e.BitsPerSample != In->BitsPerSample())
            throw EAuException("Cannot append data in different audio format.");
        FHeaderSize = e.DataStart;
    } else {
        if (In->BitsPerSample() != 16)
            throw EAuException("Cannot encode 8 bit sound into ADPCM.");
        if (!sameRate)
            throw EAuException("Cannot append data in different audio format.");
        FBlockSize = uint16_t(e.BlockAlign);
        FHeaderSize = e.DataStart;
    }
    if ((end != length && !s->SetSize(end)) || s->Seek(0, TSeekOrigin::End) != end)
        throw EAuException(WriteError);
}

void TWaveOut::WriteNewHeader(TAuInput* In)
{
    const int ch = In->Channels();
    const int bits = In->BitsPerSample();
    const int rate = In->SampleRate();
    const int64_t size = In->Size();
    uint8_t h[ExtHeaderSize] = {};
    switch (FWavType.load()) {
    case wtDVIADPCM: {
        const int b = FBlockSize;
        const int64_t n = size > 0 ? size / 2 / ch : 0;
        // Every started block is written, so the data size counts them all.
        const int64_t data = (n + FFramesPerBlock - 1) / FFramesPerBlock * b;
        std::memcpy(h, "RIFF", 4);
        Wav::Put32(h + 4, Wav::Clamp32(data + 52));
        std::memcpy(h + 8, "WAVEfmt ", 8);
        Wav::Put32(h + 16, 20);
        Wav::Put16(h + 20, Wav::TagDVIADPCM);
        Wav::Put16(h + 22, uint16_t(ch));
        Wav::Put32(h + 24, uint32_t(rate));
        Wav::Put32(h + 28, uint32_t(rate / FFramesPerBlock * b));
        Wav::Put16(h + 32, uint16_t(b));
        Wav::Put16(h + 34, 4);
        Wav::Put16(h + 36, 2);
        Wav::Put16(h + 38, uint16_t(FFramesPerBlock));
        std::memcpy(h + 40, "fact", 4);
        Wav::Put32(h + 44, 4);
        Wav::Put32(h + 48, Wav::Clamp32(n));
        std::memcpy(h + 52, "data", 4);
        Wav::Put32(h + 56, Wav::Clamp32(data));
        FHeaderSize = DviHeaderSize;
        FStepIndex[0] = FStepIndex[1] = 0;
        break;
    }
    case wtExtPCM: {
        const uint32_t data = size < 0 ? 0xFFFFFFFFu : Wav::Clamp32(size);
        PutFmt(h, 40, Wav::TagExtensible, ch, rate, bits);
        Wav::Put32(h + 4, size < 0 ? 0xFFFFFFFFu : Wav::Clamp32(size + 60));
        Wav::Put16(h + 36, 22);
        Wav::Put16(h + 38, uint16_t(bits));
        Wav::Put32(h + 40, ChannelMask(ch));
        std::memcpy(h + 44, Wav::SubFormatPCM, 16);
        std::memcpy(h + 60, "data", 4);
        Wav::Put32(h + 64, data);
        FHeaderSize = ExtHeaderSize;
        FAnnounced = size;
        break;
    }
    default: {
        const uint32_t data = size < 0 ? 0xFFFFFFFFu : Wav::Clamp32(size);
        PutFmt(h, 16, Wav::TagPCM, ch, rate, bits);
        Wav::Put32(h + 4, size < 0 ? 0xFFFFFFFFu : Wav::Clamp32(size + 36));
        std::memcpy(h + 36, "data", 4);
        Wav::Put32(h + 40, data);
        FHeaderSize = PcmHeaderSize;
        FAnnounced = size;
        break;
    }
    }
    WriteAll(h, FHeaderSize);
}

void TWaveOut::Prepare()
{
    FEndOfInput = false;
    FTransfer = true;
    FAppending = false;
    FExisting = TExisting{};
    FAnnounced = -1;
    FFramesEncoded = 0;
    FPrepared = false;
    if (!StreamAssigned() && FileName().isEmpty())
        throw EAuException("File name is not assigned.");
    TAuInput* in = Input();
    in->Init();
    try {
        FChannels = in->Channels();
        if ((FChannels > 2 || in->BitsPerSample() > 16) && !FCreateNonMsHeaders)
            FWavType = wtExtPCM;
        // The file is opened only now, so that an input that cannot start leaves an
        // existing file as it was.
        if (!StreamAssigned()) {
            if (FFileMode == foAppend && QFileInfo::exists(FileName()))
                AdoptStream(std::make_unique<TAuFileStream>(FileName(), uint16_t(ShareMode() | TAuFileStream::fmOpenReadWrite)));
            FAppending = Stream() && Stream()->Size() > 0;
        } else {
            FAppending = FFileMode == foAppend && Stream()->Size() > 0;
        }
        if (FAppending)
            PrepareAppend(in);
        if (FWavType == wtDVIADPCM) {
            if (in->BitsPerSample() != 16)
                throw EAuException("Cannot encode 8 bit sound into ADPCM.");
            if (FChannels < 1 || FChannels > 2)
                throw EAuException("Cannot encode more than 2 channels into ADPCM.");
            FFramesPerBlock = Adpcm::ImaFramesPerBlock(FBlockSize, FChannels);
            if (FFramesPerBlock == 0)
                throw EAuException("The ADPCM block size is too small.");
            FSamples.assign(size_t(FFramesPerBlock) * FChannels * 2, 0);
            FBlock.assign(FBlockSize, 0);
        }
        if (!FAppending) {
            if (!Stream())
                AdoptStream(std::make_unique<TAuFileStream>(TargetFile(), TAuFileStream::fmCreate));
            else if (!Stream()->SetSize(0) || !Stream()->SetPosition(0))
                throw EAuException(WriteError);
            WriteNewHeader(in);
        }
        FPrepared = true;
    } catch (...) {
        try {
            in->Flush();
        } catch (...) {
        }
        ReleaseOwnedStream();
        FinishTarget(false);
        throw;
    }
}

bool TWaveOut::DoOutput(bool Abort)
{
    if (Abort || FEndOfInput)
        return false;
    TStream* s = Stream();
    if (FWavType == wtDVIADPCM) {
        auto* bytes = FSamples.data();
        const int want = int(FSamples.size());
        std::fill(FSamples.begin(), FSamples.end(), uint8_t(0));
        int got = 0;
        while (got < want) {
            const int n = Input()->CopyData(bytes + got, want - got);
            if (n == 0) {
                FEndOfInput = true;
                break;
            }
            got += n;
        }
        const int frames = (got + 2 * FChannels - 1) / (2 * FChannels);
        if (frames == 0)
            return false;
        if (s->Position() + FBlockSize > Wav::MaxChunkSize)
            throw EAuException("The wave file would exceed 4 GB.");
        std::fill(FBlock.begin(), FBlock.end(), uint8_t(0));
        Adpcm::ImaEncodeBlock(reinterpret_cast<const int16_t*>(bytes), FChannels, FBlockSize, FBlock.data(), FStepIndex);
        WriteAll(FBlock.data(), FBlockSize);
        FFramesEncoded += frames;
        return true;
    }
    // A plain PCM file read as stored goes from file to file inside the system.
    if (FTransfer) {
        auto* file = dynamic_cast<TAuFileStream*>(s);
        const int64_t at = s->Position();
        if (file && at >= 0 && at + TransferStepBytes <= Wav::MaxChunkSize) {
            const int64_t moved = Input()->TransferTo(*file, TransferStepBytes);
            if (moved >= 0)
                return moved > 0;
        }
        FTransfer = false;
    }
    void* data = nullptr;
    uint32_t n = PcmStepBytes;
    Input()->GetData(data, n);
    if (n == 0)
        return false;
    if (s->Position() + n > Wav::MaxChunkSize)
        throw EAuException("The wave file would exceed 4 GB.");
    WriteAll(data, n);
    return true;
}

void TWaveOut::Done()
{
    // A failed Prepare has already closed the file and flushed the input.
    if (!FPrepared)
        return;
    FPrepared = false;
    std::exception_ptr error;
    try {
        TStream* s = Stream();
        int64_t length = s ? s->Size() : -1;
        if (length < 0)
            throw EAuException(WriteError);
        const TWavType type = FWavType;
        // A fresh file whose input delivered less than it announced is filled up with
        // silence to the announced size, unless the run was stopped or failed.
        const bool complete = !FAppending && FAnnounced >= 0 && !Stopped() && ExceptionMessage().isEmpty();
        if (complete && type != wtDVIADPCM && length - FHeaderSize < FAnnounced) {
            std::vector<uint8_t> zeros(PcmStepBytes, 0);
            if (s->Seek(0, TSeekOrigin::End) != length)
                throw EAuException(WriteError);
            for (int64_t left = FAnnounced - (length - FHeaderSize); left > 0;) {
                const int64_t n = std::min<int64_t>(left, int64_t(zeros.size()));
                WriteAll(zeros.data(), n);
                left -= n;
            }
            length = s->Size();
        }
        // The header always ends up with the sizes of what the file holds.
        const int64_t data = length - FHeaderSize;
        if (type == wtDVIADPCM) {
            const int b = FBlockSize;
            if (FAppending) {
                const int64_t oldBlocks = FExisting.DataSize / b;
                Patch(FExisting.DataSizeOffset, Wav::Clamp32(data));
                // The frames of the old blocks (a padded last block included) and the
                // frames taken from the input since.
                const int64_t frames = FFramesEncoded == 0 ? int64_t(FExisting.Fact) : oldBlocks * FFramesPerBlock + FFramesEncoded;
                Patch(FExisting.FactOffset, Wav::Clamp32(frames));
            } else {
                Patch(48, Wav::Clamp32(FFramesEncoded));
                Patch(56, Wav::Clamp32(data));
            }
        } else if (FAppending) {
            Patch(FExisting.DataSizeOffset, Wav::Clamp32(data));
        } else {
            Patch(FHeaderSize - 4, Wav::Clamp32(data));
        }
        Patch(4, Wav::Clamp32(length - 8));
    } catch (...) {
        error = std::current_exception();
    }
    const bool complete = !error && !Stopped() && ExceptionMessage().isEmpty();
    ReleaseOwnedStream();
    if (TAuInput* in = Input())
        in->Flush();
    if (error) {
        FinishTarget(false);
        std::rethrow_exception(error);
    }
    FinishTarget(complete);
}
