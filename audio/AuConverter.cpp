#include "audio/AuConverter.h"

TAuConverter::TAuConverter(QObject* Owner) : TAuInput(Owner) {}

TAuConverter::~TAuConverter()
{
    ReleaseReaders();
    TChainGuard lock(*this);
    if (TAuInput* in = FInput.data())
        in->RemoveReader({nullptr, this});
    FInput = nullptr;
    FBelow = nullptr;
}

void TAuConverter::Link(TAuInput* Value)
{
    if (TAuInput* old = FInput.data())
        old->RemoveReader({nullptr, this});
    FInput = Value;
    FBelow.store(Value, std::memory_order_release);
    if (Value)
        Value->AddReader({nullptr, this});
}

void TAuConverter::SetInput(TAuInput* Value)
{
    if (Value == this)
        return;
    {
        TChainGuard lock(*this);
        TAuInput* old = FInput.data();
        if (FBusy && old)
            old->Flush();
        FPendingInput = FBusy && Value;
        if (old != Value)
            Link(Value);
    }
    // The chain through Value now; a reader that took it first has started Value already.
    TChainGuard lock(*this);
    StartPendingInput();
}

void TAuConverter::StartPendingInput()
{
    if (!FPendingInput)
        return;
    FPendingInput = false;
    if (TAuInput* in = FInput.data(); in && FBusy)
        in->Init();
}

void TAuConverter::ForgetInput(TAuInput* Dying)
{
    // A read in progress on another thread ends before the input is let go.
    TChainGuard lock(*this);
    if (FInput.data() == Dying) {
        FInput = nullptr;
        FBelow = nullptr;
        FPendingInput = false;
    }
}

void TAuConverter::DoPause()
{
    if (TAuInput* in = Input())
        in->DoPause();
}

void TAuConverter::DoResume()
{
    if (TAuInput* in = Input())
        in->DoResume();
}

int TAuConverter::GetBitsPerSample()
{
    TAuInput* in = Input();
    if (!in)
        return 0;
    const int bits = in->BitsPerSample();
    return FullBitsFlag() ? bits : (bits & ~0x80);
}

int TAuConverter::GetChannels()
{
    TAuInput* in = Input();
    return in ? in->Channels() : 0;
}

int TAuConverter::GetSampleRate()
{
    TAuInput* in = Input();
    return in ? in->SampleRate() : 0;
}

void TAuConverter::ReadSource(void*& Buffer, uint32_t& Bytes)
{
    StartPendingInput();
    if (FEndOfStream) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    DoGetData(Buffer, Bytes);
    if (Bytes == 0) {
        FEndOfStream = true;
        return;
    }
    FPosition += Bytes;
    const int64_t size = FSize;
    if (size > 0 && FPosition > size) {
        const int64_t excess = FPosition - size;
        Bytes = excess >= int64_t(Bytes) ? 0 : Bytes - uint32_t(excess);
        FPosition = size;
        FEndOfStream = true;
    }
}
