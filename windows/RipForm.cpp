#include "windows/RipForm.h"

#include "app/core/JobNotification.h"
#include "jobs/CDRipJob.h"
#include "settings/Options.h"

#include "widgets/MessageBoxPrompter.h"
#include "ui_RipForm.h"
#include "settings/Lang.h"
#include "widgets/TranslateForm.h"
#include "widgets/WorkerRows.h"

#include <QTreeWidget>


TRipForm::TRipForm(QWidget* owner, TPrompter* prompter)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
    , FUi(std::make_unique<Ui::RipForm>())
{
    FUi->setupUi(this);
    setWindowTitle(ProgramTitle());
    if (!prompter) FOwnPrompter = std::make_unique<TMessageBoxPrompter>(this);
}

TRipForm::TRipForm(QWidget* owner, int mode, const QStringList& entries, TPrompter* prompter, TMp3EncodeProcess* mp3,
                   TWMAEncodeProcess* wma)
    : TRipForm(owner, prompter)
{
    FJob = std::make_unique<TConversionJob>(mode, entries, prompter ? prompter : FOwnPrompter.get(), mp3, wma);
    Begin(owner, false);
}

TRipForm::TRipForm(QWidget* owner, TDiscSource& disc, const QStringList& entries, TPrompter* prompter,
                   TMp3EncodeProcess* mp3, TWMAEncodeProcess* wma)
    : TRipForm(owner, prompter)
{
    FJob = std::make_unique<TCDRipJob>(disc, entries, prompter ? prompter : FOwnPrompter.get(), mp3, wma);
    Begin(owner, true);
}

void TRipForm::Begin(QWidget* owner, bool readerRow)
{
    if (FJob->Workers() > 1) {
        // A row for the reader and each worker between the gauge's box and Stop.
        const int height = 28 + 20 * (FJob->Workers() + (readerRow ? 1 : 0));
        const QRect box = FUi->GroupBox1->geometry();
        FRows = NewWorkerRows(this);
        FRows->setGeometry(box.left(), box.bottom() + 6, box.width(), height);
        FUi->btStop->move(FUi->btStop->x(), FUi->btStop->y() + height + 6);
        resize(width(), this->height() + height + 6);
    }
    setFixedSize(size());
    const TCDInfo& disc = OptionsSetting.CDInfo;
    NotifyWhenDone(*FJob, readerRow ? LangString(QStringLiteral("RES_Notice_Rip"), QStringLiteral("抓轨"))
                                     : LangString(QStringLiteral("RES_Notice_Conversion"), QStringLiteral("转换")),
                   readerRow ? disc.Artist + QStringLiteral(" - ") + disc.Album : QString());
    connect(FJob.get(), &TJobBase::ViewChanged, this, &TRipForm::ShowView);
    connect(FJob.get(), &TJobBase::CloseRequested, this, &QDialog::accept);
    connect(FUi->btStop, &QPushButton::clicked, this, &TRipForm::StopClick);
    FJob->Start();
    ShowView();
    FUi->Label1->clear();
    FUi->Label2->clear();
    FUi->FlatGauge1->setTextVisible(false);
    // Centred on the main window.
    if (owner) {
        const QRect o = owner->frameGeometry();
        move(o.left() + (o.width() - width()) / 2, o.top() + (o.height() - height()) / 2);
    }
}

TRipForm::~TRipForm()
{
    FJob->Close();
}

void TRipForm::ShowView()
{
    const TStepView& v = FJob->StepView();
    if (!v.Caption.isEmpty()) setWindowTitle(v.Caption);
    FUi->GroupBox1->setTitle(v.GroupCaption);
    FUi->Label1->setText(v.Label1);
    FUi->Label2->setText(v.Label2);
    FUi->Label3->setText(v.Label3);
    FUi->Label3->setVisible(v.Label3Visible);
    FUi->FlatGauge1->setTextVisible(v.PercentTextVisible);
    FUi->FlatGauge1->setValue(v.Gauge);
    if (FRows) ShowWorkerRows(FRows, v.Rows);
}

void TRipForm::showEvent(QShowEvent* event)
{
    if (!FTranslated) {
        FTranslated = true;
        // The language file captions the fixed texts; the job's texts stay as they are.
        TranslateForm(this, QStringLiteral("Chinese"));
        ShowView();
    }
    QDialog::showEvent(event);
}

void TRipForm::StopClick()
{
    FJob->StopJob();
}

// Escape and the title bar's close button stop the job as the Stop button does (the
// window closes when the job says so); the clean-up also runs when the window is freed.
void TRipForm::reject()
{
    if (!FJob->Done()) FJob->StopJob();
    else QDialog::reject();
}
