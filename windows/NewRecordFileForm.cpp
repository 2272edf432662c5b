#include "windows/NewRecordFileForm.h"
#include "ui_NewRecordFileForm.h"

#include "widgets/TranslateForm.h"

#include <QLayout>

TfrmNewRecordFile::TfrmNewRecordFile(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::frmNewRecordFile>())
{
    ui->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui->btOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btCancel, &QPushButton::clicked, this, &QDialog::reject);
    TranslateForm(this, QStringLiteral("Chinese"));
}

TfrmNewRecordFile::~TfrmNewRecordFile() = default;

TRecordController::TNewFormat TfrmNewRecordFile::Format() const
{
    TRecordController::TNewFormat f;
    f.SampleRate = ui->cbBitSamples->currentText().trimmed().toInt();
    f.Bits = ui->rbBitNumber8->isChecked() ? 8 : 16;
    f.Channels = ui->rbChannelNumberMono->isChecked() ? 1 : 2;
    return f;
}
