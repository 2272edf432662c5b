#include "windows/CDRipForm.h"

#include "widgets/MessageBoxPrompter.h"
#include "app/core/JobNotification.h"
#include "settings/Options.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "ui_CDRipForm.h"
#include "widgets/TranslateForm.h"

#include "widgets/WorkerRows.h"

#include <QLabel>
#include <QTreeWidget>

TfrmCDRip::TfrmCDRip(QWidget* owner, TDiscSource& disc, const QStringList& entries, TPrompter* prompter,
                     TMp3EncodeProcess* mp3, TWMAEncodeProcess* wma)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , FUi(std::make_unique<Ui::frmCDRip>())
{
    FUi->setupUi(this);
    if (!prompter) {
        FOwnPrompter = std::make_unique<TMessageBoxPrompter>(this);
        prompter = FOwnPrompter.get();
    }
    FJob = std::make_unique<TCDRipJob>(disc, entries, prompter, mp3, wma);
    // With several workers a row each (and the reader's) under the gauge.
    FRows = NewWorkerRows(this);
    FRows->setVisible(FJob->Jobs() > 1);
    FUi->verticalLayout->insertWidget(FUi->verticalLayout->indexOf(FUi->ProgressBar2) + 1, FRows);
    // The databases' verdicts under the rows once the rip has them.
    FVerdicts = new QLabel(this);
    FVerdicts->setObjectName(QStringLiteral("lVerdicts"));
    FVerdicts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FVerdicts->setVisible(false);
    FUi->verticalLayout->insertWidget(FUi->verticalLayout->indexOf(FRows) + 1, FVerdicts);
    if (FJob->Jobs() > 1) resize(width() + 80, height() + 40 + 22 * (FJob->Jobs() + 1));
    const TCDInfo& info = OptionsSetting.CDInfo;
    NotifyWhenDone(*FJob, LangString(QStringLiteral("RES_Notice_Rip"), QStringLiteral("抓轨")), info.Artist + QStringLiteral(" - ") + info.Album);
    connect(FJob.get(), &TJobBase::ViewChanged, this, &TfrmCDRip::ShowView);
    // A rip the databases judged stays open with their verdicts until the user closes it.
    connect(FJob.get(), &TJobBase::CloseRequested, this, [this] {
        if (FJob->WasStopped() || FJob->View().Verdicts.isEmpty()) {
            accept();
            return;
        }
        FUi->bStop->setText(LangString(QStringLiteral("RES_CloseVerdicts"), QStringLiteral("关闭")));
        disconnect(FUi->bStop, nullptr, nullptr, nullptr);
        connect(FUi->bStop, &QPushButton::clicked, this, &QDialog::accept);
    });
    connect(FUi->bStop, &QPushButton::clicked, FJob.get(), &TCDRipJob::StopJob);
    FJob->Start();
    setWindowTitle(ProgramTitle());
    ShowView();
}

TfrmCDRip::~TfrmCDRip()
{
    FJob->Close();
}

void TfrmCDRip::ShowView()
{
    const TCDRipJob::TView& v = FJob->View();
    FUi->lCurrentTrack->setText(v.CurrentTrack);
    FUi->lOutputFormat->setText(v.OutputFormat);
    FUi->lSelectedTracks->setText(QString::number(v.SelectedTracks));
    FUi->lCompleted->setText(QString::number(v.Completed));
    FUi->lProgressHint->setText(v.ProgressHint);
    FUi->ProgressBar2->setToolTip(v.GaugeHint);
    FUi->ProgressBar2->setValue(v.Gauge);
    ShowWorkerRows(FRows, v.Rows);
    FVerdicts->setText(v.Verdicts.join(QLatin1Char('\n')));
    FVerdicts->setVisible(!v.Verdicts.isEmpty());
}

void TfrmCDRip::showEvent(QShowEvent* event)
{
    if (!FTranslated) {
        FTranslated = true;
        // The language file captions the fixed texts; the job's texts stay as they are.
        TranslateForm(this, QStringLiteral("Chinese"));
        setWindowTitle(ProgramTitle());
        ShowView();
    }
    QDialog::showEvent(event);
}

// Escape and the title bar's close button stop the job as the Stop button does (the
// window closes when the job says so); the clean-up also runs when the window is freed.
void TfrmCDRip::reject()
{
    if (!FJob->Done()) FJob->StopJob();
    else QDialog::reject();
}
