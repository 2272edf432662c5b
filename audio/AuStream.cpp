#include "audio/AuStream.h"
#include <algorithm>
#include <cstring>

int64_t TStream::Size()
{
    const int64_t here = Position();
    if (here < 0)
        return -1;
    const int64_t end = Seek(0, TSeekOrigin::End);
    Seek(here, TSeekOrigin::Begin);
    return end;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || FPosition >= FData.size())
        return 0;
    const int64_t n = std::min<int64_t>(count, FData.size() - FPosition);
    std::memcpy(buffer, FData.constData() + FPosition, size_t(n));
    FPosition += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    if (FPosition > FData.size())
        SetSize(FPosition);                  // a gap after a seek past the end reads as zeros
    if (FPosition + count > FData.size())
        FData.resize(FPosition + count);
    std::memcpy(FData.data() + FPosition, buffer, size_t(count));
    FPosition += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = 0;
    if (origin == TSeekOrigin::Current)
        base = FPosition;
    else if (origin == TSeekOrigin::End)
        base = FData.size();
    if (base + offset < 0)
        return -1;
    FPosition = base + offset;
    return FPosition;
}

bool TMemoryStream::SetSize(int64_t size)
{
    if (size < 0)
        return false;
    const qsizetype old = FData.size();
    FData.resize(size);
    if (size > old)
        std::memset(FData.data() + old, 0, size_t(size - old));
    FPosition = std::min(FPosition, size);
    return true;
}
