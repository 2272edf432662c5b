#include "app/cli/JobConsole.h"

#include "app/cli/CliCommand.h"
#include "encode/JobBase.h"

#include <QEventLoop>
#include <cstdio>
#include <unistd.h>

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
        PrintLine(stderr, text + (FAnswer == Answer::Yes ? QStringLiteral(" yes") : QStringLiteral(" no")));
        return FAnswer;
    }
    if (!::isatty(STDIN_FILENO)) return defaultAnswer == Answer::Yes ? Answer::Yes : Answer::No;
    std::fputs((text + QStringLiteral(" [y/N] ")).toUtf8().constData(), stderr);
    std::fflush(stderr);
    char line[16] = {};
    if (!std::fgets(line, sizeof line, stdin)) return Answer::No;
    return (line[0] == 'y' || line[0] == 'Y') ? Answer::Yes : Answer::No;
}

void AddAnswerOptions(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption("yes", "Answer every question with yes (overwrite, create the folder)."));
    parser.addOption(QCommandLineOption("no", "Answer every question with no."));
}

bool AnswerOption(const QCommandLineParser& parser, const char* command, TPrompter::Answer& answer)
{
    if (parser.isSet("yes") && parser.isSet("no")) {
        PrintLine(stderr, QStringLiteral("varnelcd-cli %1: --yes and --no exclude each other").arg(QLatin1String(command)));
        return false;
    }
    answer = parser.isSet("yes") ? TPrompter::Answer::Yes
             : parser.isSet("no") ? TPrompter::Answer::No
                                  : TPrompter::Answer::Cancel;
    return true;
}

int RunJobOnConsole(TJobBase& job, const char* command)
{
    QEventLoop loop;
    QString caption;
    int shown = -1;
    QObject::connect(&job, &TJobBase::ViewChanged, &job, [&] {
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
    QObject::connect(&job, &TJobBase::RipStalled, &job, [&job] { job.StopJob(); }, Qt::QueuedConnection);
    job.Start();
    if (!job.Done()) loop.exec();
    else QCoreApplication::sendPostedEvents(&job);
    job.Close();

    int failed = 0;
    const QVector<TEntryResult>& results = job.Results();
    for (int i = 0; i < results.size(); ++i) {
        if (results[i].Produced) {
            PrintLine(stdout, results[i].Output);
        } else {
            ++failed;
            PrintLine(stderr, QStringLiteral("varnelcd-cli %1: %2: %3")
                                  .arg(QLatin1String(command), job.Entries().value(i),
                                       results[i].Failure.isEmpty() ? QStringLiteral("not produced") : results[i].Failure));
        }
    }
    return failed == 0 ? 0 : 1;
}
