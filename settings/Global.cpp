#include "settings/Global.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

QString TwoDigits(int n)
{
    return n > 9 ? QString::number(n) : QStringLiteral("0") + QString::number(n);
}

QString WithBackslash(const QString& path)
{
    if (path.isEmpty() || path.endsWith(u'/')) return path;
    return path + u'/';
}

// The literal path (no wildcard expansion): the size of any entry there, a folder included
// (its st_size); -1 when there is none.
int64_t FileSizeOf(const QString& path)
{
    if (path.isEmpty()) return -1;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return int64_t(st.st_size);
}

namespace {

// True when some process other than our probe descriptor has the file (same device and
// inode) open with write access. Every /proc/<pid>/fd entry we may look at is checked with
// stat(); processes and descriptors vanish while we scan and entries of other users are
// unreadable, so every failure just skips that entry.
bool OpenForWritingElsewhere(const struct stat& target, int probeFd)
{
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    const pid_t self = ::getpid();
    bool found = false;
    while (!found) {
        const dirent* pe = ::readdir(proc);
        if (!pe) break;
        char* end = nullptr;
        const long pid = std::strtol(pe->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        const std::string fdDir = std::string("/proc/") + pe->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) continue;
        const int fdDirFd = ::dirfd(fds);
        while (const dirent* fe = ::readdir(fds)) {
            const long fd = std::strtol(fe->d_name, &end, 10);
            if (fe->d_name[0] == '.' || *end != '\0') continue;
            if (pid == self && fd == probeFd) continue;
            struct stat st {};
            if (::fstatat(fdDirFd, fe->d_name, &st, 0) != 0) continue;
            if (st.st_dev != target.st_dev || st.st_ino != target.st_ino) continue;
            // Access mode from the descriptor's flags (octal) in fdinfo.
            const std::string info = std::string("/proc/") + pe->d_name + "/fdinfo/" + fe->d_name;
            const int infoFd = ::open(info.c_str(), O_RDONLY | O_CLOEXEC);
            if (infoFd < 0) continue;
            char buf[512];
            const ssize_t n = ::read(infoFd, buf, sizeof buf - 1);
            ::close(infoFd);
            if (n <= 0) continue;
            buf[n] = '\0';
            const char* flags = std::strstr(buf, "flags:");
            if (!flags) continue;
            const unsigned long mode = std::strtoul(flags + 6, nullptr, 8) & O_ACCMODE;
            if (mode == O_WRONLY || mode == O_RDWR) {
                found = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

} // namespace

// A file is in use when it exists and
//  (a) it cannot be opened for reading and writing (a folder, a read-only file system, no
//      permission), or
//  (b) someone holds a lock on it that conflicts with an exclusive one: an open-file-
//      description or POSIX record lock (F_OFD_SETLK) or a BSD lock (flock), or
//  (c) a descriptor of any process we can inspect (ours included, except the probe itself)
//      has it open for writing, found through /proc/<pid>/fd and /proc/<pid>/fdinfo.
// Linux has no share modes, so (b) and (c) stand in for "cannot be opened without sharing".
bool IsFileInUse(const QString& path)
{
    if (path.isEmpty()) return false;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) return false;

    const int fd = ::open(name.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno != ENOENT;

    bool inUse = false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    // Asks for a conflicting record lock without taking one; F_GETLK where the kernel has
    // no open-file-description locks (it sees the other processes' locks only).
    bool asked = ::fcntl(fd, F_OFD_GETLK, &lock) == 0;
    if (!asked) {
        lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        asked = ::fcntl(fd, F_GETLK, &lock) == 0;
    }
    if (asked) inUse = lock.l_type != F_UNLCK;
    if (!inUse) {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            inUse = errno == EWOULDBLOCK;
        else
            ::flock(fd, LOCK_UN);
    }
    struct stat opened {};
    if (!inUse && ::fstat(fd, &opened) == 0) inUse = OpenForWritingElsewhere(opened, fd);
    ::close(fd);
    return inUse;
}

// Waits on the monotonic clock, so a wait never depends on the time of day (and ends across
// midnight or a clock change). Sleeps most of the span, then yields for the last moment.
void DelayMs(int ms)
{
    if (ms < 1) return;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return;
        if (left > std::chrono::milliseconds(2))
            std::this_thread::sleep_for(left - std::chrono::milliseconds(1));
        else
            std::this_thread::yield();
    }
}

bool IsAudioCDDrive(int driveIndex)
{
    const TMediaState state = DriveMediaState(driveIndex);
    return state.DiscPresent && state.AudioDisc;
}

QString StripFileNameChars(const QString& text)
{
    static const QString bad = QStringLiteral("*/:<>?\\|");
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (!bad.contains(c)) out.append(c);
    return out;
}

bool CloseDiscHandle(HCDROM handle)
{
    return handle == 0 || CloseCDHandle(handle);
}

QString ProgramFolder()
{
    if (QCoreApplication::instance()) return WithBackslash(QCoreApplication::applicationDirPath());
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return exe.isEmpty() ? QString() : WithBackslash(QFileInfo(exe).absolutePath());
}

namespace {

constexpr int WAV_HEADER_SIZE = 44;
constexpr int NORMALIZE_BLOCK = 2048;

std::runtime_error IoError(const char* what, const QString& path, int err)
{
    return std::runtime_error(std::string(what) + " \"" + path.toStdString() + "\": " + std::strerror(err));
}

// Reads until `size` bytes or end of file; -1 on error.
ssize_t ReadFull(int fd, char* buf, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buf + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += size_t(n);
    }
    return ssize_t(done);
}

bool WriteFull(int fd, const char* buf, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, buf + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

} // namespace

// `path` with its extension replaced by ".nor" (appended when it has none).
QString NormalizeTempPath(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    QString temp = (dot > slash ? path.left(dot) : path) + QStringLiteral(".nor");
    if (temp == path) temp = path + QStringLiteral(".nor");   // never write over the source
    return temp;
}

// Nearest integer (halves to the even neighbour, the default rounding mode), then clamped:
// a gain above 1 must clip loud passages, not wrap them round into noise.
int16_t ScaleSample(int16_t s, float factor)
{
    const double v = std::nearbyint(double(s) * double(factor));
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    return int16_t(v);
}

void NormalizeWavFile(int percent, const QString& path)
{
    NormalizeWavFile(percent, path, TNormalizeProgress());
}

// Scales every 16-bit sample after the 44-byte header by percent/100 (ScaleSample) into
// "<name>.nor", then renames that over the original. Any failure before the rename removes
// the ".nor" file and leaves the original untouched; a failed rename keeps the scaled copy
// under ".nor". Both raise.
void NormalizeWavFile(int percent, const QString& path, const TNormalizeProgress& progress)
{
    const float factor = float(percent) / 100.0f;
    const QString tempPath = NormalizeTempPath(path);
    const QByteArray src = QFile::encodeName(path);
    const QByteArray dst = QFile::encodeName(tempPath);

    const int in = ::open(src.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw IoError("Cannot open", path, errno);
    struct stat st {};
    const mode_t mode = ::fstat(in, &st) == 0 ? (st.st_mode & 07777) : 0644;
    const int out = ::open(dst.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        throw IoError("Cannot create", tempPath, err);
    }

    auto fail = [&](const char* what, const QString& who, int err) {
        ::close(in);
        ::close(out);
        ::unlink(dst.constData());
        throw IoError(what, who, err);
    };

    char header[WAV_HEADER_SIZE];
    const ssize_t headerLen = ReadFull(in, header, sizeof header);
    if (headerLen < 0) fail("Cannot read", path, errno);
    if (!WriteFull(out, header, size_t(headerLen))) fail("Cannot write", tempPath, errno);

    const int64_t total = int64_t(st.st_size);
    int64_t done = headerLen;
    char block[NORMALIZE_BLOCK];
    for (;;) {
        if (progress) progress(done, total);
        const ssize_t n = ReadFull(in, block, sizeof block);
        if (n < 0) fail("Cannot read", path, errno);
        if (n == 0) break;
        // Whole sample pairs are scaled; an odd last byte is copied as it is.
        for (ssize_t i = 0; i + 1 < n; i += 2) {
            const int16_t s = int16_t(uint16_t(uint8_t(block[i])) | (uint16_t(uint8_t(block[i + 1])) << 8));
            const auto low = uint16_t(ScaleSample(s, factor));
            block[i] = char(low & 0xFF);
            block[i + 1] = char(low >> 8);
        }
        if (!WriteFull(out, block, size_t(n))) fail("Cannot write", tempPath, errno);
        done += n;
    }
    ::fchmod(out, mode);
    if (::fsync(out) != 0 && errno != EINVAL && errno != EROFS) fail("Cannot write", tempPath, errno);
    ::close(in);
    if (::close(out) != 0) {
        const int err = errno;
        ::unlink(dst.constData());
        throw IoError("Cannot write", tempPath, err);
    }
    if (::rename(dst.constData(), src.constData()) != 0) {
        const int err = errno;
        throw std::runtime_error("Cannot replace \"" + path.toStdString() + "\" (the scaled copy is kept as \""
                                 + tempPath.toStdString() + "\"): " + std::strerror(err));
    }
}
