#include "audio/AuConverter.h"

TAuConverter::TAuConverter(QObject* Owner) : TAuInput(Owner) {}

TAuConverter::~TAuConverter() = default;

void TAuConverter::SetInput(TAuInput* Value)
{
    if (Value == this)
        return;
    std::lock_guard lock(FLock);
    if (FBusy) {
        if (TAuInput* old = FInput.data())
            old->Flush();
        if (Value)
            Value->Init();
    }
    FInput = Value;
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
