#include "windows/ID3EditForm.h"
#include "ui_ID3EditForm.h"

#include "widgets/MessageBoxPrompter.h"
#include "widgets/TranslateForm.h"

#include <QAction>
#include <QLayout>
#include <QRegularExpressionValidator>
#include <functional>

namespace {

// Keeps an edit's text within the bytes its tag field stores. Text that does not fit loses
// the end of what was just typed or pasted (the part before the cursor that differs from
// the previous text), so the edit never holds more than a save writes. Texts put in by the
// window itself (a loaded tag) pass unchanged.
class TByteLimitValidator : public QValidator {
public:
    TByteLimitValidator(QLineEdit* edit, std::function<int()> width, const bool* filling)
        : QValidator(edit)
        , FWidth(std::move(width))
        , FFilling(filling)
        , FPrevious(edit->text())
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& t) { FPrevious = t; });
    }

    State validate(QString& input, int& pos) const override
    {
        const int width = FWidth();
        if (*FFilling || TID3EditController::FitsField(input, width))
            return Acceptable;
        // The inserted part ends at the cursor and starts after the part it shares with the
        // previous text.
        const qsizetype grown = std::max<qsizetype>(0, input.size() - FPrevious.size());
        qsizetype common = 0;
        while (common < input.size() && common < FPrevious.size() && input[common] == FPrevious[common])
            ++common;
        const qsizetype start = std::min<qsizetype>(common, pos - grown);
        while (pos > start && !TID3EditController::FitsField(input, width)) {
            const int n = pos >= 2 && input[pos - 1].isLowSurrogate() && input[pos - 2].isHighSurrogate() ? 2 : 1;
            input.remove(pos - n, n);
            pos -= n;
        }
        if (TID3EditController::FitsField(input, width))
            return Acceptable;
        // A text that did not fit before (the comment beside a new track number) may still
        // lose characters, but gains none.
        return Tid3tag::EncodeField(input).size() <= Tid3tag::EncodeField(FPrevious).size() ? Intermediate : Invalid;
    }

private:
    std::function<int()> FWidth;
    const bool* FFilling;
    QString FPrevious;
};

} // namespace

TfrmID3Edit::TfrmID3Edit(QWidget* parent, TPrompter* prompter)
    : QDialog(parent)
    , ui(std::make_unique<Ui::frmID3Edit>())
{
    ui->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize);   // a dialog border: not resizable
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (!prompter) {
        FOwnPrompter = std::make_unique<TMessageBoxPrompter>(this);
        prompter = FOwnPrompter.get();
    }
    FController = new TID3EditController(*prompter, this);
    setWindowTitle(FController->Caption());

    using TField = TID3EditController::TField;
    const struct {
        QLineEdit* edit;
        TField field;
    } texts[] = {{ui->ID3title, TField::Title},   {ui->ID3artist, TField::Artist},
                 {ui->ID3album, TField::Album},   {ui->ID3year, TField::Year},
                 {ui->ID3comment, TField::Comment}};
    for (const auto& t : texts) {
        const TField field = t.field;
        t.edit->setValidator(new TByteLimitValidator(
            t.edit, [this, field] { return FController->FieldWidth(field); }, &FShowing));
        connect(t.edit, &QLineEdit::textChanged, this, &TfrmID3Edit::TakeEdits);
    }
    // Digits only, at most two: typed and pasted text alike.
    ui->ID3track->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,2}")), ui->ID3track));
    connect(ui->ID3track, &QLineEdit::textChanged, this, &TfrmID3Edit::TakeEdits);

    ui->ID3genre->addItems(TID3EditController::GenreEntries());
    ui->ID3genre->setCurrentIndex(-1);
    connect(ui->ID3genre, &QComboBox::currentIndexChanged, this, &TfrmID3Edit::TakeEdits);

    FSaveTag = new QAction(ui->bSaveTag->text(), this);
    FSaveTag->setObjectName(QStringLiteral("aSaveTag"));
    FRemoveTag = new QAction(ui->bRemoveTag->text(), this);
    FRemoveTag->setObjectName(QStringLiteral("aRemoveTag"));
    connect(FSaveTag, &QAction::triggered, FController, qOverload<>(&TID3EditController::SaveTag));
    connect(FRemoveTag, &QAction::triggered, FController, &TID3EditController::RemoveTag);
    connect(ui->bSaveTag, &QPushButton::clicked, FSaveTag, &QAction::trigger);
    connect(ui->bRemoveTag, &QPushButton::clicked, FRemoveTag, &QAction::trigger);
    connect(FSaveTag, &QAction::changed, this, [this] { ui->bSaveTag->setEnabled(FSaveTag->isEnabled()); });
    connect(FRemoveTag, &QAction::changed, this, [this] { ui->bRemoveTag->setEnabled(FRemoveTag->isEnabled()); });

    connect(ui->bLoadTag, &QPushButton::clicked, FController, qOverload<>(&TID3EditController::LoadTag));
    connect(ui->bSaveAS, &QPushButton::clicked, FController, qOverload<>(&TID3EditController::SaveAs));
    connect(ui->bClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(FController, &TID3EditController::Changed, this, &TfrmID3Edit::ShowState);
    ShowState();
}

TfrmID3Edit::~TfrmID3Edit() = default;

void TfrmID3Edit::showEvent(QShowEvent* event)
{
    TranslateForm(this, QStringLiteral("Chinese"));
    // The caption tells which file is shown; the language file does not replace it.
    setWindowTitle(FController->Caption());
    QDialog::showEvent(event);
}

void TfrmID3Edit::ShowState()
{
    FShowing = true;
    const TID3EditController::TFields& f = FController->Fields();
    const auto put = [](QLineEdit* edit, const QString& text) {
        if (edit->text() != text)
            edit->setText(text);
    };
    put(ui->ID3title, f.Title);
    put(ui->ID3artist, f.Artist);
    put(ui->ID3album, f.Album);
    put(ui->ID3year, f.Year);
    put(ui->ID3comment, f.Comment);
    put(ui->ID3track, f.Track);
    if (ui->ID3genre->currentIndex() != f.Genre)
        ui->ID3genre->setCurrentIndex(f.Genre);
    setWindowTitle(FController->Caption());
    FSaveTag->setEnabled(FController->CanSave());
    FRemoveTag->setEnabled(FController->CanSave());
    ui->bSaveTag->setEnabled(FSaveTag->isEnabled());
    ui->bRemoveTag->setEnabled(FRemoveTag->isEnabled());
    FShowing = false;
}

void TfrmID3Edit::TakeEdits()
{
    if (FShowing)
        return;
    TID3EditController::TFields f;
    f.Title = ui->ID3title->text();
    f.Artist = ui->ID3artist->text();
    f.Album = ui->ID3album->text();
    f.Year = ui->ID3year->text();
    f.Comment = ui->ID3comment->text();
    f.Track = ui->ID3track->text();
    f.Genre = ui->ID3genre->currentIndex();
    FController->SetFields(f);
}
