#include "audio/AuFileStream.h"
#include "audio/AuException.h"
#include "platform/OutputFile.h"
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void RaiseOsError(int err)
{
    throw EAuException(QString::fromLocal8Bit(std::strerror(err)));
}

// The flock() operation that stands for a sharing mode, or 0 for no lock.
int LockFor(bool writes, int share)
{
    const bool othersMayWrite = share == 3 || share == 4;
    if (othersMayWrite)
        return 0;
    if (!writes && share == 2)
        return LOCK_SH;     // readers that let others read share the file
    return LOCK_EX;
}

} // namespace

TAuFileStream::TAuFileStream(const QString& FileName, uint16_t Mode)
    : FFileName(FileName)
{
    const QByteArray path = QFile::encodeName(FileName);
    int flags = O_CLOEXEC;
    bool writes = true;
    int share = 0;
    if (Mode == fmCreate) {
        // Truncation waits until the lock is held, so a file another writer holds is
        // never cut short behind its back.
        flags |= O_RDWR | O_CREAT;
    } else {
        switch (Mode & 3) {
        case 0: flags |= O_RDONLY; writes = false; break;
        case 1: flags |= O_WRONLY; break;
        default: flags |= O_RDWR; break;
        }
        share = (Mode & 0xF0) >> 4;
    }
    if (path.isEmpty())
        RaiseOsError(ENOENT);
    int fd;
    do {
        fd = ::open(path.constData(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int err = errno;
        if (Mode == fmCreate) {
            // A file that cannot be made is named with the plain cause; a part file by the
            // file it would become.
            QString name = FileName;
            if (name.endsWith(QLatin1String(".part")))
                name.chop(5);
            throw EAuException(WriteErrorText(err, name));
        }
        RaiseOsError(err);
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        RaiseOsError(EISDIR);
    }
    if (const int lock = LockFor(writes, share)) {
        if (::flock(fd, lock | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            RaiseOsError(err);
        }
    }
    // An empty file is left alone: cutting it to 0 anyway makes ext4 write back all the
    // data when the file is closed (its guard for files rewritten in place).
    struct stat now {};
    const bool empty = ::fstat(fd, &now) == 0 && now.st_size == 0;
    if (Mode == fmCreate && !empty && ::ftruncate(fd, 0) != 0) {
        const int err = errno;
        ::close(fd);
        RaiseOsError(err);
    }
    FHandle = fd;
}

TAuFileStream::~TAuFileStream()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

int TAuFileStream::TakeHandle()
{
    const int fd = FHandle;
    FHandle = -1;
    FOffset = -1;
    return fd;
}

int64_t TAuFileStream::Read(void* buffer, int64_t count)
{
    if (FHandle < 0) {
        errno = EBADF;
        return -1;
    }
    int64_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(FHandle, p + done, size_t(count - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            FOffset = -1;
            return done > 0 ? done : -1;
        }
        if (n == 0)
            break;
        done += n;
    }
    if (FOffset >= 0)
        FOffset += done;
    return done;
}

int64_t TAuFileStream::Write(const void* buffer, int64_t count)
{
    if (FHandle < 0) {
        errno = EBADF;
        return -1;
    }
    int64_t done = 0;
    auto* p = static_cast<const char*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(FHandle, p + done, size_t(count - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            FOffset = -1;
            return done > 0 ? done : -1;
        }
        done += n;
    }
    if (FOffset >= 0)
        FOffset += done;
    return done;
}

int64_t TAuFileStream::CopyFrom(TAuFileStream& Source, int64_t Count)
{
    if (FHandle < 0 || Source.FHandle < 0)
        return -1;
    int64_t done = 0;
    while (done < Count) {
        const ssize_t n = ::copy_file_range(Source.FHandle, nullptr, FHandle, nullptr, size_t(Count - done), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // Not possible between these files (another file system on an older kernel,
            // a special file): the caller copies through memory instead.
            if (done == 0)
                return -1;
            break;
        }
        if (n == 0)
            break;
        done += n;
    }
    if (Source.FOffset >= 0)
        Source.FOffset += done;
    if (FOffset >= 0)
        FOffset += done;
    return done;
}

int64_t TAuFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    if (FHandle < 0)
        return -1;
    if (origin == TSeekOrigin::Current && offset == 0 && FOffset >= 0)
        return FOffset;
    const int whence = origin == TSeekOrigin::Begin ? SEEK_SET
                       : origin == TSeekOrigin::Current ? SEEK_CUR : SEEK_END;
    FOffset = int64_t(::lseek(FHandle, off_t(offset), whence));
    return FOffset;
}

int64_t TAuFileStream::Size()
{
    struct stat st {};
    if (FHandle < 0 || ::fstat(FHandle, &st) != 0)
        return -1;
    return int64_t(st.st_size);
}

bool TAuFileStream::SetSize(int64_t size)
{
    return FHandle >= 0 && size >= 0 && ::ftruncate(FHandle, off_t(size)) == 0;
}
