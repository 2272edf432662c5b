#pragma once
// Helpers of the encoder tests: generated WAV files, running a tool and capturing its
// bytes, and an owner object that records the notifications it receives.
#include "platform/ProcessInfo.h"
#include "fixtures/TestUtil.h"

#include <QByteArray>
#include <QDataStream>
#include <QEvent>
#include <QObject>
#include <QProcess>
#include <QVector>
#include <QtEndian>
#include <cmath>
#include <functional>

// A 16-bit PCM WAV file holding a tone; false when it cannot be written.
inline bool WriteToneWav(const QString& path, int seconds, int rate = 44100, int channels = 2)
{
    const qint64 frames = qint64(seconds) * rate;
    const quint32 dataSize = quint32(frames * channels * 2);
    QByteArray bytes;
    bytes.reserve(int(44 + dataSize));
    auto u32 = [&](quint32 v) { char b[4]; qToLittleEndian(v, b); bytes.append(b, 4); };
    auto u16 = [&](quint16 v) { char b[2]; qToLittleEndian(v, b); bytes.append(b, 2); };
    bytes.append("RIFF"); u32(36 + dataSize); bytes.append("WAVEfmt "); u32(16);
    u16(1); u16(quint16(channels)); u32(quint32(rate)); u32(quint32(rate * channels * 2));
    u16(quint16(channels * 2)); u16(16); bytes.append("data"); u32(dataSize);
    for (qint64 i = 0; i < frames; ++i) {
        const auto s = qint16(8000 * std::sin(2 * M_PI * 440.0 * double(i) / rate) + (i * 7919 % 97) - 48);
        for (int c = 0; c < channels; ++c) u16(quint16(s));
    }
    return WriteAll(path, bytes);
}

// Runs a program with arguments; returns its standard error (or output) bytes exactly.
inline QByteArray RunAndCapture(const QString& program, const QStringList& args, bool standardError = true)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000)) return {};
    return standardError ? p.readAllStandardError() : p.readAllStandardOutput();
}

// The owner window of the tests: keeps every notification in arrival order.
class TNotificationLog : public QObject {
public:
    QVector<TProcessInfo> Infos;
    std::function<void(const TProcessInfo&)> OnInfo;

    bool Ended(int endPercent) const
    {
        for (const TProcessInfo& i : Infos)
            if (i.Percent == endPercent) return true;
        return false;
    }
    QVector<int> Percents() const
    {
        QVector<int> p;
        for (const TProcessInfo& i : Infos) p << i.Percent;
        return p;
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != ProgressInfoEventType) return QObject::event(e);
        Infos << *static_cast<TProcessInfoEvent*>(e)->Info;
        if (OnInfo) OnInfo(Infos.last());
        return true;
    }
};
