#include "audio/AuConverter.h"

TAuConverter::TAuConverter(QObject* Owner) : TAuInput(Owner) {}

TAuConverter::~TAuConverter()
{
    ReleaseReaders();
    std::lock_guard lock(FLock);
    if (TAuInput* in = FInput.data())
        in->RemoveReader({nullptr, this});
    FInput = nullptr;
}

void TAuConverter::SetInput(TAuInput* Value)
{
    if (Value == this)
        return;
    std::lock_guard lock(FLock);
    TAuInput* old = FInput.data();
    if (FBusy) {
        if (old)
            old->Flush();
        if (Value)
            Value->Init();
    }
    if (old == Value)
        return;
    if (old)
        old->RemoveReader({nullptr, this});
    FInput = Value;
    if (Value)
        Value->AddReader({nullptr, this});
}

void TAuConverter::ForgetInput(TAuInput* Dying)
{
    // A read in progress on another thread ends before the input is let go.
    std::lock_guard lock(FLock);
    if (FInput.data() == Dying)
        FInput = nullptr;
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
