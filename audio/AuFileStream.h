#pragma once
// A file stream on a POSIX file descriptor, opened by a file name and a 16-bit mode:
//   0xFFFF          create or truncate for reading and writing, no sharing;
//   otherwise       open an existing file, access from Mode & 3 (0 read, 1 write,
//                   2 read and write), sharing from (Mode & 0xF0) >> 4 (0/1 none,
//                   2 others may read, 3 others may write, 4 others may read and write).
// Sharing is enforced between cooperating processes with advisory flock() locks: an
// exclusive lock when others may not write, a shared one for a reader that lets others
// read. Two writers of the same file therefore never both succeed, and readers that let
// others read never block each other. Failures raise EAuException with the system's text.
#include "audio/AuStream.h"
#include <QString>

class TAuFileStream : public TStream
{
public:
    static constexpr uint16_t fmCreate = 0xFFFF;
    static constexpr uint16_t fmOpenRead = 0x0000;
    static constexpr uint16_t fmOpenWrite = 0x0001;
    static constexpr uint16_t fmOpenReadWrite = 0x0002;
    static constexpr uint16_t fmShareExclusive = 0x0010;
    static constexpr uint16_t fmShareDenyWrite = 0x0020;
    static constexpr uint16_t fmShareDenyRead = 0x0030;
    static constexpr uint16_t fmShareDenyNone = 0x0040;

    TAuFileStream(const QString& FileName, uint16_t Mode);
    ~TAuFileStream() override;
    TAuFileStream(const TAuFileStream&) = delete;
    TAuFileStream& operator=(const TAuFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    bool SetSize(int64_t size) override;

    // Copies Count bytes from Source's position to this stream's inside the kernel (no
    // pass through user memory), both positions moving on; the count copied, -1 when the
    // system cannot copy between the two files (nothing copied then).
    int64_t CopyFrom(TAuFileStream& Source, int64_t Count);

    int Handle() const { return FHandle; }
    // Hands the descriptor (and its lock) to the caller; the stream no longer closes it.
    int TakeHandle();
    const QString& FileName() const { return FFileName; }

private:
    QString FFileName;
    int FHandle = -1;
    // The descriptor's offset as this stream moved it (-1: ask the system), so that the
    // readers' and writers' position checks between blocks cost no system call.
    int64_t FOffset = -1;
};
