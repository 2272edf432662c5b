#include "audio/AuFileIn.h"
#include "audio/AuConverter.h"
#include "audio/AuException.h"
#include "audio/AuFileStream.h"
#include <algorithm>
#include <cmath>

TAuFileIn::TAuFileIn(QObject* Owner) : TAuStreamedInput(Owner) {}

TAuFileIn::~TAuFileIn()
{
    ReleaseReaders();
}

void TAuFileIn::SetFileName(const QString& Value)
{
    CloseFile();
    FFileName = Value;
}

void TAuFileIn::SetStream(TStream* Value)
{
    CloseFile();
    TAuStreamedInput::SetStream(Value);
}

int TAuFileIn::GetBitsPerSample()
{
    OpenFile();
    return FBPS;
}

int TAuFileIn::GetChannels()
{
    OpenFile();
    return FChan;
}

int TAuFileIn::GetSampleRate()
{
    OpenFile();
    return FSR;
}

int TAuFileIn::GetTotalTime()
{
    OpenFile();
    const int64_t bytesPerSecond = int64_t(FSR) * FChan * (FBPS / 8);
    if (bytesPerSecond <= 0)
        return 0;
    return int(std::nearbyint(double(FSize) / double(bytesPerSecond)));
}

int64_t TAuFileIn::GetTotalSamples()
{
    OpenFile();
    const int frame = FChan * FBPS / 8;
    FTotalSamples = (FSize > 0 && frame > 0) ? FSize / frame : -1;
    return FTotalSamples;
}

void TAuFileIn::DoInit()
{
    if (FBusy)
        throw EAuException("The component is Busy");
    if (!Stream() && FFileName.isEmpty())
        throw EAuException("The file name is not assigned");
    FBusy = true;
    FPosition = 0;
    try {
        OpenFile();
    } catch (...) {
        FBusy = false;      // a failed start leaves the source ready for another try
        throw;
    }
    FBufStart = 1;
    FBufEnd = 0;
    const int frame = FChan * FBPS / 8;
    if (!FValid || frame <= 0 || FSR <= 0) {
        FBPS = 8;
        FSR = 8000;
        FChan = 1;
        FTotalSamples = 0;
        FSize = 0;
        FTotalTime = 0;
        return;
    }
    FSampleSize = uint16_t(frame);
    FTotalSamples = FSize / frame;
    FTotalTime = int(FTotalSamples / FSR);
    if (FStartSample > 0) {
        Seek(0);
        FPosition = 0;
    }
    if (FStartSample <= 0 && FEndSample == -1)
        return;
    if (FEndSample > FTotalSamples)
        FEndSample = -1;
    const int64_t last = FEndSample == -1 ? FTotalSamples - 1 : int64_t(FEndSample);
    FTotalSamples = std::max<int64_t>(0, last - FStartSample + 1);
    FSize = FTotalSamples * frame;
    // An empty range delivers nothing (Size 0 alone would mean "no limit").
    if (FTotalSamples == 0)
        FEndOfStream = true;
}

void TAuFileIn::DoFlush()
{
    CloseFile();
    FStartSample = 0;
    FEndSample = -1;
    FBusy = false;
}

bool TAuFileIn::Valid()
{
    if (!Stream() && FFileName.isEmpty())
        return false;
    try {
        OpenFile();
    } catch (...) {
        FValid = false;
    }
    if (!FValid) {
        if (FOpened != 0) {
            try {
                CloseFile();
            } catch (...) {
            }
        }
        if (FOpened == 0)
            ReleaseOwnedStream();
    }
    return FValid;
}

void TAuFileIn::Reset()
{
    TAuStreamedInput::Reset();
    FOpened = 0;
}

bool TAuFileIn::Seek(int64_t SampleNum)
{
    const int64_t total = FBusy ? int64_t(FTotalSamples) : GetTotalSamples();
    if (SampleNum < 0 || (total > 0 && SampleNum > total))
        return false;
    std::lock_guard lock(FLock);
    if (FBusy) {
        EmptyReadAhead();
        int64_t reached = FStartSample + SampleNum;
        bool ok;
        try {
            ok = DoSeek(reached);
        } catch (...) {
            ok = false;
        }
        if (!ok)
            return false;
        FPosition = (reached - FStartSample) * FSampleSize;
        // There is data again after a seek back from the end.
        FEndOfStream = FSize > 0 && FPosition >= FSize;
        return true;
    }
    FStartSample = SampleNum;
    FPosition = SampleNum * std::max<int>(FChan * FBPS / 8, 0);
    FEndSample = -1;
    return true;
}

void TAuFileIn::Jump(int Offset)
{
    const int64_t size = FSize;
    if (size == 0)
        return;
    double ratio = double(FPosition) / double(size) + Offset / 1000.0;
    ratio = std::clamp(ratio, 0.0, 1.0);
    const int64_t total = FBusy ? int64_t(FTotalSamples) : GetTotalSamples();
    Seek(int64_t(std::nearbyint(double(total) * ratio)));
}

TAuTaggedFileIn::TAuTaggedFileIn(QObject* Owner)
    : TAuFileIn(Owner),
      FId3v1Tags(std::make_unique<TId3v1Tags>()),
      FId3v2Tags(std::make_unique<TId3v2Tags>()),
      FAPEv2Tags(std::make_unique<TAPEv2Tags>()),
      FCommonTags(std::make_unique<TCommonTags>())
{
}

TAuTaggedFileIn::~TAuTaggedFileIn()
{
    ReleaseReaders();
}

void JumpChain(TAuConverter* Converter, int Offset)
{
    TAuInput* input = Converter ? Converter->Input() : nullptr;
    while (auto conv = dynamic_cast<TAuConverter*>(input))
        input = conv->Input();
    if (auto file = dynamic_cast<TAuFileIn*>(input))
        file->Jump(Offset);
}

void TAuFileIn::OpenOwnStream()
{
    if (Stream())
        return;
    try {
        AdoptStream(std::make_unique<TAuFileStream>(
            FileName(), uint16_t(TAuFileStream::fmOpenRead | TAuFileStream::fmShareDenyWrite)));
    } catch (...) {
        FValid = false;
        throw EAuException("Failed to open stream");
    }
}
