#pragma once
// Helpers of the conversion job tests: a job run to its end under a watchdog, the captions
// it showed, generated WAV files and disc images, and peer tools judging the outputs.
#include "jobs/ConversionJob.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestDisc.h"
#include "fixtures/TestUtil.h"
#include "platform/ReadFaults.h"
#include "platform/akrip32.h"
#include "settings/Global.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// Starts a job and runs the event loop until it closes or stalls; a watchdog only: a job that
// hangs fails instead of blocking.
inline void RunJobToEnd(TJobBase& job)
{
    QEventLoop loop;
    QObject::connect(&job, &TJobBase::CloseRequested, &loop, &QEventLoop::quit);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&loop] {
        ADD_FAILURE() << "the job did not end";
        loop.quit();
    });
    watchdog.start(60000);
    job.Start();
    if (!job.Done()) loop.exec();
    QCoreApplication::sendPostedEvents(&job);
}

// Every file below `dir` by its path relative to it, with its bytes.
inline QMap<QString, QByteArray> Snapshot(const QString& dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(dir).relativeFilePath(path), ReadAll(path));
    }
    return files;
}

// The processes whose parent is this one (the encoders a job may have left).
inline int ChildProcesses()
{
    int count = 0;
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        const QByteArray stat = ReadAll("/proc/" + pid + "/stat");
        const int close = stat.lastIndexOf(')');
        if (close > 0 && stat.mid(close + 2).split(' ').value(1) == self) ++count;
    }
    return count;
}

// A `lame` in `folder` that fails at once on a file whose name holds `failOn` and runs the
// system's on the others.
inline QString FailingLame(const QString& folder, const QString& failOn)
{
    QDir().mkpath(folder);
    const QString path = folder + "/lame";
    WriteAll(path, "#!/bin/sh\ncase \"$*\" in *" + failOn.toUtf8() + "*) exit 3;; esac\nexec /usr/bin/lame \"$@\"\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return folder;
}

// Frames the peer decoder gets out of a file (44100 Hz stereo), -1 when it cannot.
inline qint64 DecodedFrames(const QString& path)
{
    QProcess p;
    p.start("ffmpeg", {"-v", "error", "-i", path, "-f", "s16le", "-ac", "2", "-ar", "44100", "-"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return -1;
    return p.readAllStandardOutput().size() / 4;
}

// Everything a job showed, in order (each caption once when it changes).
struct TJobTrace {
    QStringList Captions;
    QStringList Groups;
};

class JobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Out = Dir.filePath("out");
        ASSERT_TRUE(QDir().mkpath(Out));
        OptionsSetting = TOptionsSetting{};
        OptionsSetting.CommonOptions.OutputFolder = Out + '/';
        OptionsSetting.CommonOptions.Jobs = 1;   // the cases follow one step at a time
        // Our wm8eutil lies in the build root; lame comes from the system.
        OldPath = qgetenv("PATH");
        qputenv("PATH", QByteArray(VARNELCD_BINARY_DIR) + ':' + OldPath);
        SetReadFaults(QString());
    }
    void TearDown() override
    {
        qputenv("PATH", OldPath);
        SetReadFaults(QString());
        if (Handle) CloseCDHandle(Handle);
        SetDiscImages({});
    }

    // A disc image of pattern tracks (lengths in sectors) and a handle on it.
    HCDROM OpenDisc(const QStringList& sectors)
    {
        QStringList args;
        for (const QString& s : sectors) args << "--track" << "audio:" + s;
        const QString cue = MakeTestDisc(Dir.path(), args);
        SetDiscImages({cue});
        THandleRequest req{};
        Handle = GetCDHandle(req);
        EXPECT_NE(Handle, 0u);
        return Handle;
    }

    // A tone WAV made by sox.
    QString Wav(const QString& name, int rate, int bits, int channels = 2, const QString& seconds = "1")
    {
        const QString path = Dir.filePath(name);
        const int rc = QProcess::execute("sox", {"-n", "-r", QString::number(rate), "-b", QString::number(bits), "-c",
                                                 QString::number(channels), path, "synth", seconds, "sine", "440",
                                                 "vol", "0.5"});
        EXPECT_EQ(rc, 0) << "sox could not write " << name.toStdString();
        return path;
    }

    // Runs a job to its end. `onView` sees the job after every change of its view.
    std::unique_ptr<TConversionJob> Run(int mode, const QStringList& entries,
                                        const std::function<void(TConversionJob&)>& onView = {})
    {
        auto job = std::make_unique<TConversionJob>(mode, entries, &Prompter);
        TConversionJob* j = job.get();
        QObject::connect(j, &TConversionJob::ViewChanged, j, [this, j, onView] {
            const TConversionJob::TView& v = j->View();
            if (Trace.Captions.value(Trace.Captions.size() - 1) != v.Caption) Trace.Captions << v.Caption;
            if (Trace.Groups.value(Trace.Groups.size() - 1) != v.GroupCaption) Trace.Groups << v.GroupCaption;
            if (onView) onView(*j);
        });
        RunJobToEnd(*j);
        return job;
    }


    QTemporaryDir Dir;
    QString Out;
    QByteArray OldPath;
    HCDROM Handle = 0;
    TCannedPrompter Prompter;
    TJobTrace Trace;
};
