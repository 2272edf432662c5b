#include "app/cli/JobConsole.h"

#include "app/cli/CliCommand.h"
#include "jobs/JobBase.h"
#include "platform/OutputFile.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QEventLoop>
#include <QSet>
#include <QSocketNotifier>
#include <algorithm>
#include <memory>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// SIGINT and SIGTERM while a job runs: the handler only writes the signal's number into a
// pipe; the event loop reads it and stops the job.
int SignalPipe[2] = {-1, -1};

void OnStopSignal(int signo)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(SignalPipe[1], &byte, 1);
    errno = saved;
}

class TStopSignals {
public:
    TStopSignals()
    {
        if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &FOldInt);
        ::sigaction(SIGTERM, &action, &FOldTerm);
        FInstalled = true;
    }
    ~TStopSignals()
    {
        if (!FInstalled) return;
        ::sigaction(SIGINT, &FOldInt, nullptr);
        ::sigaction(SIGTERM, &FOldTerm, nullptr);
        ::close(SignalPipe[0]);
        ::close(SignalPipe[1]);
        SignalPipe[0] = SignalPipe[1] = -1;
    }
    int ReadFd() const { return FInstalled ? SignalPipe[0] : -1; }
    // The signal caught, 0: none.
    int Take()
    {
        unsigned char byte = 0;
        return ::read(SignalPipe[0], &byte, 1) == 1 ? byte : 0;
    }

private:
    bool FInstalled = false;
    struct sigaction FOldInt {};
    struct sigaction FOldTerm {};
};

// The answer a --yes or --no run gives, shown after the question.
QString GivenAnswer(TPrompter::Answer answer)
{
    return QLatin1Char(' ') + (answer == TPrompter::Answer::Yes ? LangString("RES_Cli_AnswerYes", QStringLiteral("是"))
                                                                 : LangString("RES_Cli_AnswerNo", QStringLiteral("否")));
}

QString RowLine(const TPipelineRow& row)
{
    QString line = QLatin1Char('[') + row.Name + QStringLiteral("] ") + row.Stage;
    if (!row.Track.isEmpty()) line += QLatin1Char(' ') + row.Track;
    if (row.Percent > 0) line += QStringLiteral(" %1%").arg(row.Percent);
    return line;
}

} // namespace

void TJobConsolePrompter::ShowError(const QString& text)
{
    PrintLine(stderr, text);
}

void TJobConsolePrompter::ShowInformation(const QString& text)
{
    PrintLine(stderr, text);
}

TPrompter::Answer TJobConsolePrompter::AskYesNo(const QString& text, Answer defaultAnswer)
{
    if (FAnswer != Answer::Cancel) {
        PrintLine(stderr, text + GivenAnswer(FAnswer));
        return FAnswer;
    }
    if (!::isatty(STDIN_FILENO)) return defaultAnswer == Answer::Yes ? Answer::Yes : Answer::No;
    std::fputs((text + QLatin1Char(' ') + LangString("RES_Cli_AskYesNo", QStringLiteral("[y=是, N=否]")) + QLatin1Char(' ')).toUtf8().constData(), stderr);
    std::fflush(stderr);
    char line[16] = {};
    if (!std::fgets(line, sizeof line, stdin)) return Answer::No;
    return (line[0] == 'y' || line[0] == 'Y') ? Answer::Yes : Answer::No;
}

TPrompter::Overwrite TJobConsolePrompter::AskOverwrite(const QString& text)
{
    if (FAnswer != Answer::Cancel) {
        PrintLine(stderr, text + GivenAnswer(FAnswer));
        return FAnswer == Answer::Yes ? Overwrite::Yes : Overwrite::No;
    }
    if (!::isatty(STDIN_FILENO)) return Overwrite::No;
    for (;;) {
        std::fputs((text + QLatin1Char(' ') + LangString("RES_Cli_AskOverwrite", QStringLiteral("[y=是, a=全部是, n=否, N=全部否]")) + QLatin1Char(' ')).toUtf8().constData(), stderr);
        std::fflush(stderr);
        char line[16] = {};
        if (!std::fgets(line, sizeof line, stdin)) return Overwrite::No;
        switch (line[0]) {
        case 'y': case 'Y': return Overwrite::Yes;
        case 'a': case 'A': return Overwrite::YesToAll;
        case 'n': return Overwrite::No;
        case 'N': return Overwrite::NoToAll;
        default: break;
        }
    }
}

void AddExistingOption(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption("existing", "An output file that exists already: ask (the default; no terminal: "
                                                    "keep it and fail the entry), skip (keep it as the entry's output), "
                                                    "rename (write \"name (2)\") or overwrite.", "WHAT"));
}

bool ExistingOption(const QCommandLineParser& parser, const char* command, TCommonOptions& common)
{
    if (!parser.isSet("existing")) return true;
    TExisting value;
    if (!ParseExisting(parser.value("existing"), value)) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli %1: ").arg(QLatin1String(command))
                              + LangString("RES_Cli_ExistingTakes", QStringLiteral("--existing 只接受 ask、skip、rename 或 overwrite")));
        return false;
    }
    common.Existing = int32_t(value);
    return true;
}

void AddAnswerOptions(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption("yes", "Answer every question with yes (overwrite, create the folder)."));
    parser.addOption(QCommandLineOption("no", "Answer every question with no."));
}

