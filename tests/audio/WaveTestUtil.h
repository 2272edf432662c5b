#pragma once
// Helpers of the WAV and converter tests: hand-built RIFF files, reading an input to the
// end, running an output to its end, and running a peer tool.
#include "fixtures/AuTestComponents.h"
#include "fixtures/TestUtil.h"
#include "audio/WaveFormat.h"
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <QStringList>
#include <QtEndian>

inline void PrintTo(TWavType t, std::ostream* os)
{
    *os << WavTypeIdent(t);
}

namespace WaveTest {

inline QByteArray Le16(int v)
{
    QByteArray b(2, 0);
    qToLittleEndian<quint16>(quint16(v), b.data());
    return b;
}

inline QByteArray Le32(int64_t v)
{
    QByteArray b(4, 0);
    qToLittleEndian<quint32>(quint32(v), b.data());
    return b;
}

inline QByteArray Chunk(const QByteArray& Code, const QByteArray& Body)
{
    return Code + Le32(Body.size()) + Body;
}

// A "fmt " body: tag, channels, rate, block align, bits, then Extra (the extension).
inline QByteArray FmtBody(int Tag, int Channels, int Rate, int Align, int Bits, const QByteArray& Extra = {})
{
    return Le16(Tag) + Le16(Channels) + Le32(Rate) + Le32(int64_t(Rate) * Align) + Le16(Align) + Le16(Bits) + Extra;
}

// A RIFF WAVE file around the given chunks.
inline QByteArray Riff(const QByteArray& Chunks)
{
    return "RIFF" + Le32(Chunks.size() + 4) + "WAVE" + Chunks;
}

inline QByteArray PcmFile(int Channels, int Rate, int Bits, const QByteArray& Data)
{
    return Riff(Chunk("fmt ", FmtBody(1, Channels, Rate, Channels * Bits / 8, Bits)) + Chunk("data", Data));
}

// Reads an input from Init to the end (at most Limit bytes) in requests of Request bytes.
inline QByteArray ReadInput(TAuInput& In, uint32_t Request = 16384, int64_t Limit = 64 << 20)
{
    QByteArray out;
    In.Init();
    for (;;) {
        void* data = nullptr;
        uint32_t bytes = Request;
        In.GetData(data, bytes);
        if (bytes == 0 || out.size() > Limit)
            break;
        out.append(static_cast<const char*>(data), bytes);
    }
    In.Flush();
    return out;
}

// Runs an output to the end of its run; returns its exception message ("" on success).
inline QString RunOutput(TAuOutput& Out)
{
    Out.Run();
    if (!PumpUntil([&] { return !Out.Busy(); }, 60000))
        return "the run did not end";
    return Out.ExceptionMessage();
}

// Runs a program with an argument list (never a shell) and returns its exit status (-1
// when it could not run or did not end within two minutes), with its standard output and
// error. Started with fork and exec rather than QProcess, which ThreadSanitizer cannot
// follow.
inline int RunProgram(const QString& Program, const QStringList& Args, QByteArray* Out = nullptr, QByteArray* Err = nullptr)
{
    const QString path = Program.contains('/') ? Program : QStandardPaths::findExecutable(Program);
    if (path.isEmpty())
        return -1;
    std::vector<QByteArray> words{QFile::encodeName(path)};
    for (const QString& a : Args)
        words.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return -1;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return -1;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    QByteArray got[2];
    QElapsedTimer clock;
    clock.start();
    bool timedOut = false, open[2] = {true, true};
    const int fds[2] = {outPipe[0], errPipe[0]};
    while (pid > 0 && (open[0] || open[1])) {
        pollfd p[2] = {{open[0] ? fds[0] : -1, POLLIN, 0}, {open[1] ? fds[1] : -1, POLLIN, 0}};
        const int left = int(120000 - clock.elapsed());
        if (left <= 0 || ::poll(p, 2, left) == 0) {
            timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (!open[i] || !(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char chunk[4096];
            const ssize_t n = ::read(fds[i], chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                open[i] = false;
            else
                got[i].append(chunk, n);
        }
    }
    ::close(fds[0]);
    ::close(fds[1]);
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (Out)
        *Out = got[0];
    if (Err)
        *Err = got[1];
    return pid > 0 && !timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a peer tool; true on exit status 0.
inline bool Tool(const QString& Program, const QStringList& Args, QByteArray* Output = nullptr)
{
    return RunProgram(Program, Args, Output) == 0;
}

inline bool HaveTool(const QString& Program)
{
    return !QStandardPaths::findExecutable(Program).isEmpty();
}

// 16-bit little-endian samples as integers.
inline std::vector<int> Samples16(const QByteArray& Bytes)
{
    std::vector<int> v(size_t(Bytes.size() / 2));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = qFromLittleEndian<qint16>(Bytes.constData() + 2 * i);
    return v;
}

inline QByteArray Bytes16(const std::vector<int>& Samples)
{
    QByteArray b;
    for (int s : Samples)
        b += Le16(s);
    return b;
}

} // namespace WaveTest
