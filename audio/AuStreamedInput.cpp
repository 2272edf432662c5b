#include "audio/AuStreamedInput.h"

TAuStreamedInput::TAuStreamedInput(QObject* Owner) : TAuInput(Owner) {}

TAuStreamedInput::~TAuStreamedInput()
{
    ReleaseReaders();
}

void TAuStreamedInput::SetStream(TStream* Value)
{
    FOwnedStream.reset();
    FStream = Value;
    FStreamAssigned = Value != nullptr;
}

void TAuStreamedInput::AdoptStream(std::unique_ptr<TStream> Value)
{
    FOwnedStream = std::move(Value);
    FStream = FOwnedStream.get();
    FStreamAssigned = false;
}

void TAuStreamedInput::ReleaseOwnedStream()
{
    if (FStreamAssigned)
        return;
    FOwnedStream.reset();
    FStream = nullptr;
}

void TAuStreamedInput::Account(uint32_t& Bytes, bool Cut)
{
    if (Bytes == 0) {
        FEndOfStream = true;
        return;
    }
    FPosition += Bytes;
    const int64_t size = FSize;
    if (size > 0 && FPosition >= size) {
        FEndOfStream = true;
        if (Cut && FPosition > size) {
            const int64_t excess = FPosition - size;
            Bytes = excess >= int64_t(Bytes) ? 0 : Bytes - uint32_t(excess);
            FPosition = size;
        }
    }
}

void TAuStreamedInput::ReadSource(void*& Buffer, uint32_t& Bytes)
{
    const uint32_t requested = Bytes;
    if (!FEndOfStream) {
        DoGetData(Buffer, Bytes);
        Account(Bytes, true);
        // The last block of the range is delivered before a loop starts over.
        if (Bytes > 0 || !FLoop)
            return;
    } else if (!FLoop) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    // Loop: start over at the beginning of the range (an empty range stays empty).
    if (FSize == 0) {
        FEndOfStream = true;
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    FEndOfStream = false;
    int64_t start = FStartSample;
    DoSeek(start);
    FPosition = 0;
    Bytes = requested;
    DoGetData(Buffer, Bytes);
    Account(Bytes, true);
}
