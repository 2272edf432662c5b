#include "windows/NewResampleWavForm.h"
#include "ui_NewResampleWavForm.h"
#include "widgets/TranslateForm.h"

#include "widgets/MessageBoxPrompter.h"
#include "jobs/ResampleWav.h"

#include <QLabel>
#include <QLayout>
#include <QStatusBar>

namespace {

// The status bar's one panel, at least this wide.
constexpr int StatusPanelWidth = 50;

} // namespace

TfrmResample::TfrmResample(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::frmResample>())
    , FPrompter(std::make_unique<TMessageBoxPrompter>(this))
{
    ui->setupUi(this);
    TranslateForm(this, QStringLiteral("Chinese"));
    layout()->setSizeConstraint(QLayout::SetFixedSize);   // a dialog border: not resizable
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    FStatusPanel = new QLabel(ui->StatusBar1);
    FStatusPanel->setObjectName(QStringLiteral("StatusBar1_Panel0"));
    FStatusPanel->setMinimumWidth(StatusPanelWidth);
    FStatusPanel->setAccessibleDescription(QStringLiteral("状态"));
    ui->StatusBar1->addWidget(FStatusPanel, 1);

    FController = new TResampleWav(FPrompter.get(), this);
    connect(ui->Button1, &QPushButton::clicked, FController, &TResampleWav::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, FController, &TResampleWav::Button2Click);
    connect(ui->Button3, &QPushButton::clicked, this, [this] { FController->Button3Click(Settings()); });
    connect(ui->Button4, &QPushButton::clicked, FController, &TResampleWav::Abort);
    connect(ui->Button5, &QPushButton::clicked, this, &QDialog::reject);
    connect(FController, &TResampleWav::Changed, this, &TfrmResample::Follow);
    connect(FController, &TResampleWav::StatusTextChanged, FStatusPanel, &QLabel::setText);
    connect(FController, &TResampleWav::ProgressChanged, ui->ProgressBar1, &QProgressBar::setValue);
    Follow();
}

TfrmResample::~TfrmResample()
{
    // The controller's worker must not outlive the prompter it may report through.
    delete FController;
}

void TfrmResample::SetPrompter(std::unique_ptr<TPrompter> prompter)
{
    FPrompter = std::move(prompter);
    FController->SetPrompter(FPrompter.get());
}

TResampleSettings TfrmResample::Settings() const
{
    ui->SpinEdit1->interpretText();
    ui->SpinEdit3->interpretText();
    TResampleSettings s;
    s.Channels = ui->SpinEdit1->value();
    s.SampleRate = ui->Edit1->text();
    s.BitsPerSample = ui->SpinEdit3->value();
    s.Coding = ui->ComboBox1->currentIndex();
    return s;
}

void TfrmResample::done(int result)
{
    FController->Close();
    QDialog::done(result);
}

void TfrmResample::Follow()
{
    ui->Label5->setText(FController->InputName());
    ui->Label6->setText(FController->InputChannels());
    ui->Label7->setText(FController->InputSampleRate());
    ui->Label8->setText(FController->InputBitsPerSample());
    ui->Label15->setText(FController->InputCoding());
    ui->Label10->setText(FController->OutputName());
    const bool idle = !FController->Converting();
    ui->Button1->setEnabled(idle);
    ui->Button2->setEnabled(idle);
    ui->Button3->setEnabled(idle);
}
