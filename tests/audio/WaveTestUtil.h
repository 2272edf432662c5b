#pragma once
// Helpers of the WAV and converter tests: hand-built RIFF files, reading an input to the
// end, running an output to its end, and running a peer tool.
#include "fixtures/AuTestComponents.h"
#include "fixtures/TestUtil.h"
#include "audio/WaveFormat.h"
#include <QProcess>
#include <QStandardPaths>
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

// Runs a peer tool with an argument list (never a shell); true on exit status 0.
inline bool Tool(const QString& Program, const QStringList& Args, QByteArray* Output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(Program, Args);
    if (!p.waitForFinished(120000))
        return false;
    if (Output)
        *Output = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
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
