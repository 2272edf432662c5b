#include "audio/AuInput.h"
#include "audio/AuConverter.h"
#include "audio/AuOutput.h"
#include <algorithm>
#include <cstring>

TAuInput::TAuInput(QObject* Owner) : QObject(Owner) {}

TAuInput::~TAuInput()
{
    ReleaseReaders();
}

void TAuInput::AddReader(const TReader& Reader)
{
    std::lock_guard lock(FReadersLock);
    if (std::find(FReaders.begin(), FReaders.end(), Reader) == FReaders.end())
        FReaders.push_back(Reader);
}

void TAuInput::RemoveReader(const TReader& Reader)
{
    std::lock_guard lock(FReadersLock);
    std::erase(FReaders, Reader);
}

std::vector<TAuInput::TReader> TAuInput::Readers()
{
    std::lock_guard lock(FReadersLock);
    return FReaders;
}

void TAuInput::StopOutputsAbove(std::vector<const TAuInput*>& Seen)
{
    if (std::find(Seen.begin(), Seen.end(), this) != Seen.end())
        return;
    Seen.push_back(this);
    for (const TReader& r : Readers()) {
        if (r.Output) {
            // An idle output no longer touches its input; its undelivered OnDone stays.
            if (r.Output->Busy())
                r.Output->Stop(false);
        } else
            r.Converter->StopOutputsAbove(Seen);
    }
}

void TAuInput::ReleaseReaders()
{
    // First nothing may read any more (the outputs' Done still finds this input whole),
    // then the readers let go of it.
    std::vector<const TAuInput*> seen;
    StopOutputsAbove(seen);
    std::vector<TReader> readers;
    {
        std::lock_guard lock(FReadersLock);
        readers.swap(FReaders);
    }
    for (const TReader& r : readers) {
        if (r.Output)
            r.Output->ForgetInput(this);
        else
            r.Converter->ForgetInput(this);
    }
}

TAuInput* TAuInput::ChainRoot()
{
    TAuInput* root = this;
    while (TAuInput* below = root->FBelow.load(std::memory_order_acquire))
        root = below;
    return root;
}

std::recursive_mutex& TAuInput::LockChain()
{
    for (;;) {
        TAuInput* root = ChainRoot();
        root->FLock.lock();
        // A relink between the walk and the lock moved this input to another chain.
        if (ChainRoot() == root)
            return root->FLock;
        root->FLock.unlock();
    }
}

void TAuInput::Init()
{
    TChainGuard lock(*this);
    FPendingInput = false;
    FEndOfStream = false;
    try {
        DoInit();
    } catch (const std::exception& e) {
        FEndOfStream = true;
        throw EAuException(ExceptionText(e));
    }
}

void TAuInput::Flush()
{
    TChainGuard lock(*this);
    EmptyReadAhead();
    DoFlush();
}

bool TAuInput::ServeReadAhead(void*& Buffer, uint32_t& Bytes)
{
    if (FPrefetchCount == 0)
        return false;
    const uint32_t n = std::min(Bytes, FPrefetchCount - FPrefetchOffset);
    Buffer = FPrefetchBuf.data() + FPrefetchOffset;
    Bytes = n;
    FPrefetchOffset += n;
    FPosition += n;
    if (FPrefetchOffset >= FPrefetchCount)
        EmptyReadAhead();
    return true;
}

void TAuInput::ReadSource(void*& Buffer, uint32_t& Bytes)
{
    DoGetData(Buffer, Bytes);
}

void TAuInput::GetData(void*& Buffer, uint32_t& Bytes)
{
    TChainGuard lock(*this);
    if (ServeReadAhead(Buffer, Bytes))
        return;
    ReadSource(Buffer, Bytes);
    if (Bytes == 0)
        Buffer = nullptr;
}

int TAuInput::CopyData(void* Buffer, int BufferSize)
{
    if (BufferSize <= 0)
        return 0;
    void* data = nullptr;
    uint32_t bytes = uint32_t(BufferSize);
    GetData(data, bytes);
    if (bytes > 0)
        std::memcpy(Buffer, data, bytes);
    return int(bytes);
}

int TAuInput::FillBuffer(void* Buffer, int BufferSize, bool& EndOfInput)
{
    EndOfInput = false;
    int done = 0;
    auto* out = static_cast<uint8_t*>(Buffer);
    while (done < BufferSize) {
        const int n = CopyData(out + done, BufferSize - done);
        if (n == 0) {
            EndOfInput = true;
            break;
        }
        done += n;
    }
    return done;
}

int64_t TAuInput::DoTransferTo(TAuFileStream&, int64_t)
{
    return -1;
}

int64_t TAuInput::TransferTo(TAuFileStream& Out, int64_t MaxBytes)
{
    TChainGuard lock(*this);
    if (FPrefetchCount != 0 || MaxBytes <= 0)
        return -1;
    return DoTransferTo(Out, MaxBytes);
}

void TAuInput::Prefetch(uint32_t Bytes)
{
    TChainGuard lock(*this);
    uint32_t start;
    uint32_t target = uint32_t(FPrefetchBuf.size());
    if (FPrefetchCount == 0) {
        if (FPrefetchBuf.size() < Bytes)
            FPrefetchBuf.resize(Bytes);
        start = 0;
        target = Bytes;
    } else if (FPrefetchCount < FPrefetchBuf.size()) {
        const uint32_t left = FPrefetchCount - FPrefetchOffset;
        std::memmove(FPrefetchBuf.data(), FPrefetchBuf.data() + FPrefetchOffset, left);
        FPrefetchCount = left;
        FPrefetchOffset = 0;
        start = left;
    } else {
        return;     // full
    }
    uint32_t got = 0;
    while (start + got < target) {
        void* data = nullptr;
        uint32_t bytes = target - start - got;
        ReadSource(data, bytes);
        if (bytes == 0)
            break;
        std::memcpy(FPrefetchBuf.data() + start + got, data, bytes);
        got += bytes;
    }
    if (got > 0) {
        FPrefetchCount = start + got;
        // Counted by ReadSource already; counted again when delivered.
        FPosition -= got;
    }
}

void TAuInput::ClearBuffer()
{
    TChainGuard lock(*this);
    std::fill(FPrefetchBuf.begin(), FPrefetchBuf.end(), uint8_t(0));
    FPrefetchCount = uint32_t(FPrefetchBuf.size());
    FPrefetchOffset = 0;
}

void TAuInput::Reset()
{
    try {
        Flush();
    } catch (...) {
    }
    FBusy = false;
}