bool AnswerOption(const QCommandLineParser& parser, const char* command, TPrompter::Answer& answer)
{
    if (parser.isSet("yes") && parser.isSet("no")) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli %1: ").arg(QLatin1String(command))
                              + LangString("RES_Cli_YesNoExclusive", QStringLiteral("--yes 与 --no 不能同时使用")));
        return false;
    }
    answer = parser.isSet("yes") ? TPrompter::Answer::Yes
             : parser.isSet("no") ? TPrompter::Answer::No
                                  : TPrompter::Answer::Cancel;
    return true;
}

void AddJobsOption(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption("jobs", "Encode with N workers at once (0: one per core; default: the settings').", "N"));
}

bool ReplayGainOption(const QCommandLineParser& parser, const char* command, TCommonOptions& common)
{
    if (!parser.isSet("replaygain")) return true;
    const QString value = parser.value("replaygain").toLower();
    if (value != QLatin1String("on") && value != QLatin1String("off")) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli %1: ").arg(QLatin1String(command))
                              + LangString("RES_Cli_ReplayGainTakes", QStringLiteral("--replaygain 只接受 on 或 off")));
        return false;
    }
    common.ReplayGain = value == QLatin1String("on") ? 1 : 0;
    return true;
}

bool JobsOption(const QCommandLineParser& parser, const char* command, TCommonOptions& common)
{
    if (!parser.isSet("jobs")) return true;
    bool ok = false;
    const int jobs = parser.value("jobs").toInt(&ok);
    if (!ok || jobs < 0) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli %1: ").arg(QLatin1String(command))
                              + LangString("RES_Cli_JobsTakes", QStringLiteral("--jobs 只接受 0 或更大的数（0：每个核心一个）")));
        return false;
    }
    common.Jobs = jobs;
    return true;
}

int RunJobOnConsole(TJobBase& job, const char* command)
{
    QEventLoop loop;
    QString caption;
    int shown = -1;
    QStringList rowKeys;      // each row's stage and track shown last
    QVector<int> rowTens;     // and the last ten of its percent shown
    QObject::connect(&job, &TJobBase::ViewChanged, &job, [&] {
        // A row's stage and track when it begins work on one, then every ten of its percent
        // (each ten passed, even when a report skips one). Idle and waiting rows print
        // nothing: what is printed of each track is the same whatever the worker count.
        const QVector<TPipelineRow> rows = job.ProgressRows();
        while (rowKeys.size() < rows.size()) {
            rowKeys.append(QString());
            rowTens.append(0);
        }
        for (int i = 0; i < rows.size(); ++i) {
            TPipelineRow row = rows[i];
            if (row.Track.isEmpty()) {
                rowKeys[i].clear();
                continue;
            }
            const QString key = row.Stage + QLatin1Char('\n') + row.Track;
            const int ten = std::min(100, row.Percent / 10 * 10);
            if (rowKeys[i] != key) {
                rowKeys[i] = key;
                rowTens[i] = 0;
                row.Percent = 0;
                PrintLine(stderr, RowLine(row));
            }
            for (int t = rowTens[i] + 10; t <= ten; t += 10) {
                row.Percent = t;
                PrintLine(stderr, RowLine(row));
            }
            rowTens[i] = std::max(rowTens[i], ten);
        }
        // The rows tell the step's progress; a job without them prints its step.
        if (!rows.isEmpty()) return;
        const int percent = job.StepPercent();
        if (job.StepCaption() != caption) {
            shown = percent >= 0 ? percent / 10 * 10 : -1;
            caption = job.StepCaption();
            PrintLine(stderr, caption);
        }
        const int step = percent >= 0 ? percent / 10 * 10 : -1;
        if (step > shown && step > 0) {
            shown = step;
            PrintLine(stderr, QStringLiteral("  %1%").arg(step));
        }
    });
    QObject::connect(&job, &TJobBase::CloseRequested, &loop, &QEventLoop::quit);
    // Without a user to press Stop, a rip that cannot start ends the job.
    TStopSignals stopSignals;
    int caught = 0;
    std::unique_ptr<QSocketNotifier> notifier;
    if (stopSignals.ReadFd() >= 0) {
        notifier = std::make_unique<QSocketNotifier>(stopSignals.ReadFd(), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &job, [&] {
            const int signo = stopSignals.Take();
            if (signo == 0 || caught) return;
            caught = signo;
            PrintLine(stderr, QStringLiteral("varnelcd-cli %1: ").arg(QLatin1String(command))
                                  + LangString("RES_Cli_StoppedBySignal", QStringLiteral("收到信号 %1，已停止")).arg(signo));
            job.StopJob();
        });
    }
    job.Start();
    if (!job.Done()) loop.exec();
    else QCoreApplication::sendPostedEvents(&job);
    job.Close();

    int failed = 0;
    const QVector<TEntryResult>& results = job.Results();
    QSet<QString> printed;   // the tracks of a whole-disc file share one output: named once
    for (int i = 0; i < results.size(); ++i) {
        if (results[i].Produced) {
            if (!printed.contains(results[i].Output)) {
                printed.insert(results[i].Output);
                PrintLine(stdout, results[i].Output);
            }
        } else {
            ++failed;
            PrintLine(stderr, QStringLiteral("varnelcd-cli %1: %2: %3")
                                  .arg(QLatin1String(command), job.Entries().value(i),
                                       results[i].Failure.isEmpty() ? LangString("RES_Cli_NotProduced", QStringLiteral("未生成")) : results[i].Failure));
        }
    }
    if (caught) return 128 + caught;
    return failed == 0 ? 0 : 1;
}
