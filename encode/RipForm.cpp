#include "encode/RipForm.h"

#include "app/MessageBoxPrompter.h"
#include "ui_RipForm.h"
#include "widgets/TranslateForm.h"


TRipForm::TRipForm(QWidget* owner, int mode, HCDROM cdHandle, const QStringList& entries, TPrompter* prompter,
                   TMp3EncodeProcess* mp3, TWMAEncodeProcess* wma)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
    , FUi(std::make_unique<Ui::RipForm>())
{
    FUi->setupUi(this);
    setWindowTitle(ApplicationTitle());
    setFixedSize(size());
    if (!prompter) {
        FOwnPrompter = std::make_unique<TMessageBoxPrompter>(this);
        prompter = FOwnPrompter.get();
    }
    FJob = std::make_unique<TConversionJob>(mode, cdHandle, entries, prompter, mp3, wma);
    connect(FJob.get(), &TConversionJob::ViewChanged, this, &TRipForm::ShowView);
    connect(FJob.get(), &TConversionJob::CloseRequested, this, &QDialog::accept);
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
    const TConversionJob::TView& v = FJob->View();
    if (!v.Caption.isEmpty()) setWindowTitle(v.Caption);
    FUi->GroupBox1->setTitle(v.GroupCaption);
    FUi->Label1->setText(v.Label1);
    FUi->Label2->setText(v.Label2);
    FUi->Label3->setText(v.Label3);
    FUi->Label3->setVisible(v.Label3Visible);
    FUi->FlatGauge1->setTextVisible(v.PercentTextVisible);
    FUi->FlatGauge1->setValue(v.Gauge);
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
