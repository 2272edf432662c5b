#include "windows/EditTrackNameForm.h"
#include "ui_EditTrackNameForm.h"

#include "widgets/TranslateForm.h"

#include <QAction>
#include <QLayout>
#include <QValidator>

namespace {

// A line break or other control character, typed or pasted, becomes a space.
class TTitleValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        input = TEditTrackNameController::CleanTitle(input);
        return Acceptable;
    }
};

} // namespace

TfrmEditTrackName::TfrmEditTrackName(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::frmEditTrackName>())
{
    ui->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize);   // a dialog border: not resizable
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    FController = new TEditTrackNameController(this);
    ui->eName->setMaxLength(TEditTrackNameController::MaxLength());
    ui->eName->setValidator(new TTitleValidator(ui->eName));

    FOK = new QAction(ui->bOK->text(), this);
    FOK->setObjectName(QStringLiteral("aOK"));
    connect(FOK, &QAction::triggered, this, &QDialog::accept);
    connect(ui->bOK, &QPushButton::clicked, FOK, &QAction::trigger);
    connect(ui->bCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->eName, &QLineEdit::textChanged, FController, &TEditTrackNameController::SetTitle);
    const auto follow = [this] {
        FOK->setEnabled(FController->CanAccept());
        ui->bOK->setEnabled(FOK->isEnabled());
    };
    connect(FController, &TEditTrackNameController::Changed, this, follow);
    follow();
}

TfrmEditTrackName::~TfrmEditTrackName() = default;

void TfrmEditTrackName::SetTitle(const QString& title)
{
    ui->eName->setText(TEditTrackNameController::CleanTitle(title));
}

void TfrmEditTrackName::showEvent(QShowEvent* event)
{
    ui->eName->selectAll();
    ui->eName->setFocus();
    TranslateForm(this, QStringLiteral("Chinese"));
    QDialog::showEvent(event);
}
