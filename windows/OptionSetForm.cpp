#include "windows/OptionSetForm.h"
#include "windows/OptionSetWholeDisc.h"
#include "windows/OptionSetDiscHandling.h"
#include "windows/OptionSetExtraFormats.h"
#include "windows/OptionSetInterface.h"
#include "ui_OptionSet.h"

#include "cd/RipAudit.h"
#include "encode/JobEntry.h"
#include "encode/OutputFormats.h"
#include "settings/CDInfo.h"
#include "settings/FileNamePattern.h"
#include "settings/Lang.h"
#include "windows/CodecOptionPages.h"
#include "widgets/ScrollingPages.h"
#include "widgets/TranslateForm.h"
#include "windows/OffsetFindButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QShowEvent>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// A line edit's length limit holds for typing only: a longer stored text (a 40-character
// artist from CD-Text) shows whole and stays so unless the user shortens it.
void SetLimitedText(QLineEdit* edit, const QString& text, int limit)
{
    edit->setMaxLength(std::max(limit, int(text.size())));
    edit->setText(text);
}

void KeepLimitForTyping(QLineEdit* edit, int limit)
{
    QObject::connect(edit, &QLineEdit::textEdited, edit,
                     [edit, limit](const QString& text) { edit->setMaxLength(std::max(limit, int(text.size()))); });
}

constexpr int ID3_TEXT_LIMIT = 30;
constexpr int ID3_YEAR_LIMIT = 4;

} // namespace

TOptionSetForm::TOptionSetForm(TPrompter& prompter, TOptionSetHost host, QWidget* parent)
    : QDialog(parent)
    , FUi(std::make_unique<Ui::OptionSetForm>())
    , FPrompter(prompter)
    , FController(OptionsSetting, prompter, std::move(host))
{
    FUi->setupUi(this);
    FUi->PageControl1->setCurrentIndex(0);
    FUi->ckbCDDb->setVisible(false);
    // The spin edit changes by its arrows only.
    FUi->SpinEdit1->findChild<QLineEdit*>()->setReadOnly(true);

    // File names: the pattern and, as it is typed, what it makes of a sample track.
    auto* patternBox = new QGroupBox(QStringLiteral("File names (%A artist, %B album artist, %D album, %N track, %n disc, %T title, %Y year, %G genre; / makes folders)"), FUi->TabSheet1);
    patternBox->setObjectName(QStringLiteral("gbFileNamePattern"));
    auto* patternLayout = new QVBoxLayout(patternBox);
    FPatternEdit = new QLineEdit(patternBox);
    FPatternEdit->setObjectName(QStringLiteral("editFileNamePattern"));
    FPatternEdit->setPlaceholderText(QStringLiteral("%A/%D/%N %T"));
    FPatternExample = new QLabel(patternBox);
    FPatternExample->setTextInteractionFlags(Qt::TextSelectableByMouse);
    patternLayout->addWidget(FPatternEdit);
    patternLayout->addWidget(FPatternExample);
    FUi->vlOutput->insertWidget(FUi->vlOutput->indexOf(FUi->gbOutputDir) + 1, patternBox);
    setTabOrder(FUi->editOutputDir, FPatternEdit);

    // The lists that come from the tables; the fixed ones are in the form.
    for (int kbps : Mp3BitRates) {
        const QString text = QStringLiteral("%1 kbit/s").arg(kbps, 3);
        FUi->cbBitRate->addItem(text);
        FUi->cbMaxBitRate->addItem(text);
    }
    for (const char* text : OggBitRateTexts) {
        FUi->cbOggNomBit->addItem(QString::fromLatin1(text));
        FUi->cbOggMaxBit->addItem(QString::fromLatin1(text));
        FUi->cbOggMinBit->addItem(QString::fromLatin1(text));
    }
    // The profiles' channel words in the interface's language (the list is kept by index).
    for (const char* text : WMAProfileTexts)
        FUi->cbWMABitrate->addItem(
            QString::fromLatin1(text)
                .replace(QLatin1String("Stereo"), LangString(QStringLiteral("RES_Wma_Stereo"), QStringLiteral("立体声")))
                .replace(QLatin1String("Mono"), LangString(QStringLiteral("RES_Wma_Mono"), QStringLiteral("单声道"))));
    for (const TOutputFormatRow& row : OutputFormats)
        FUi->cbOutputFormat->addItem(QString::fromLatin1(row.ComboText));
    BuildFlacPage();
    AddCodecOptionPages(*this, *FUi->PageControl1);
    FUi->ID3genre->addItem(QString());
    for (const char* name : GenreNames)
        FUi->ID3genre->addItem(QString::fromLatin1(name));

    KeepLimitForTyping(FUi->ID3artist, ID3_TEXT_LIMIT);
    KeepLimitForTyping(FUi->ID3album, ID3_TEXT_LIMIT);
    KeepLimitForTyping(FUi->ID3year, ID3_YEAR_LIMIT);
    KeepLimitForTyping(FUi->ID3comment, ID3_TEXT_LIMIT);

    // Disc n of N of a release with several discs, beside the other disc fields.
    {
        auto* discLabel = new QLabel(tr("Disc:"), FUi->TabSheet4);
        discLabel->setObjectName(QStringLiteral("lbDisc"));
        auto* discRow = new QHBoxLayout;
        FDiscNumber = new QSpinBox(FUi->TabSheet4);
        FDiscNumber->setObjectName(QStringLiteral("seDiscNumber"));
        FDiscTotal = new QSpinBox(FUi->TabSheet4);
        FDiscTotal->setObjectName(QStringLiteral("seDiscTotal"));
        for (QSpinBox* box : {FDiscNumber, FDiscTotal}) {
            box->setRange(0, 999);
            box->setSpecialValueText(QStringLiteral("-"));
        }
        auto* ofLabel = new QLabel(QStringLiteral("/"), FUi->TabSheet4);
        discLabel->setBuddy(FDiscNumber);
        discRow->addWidget(FDiscNumber);
        discRow->addWidget(ofLabel);
        discRow->addWidget(FDiscTotal);
        discRow->addStretch();
        const int row = FUi->glId3->rowCount();
        FUi->glId3->addWidget(discLabel, row, 0);
        FUi->glId3->addLayout(discRow, row, 1);
        setTabOrder(FUi->ID3comment, FDiscNumber);
        setTabOrder(FDiscNumber, FDiscTotal);
    }

    // The rip log and the read offset, added here rather than in the form file.
    FWriteRipLog = new QCheckBox(tr("Write a rip log"), FUi->TabSheet1);
    FWriteRipLog->setObjectName(QStringLiteral("ckbWriteRipLog"));
    FUi->vlOutput->insertWidget(std::max(0, FUi->vlOutput->count() - 1), FWriteRipLog);
    // The loudness (ReplayGain) of every track and of the album into the files' tags.
    FReplayGain = new QCheckBox(tr("Write ReplayGain values"), FUi->TabSheet1);
    FReplayGain->setObjectName(QStringLiteral("ckbReplayGain"));
    FUi->vlOutput->insertWidget(std::max(0, FUi->vlOutput->count() - 1), FReplayGain);
    AddWholeDiscOptions(this, FUi->TabSheet1, FUi->vlOutput);
    AddExtraFormatOptions(this, FUi->TabSheet1, FUi->vlOutput);
    AddInterfaceLanguageOption(this, FUi->TabSheet1, FUi->vlOutput);
    // The encode workers of a rip ([CommonOptions] Jobs; 0: one per core).
    auto* jobsRow = new QHBoxLayout;
    auto* jobsLabel = new QLabel(tr("Workers (0: one per core):"), FUi->TabSheet1);
    jobsLabel->setObjectName(QStringLiteral("lbJobs"));
    FJobs = new QSpinBox(FUi->TabSheet1);
    FJobs->setObjectName(QStringLiteral("seJobs"));
    FJobs->setRange(0, 64);
    jobsLabel->setBuddy(FJobs);
    jobsRow->addWidget(jobsLabel);
    jobsRow->addWidget(FJobs);
    jobsRow->addStretch();
    FUi->vlOutput->insertLayout(std::max(0, FUi->vlOutput->count() - 1), jobsRow);
    // What a job does with an output file that exists already ([CommonOptions] Existing,
    // in TExisting's order).
    auto* existingRow = new QHBoxLayout;
    auto* existingLabel = new QLabel(tr("Existing files:"), FUi->TabSheet1);
    existingLabel->setObjectName(QStringLiteral("lbExisting"));
    FExisting = new QComboBox(FUi->TabSheet1);
    FExisting->setObjectName(QStringLiteral("cbExisting"));
    FExisting->addItems({tr("Ask"), tr("Skip (keep the file)"), tr("Rename (\"name (2)\")"), tr("Overwrite")});
    existingLabel->setBuddy(FExisting);
    existingRow->addWidget(existingLabel);
    existingRow->addWidget(FExisting);
    existingRow->addStretch();
    FUi->vlOutput->insertLayout(std::max(0, FUi->vlOutput->count() - 1), existingRow);
    setTabOrder(FJobs, FExisting);
    auto* offsetRow = new QHBoxLayout;
    auto* offsetLabel = new QLabel(tr("Read offset correction (samples):"), FUi->TabSheet3);
    offsetLabel->setObjectName(QStringLiteral("lbReadOffset"));
    FReadOffset = new QSpinBox(FUi->TabSheet3);
    FReadOffset->setObjectName(QStringLiteral("seReadOffset"));
    FReadOffset->setRange(-MaxReadOffset, MaxReadOffset);
    offsetLabel->setBuddy(FReadOffset);
    offsetRow->addWidget(offsetLabel);
    offsetRow->addWidget(FReadOffset);
    AddOffsetFindButton(FUi->TabSheet3, offsetRow, FReadOffset, [this] { return FReadOffset->isEnabled() ? FUi->cbCDList->currentIndex() : -1; });
    offsetRow->addStretch(1);
    FUi->vlCdRom->insertLayout(1, offsetRow);
    setTabOrder(FUi->cbCDList, FReadOffset);
    // The front cover a MusicBrainz lookup stored goes into the rips (folder file, FLAC and OGG).
    FMbCover = new QCheckBox(tr("Cover art from MusicBrainz"), FUi->TabSheet3);
    FMbCover->setObjectName(QStringLiteral("ckbMbCover"));
    FUi->vlCdRom->insertWidget(2, FMbCover);
    setTabOrder(FReadOffset, FMbCover);
    AddDiscHandlingOptions(this, FUi->TabSheet1, FUi->vlOutput, FUi->TabSheet3, FUi->vlCdRom);
    connect(FUi->cbCDList, &QComboBox::currentIndexChanged, this, &TOptionSetForm::ShowReadOffset);

    connect(FUi->ckNormalize, &QCheckBox::toggled, this, &TOptionSetForm::UpdateEnabled);
    connect(FUi->cbRipTime, &QCheckBox::toggled, this, &TOptionSetForm::UpdateEnabled);
    connect(FUi->ckbSelectVBR, &QCheckBox::toggled, this, &TOptionSetForm::UpdateEnabled);
    connect(FUi->cbOutputFormat, &QComboBox::currentIndexChanged, this, &TOptionSetForm::UpdateEnabled);
    connect(FUi->cbOutputFormat, &QComboBox::currentIndexChanged, this, &TOptionSetForm::UpdatePatternExample);
    connect(FPatternEdit, &QLineEdit::textChanged, this, &TOptionSetForm::UpdatePatternExample);
    connect(FUi->PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (FShown && FUi->PageControl1->widget(index) == FUi->TabSheet3)
            TabSheet3Show();
    });
    connect(FUi->btBrowser, &QPushButton::clicked, this, &TOptionSetForm::btBrowserClick);
    connect(FUi->bDefault, &QPushButton::clicked, this, &TOptionSetForm::bDefaultClick);
    connect(FUi->bWMADefault, &QPushButton::clicked, this, &TOptionSetForm::bWMADefaultClick);
    connect(FUi->btOk, &QPushButton::clicked, this, &TOptionSetForm::btOkClick);
    connect(FUi->btCancel, &QPushButton::clicked, this, &QDialog::reject);
    // The pages scroll where the screen is shorter than the window would be.
    const QSize natural = sizeHint().expandedTo(minimumSizeHint());
    MakePagesScroll(*FUi->PageControl1);
    FitToScreen(*this, natural);
}

TOptionSetForm::~TOptionSetForm() = default;

void TOptionSetForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!FShown) {
        FShown = true;
        FitToScreen(*this, size());
        FormShow();
    }
}

void TOptionSetForm::FormShow()
{
    TranslateForm(this, FLanguage);
    FController.Load();
    FReadOffsets = OptionsSetting.ReadOffsets;
    FWriteRipLog->setChecked(OptionsSetting.CommonOptions.WriteRipLog);
    FReplayGain->setChecked(OptionsSetting.CommonOptions.ReplayGain != 0);
    FMbCover->setChecked(OptionsSetting.MusicBrainz.Cover);
    FJobs->setValue(std::max(0, OptionsSetting.CommonOptions.Jobs));
    FExisting->setCurrentIndex(std::clamp(OptionsSetting.CommonOptions.Existing, 0, FExisting->count() - 1));
    ShowReadOffset(-1);
    FieldsToControls();
    if (FUi->PageControl1->currentWidget() == FUi->TabSheet3)
        TabSheet3Show();
}

void TOptionSetForm::FieldsToControls()
{
    const TOptionSetFields& f = FController.Fields;
    FUi->editOutputDir->setText(f.OutputDir);
    FUi->cbOutputFormat->setCurrentIndex(f.OutputFormat);
    FUi->ckbKeepWav->setChecked(f.DeleteWav);
    FPatternEdit->setText(f.FileNamePattern);
    UpdatePatternExample();
    FUi->ckNormalize->setChecked(f.Normalize);
    FUi->SpinEdit1->setValue(f.NormalizePercent);
    FUi->cbRipTime->setChecked(f.EnableRipTime);
    FUi->eRipTime->setText(f.RipTime);

    FUi->ckbSelectVBR->setChecked(f.SelectVBR);
    FUi->ckbVBRHead->setChecked(f.VBRHead);
    FUi->cbBitRate->setCurrentIndex(f.BitRate);
    FUi->cbMaxBitRate->setCurrentIndex(f.MaxBitRate);
    FUi->cbVBRQuality->setCurrentIndex(f.VBRQuality);
    FUi->cbMpegQuality->setCurrentIndex(f.MpegQuality);
    FUi->cbStereoMode->setCurrentIndex(f.StereoMode);

    FUi->cbUseCompress->setChecked(f.UseCompress);
    FUi->tbCompression->setValue(f.Compression);
    FUi->cbOggNomBit->setCurrentIndex(f.OggNomBit);
    FUi->cbOggMaxBit->setCurrentIndex(f.OggMaxBit);
    FUi->cbOggMinBit->setCurrentIndex(f.OggMinBit);
    FUi->cbWMABitrate->setCurrentIndex(f.WMABitrate);
    tbFlacLevel->setValue(f.FlacLevel);
    lbFlacLevelValue->setText(QString::number(f.FlacLevel));
    ckbFlacCuesheet->setChecked(f.FlacCuesheet);

    FUi->cbUseID3->setChecked(f.UseID3);
    SetLimitedText(FUi->ID3artist, f.Artist, ID3_TEXT_LIMIT);
    SetLimitedText(FUi->ID3album, f.Album, ID3_TEXT_LIMIT);
    SetLimitedText(FUi->ID3year, f.Year, ID3_YEAR_LIMIT);
    SetLimitedText(FUi->ID3comment, f.Comment, ID3_TEXT_LIMIT);
    FUi->ID3genre->setCurrentIndex(f.GenrePosition);
    FDiscNumber->setValue(f.DiscNumber);
    FDiscTotal->setValue(f.DiscTotal);

    FUi->ckbCDDb->setChecked(f.CDDb);
    // The enabled states follow the loaded values, whether a tick changed or not.
    UpdateEnabled();
}

void TOptionSetForm::ControlsToFields()
{
    TOptionSetFields& f = FController.Fields;
    f.OutputDir = FUi->editOutputDir->text();
    f.OutputFormat = FUi->cbOutputFormat->currentIndex();
    f.DeleteWav = FUi->ckbKeepWav->isChecked();
    f.FileNamePattern = FPatternEdit->text();
    f.Normalize = FUi->ckNormalize->isChecked();
    f.NormalizePercent = FUi->SpinEdit1->value();
    f.EnableRipTime = FUi->cbRipTime->isChecked();
    f.RipTime = FUi->eRipTime->text();

    f.SelectVBR = FUi->ckbSelectVBR->isChecked();
    f.VBRHead = FUi->ckbVBRHead->isChecked();
    f.BitRate = FUi->cbBitRate->currentIndex();
    f.MaxBitRate = FUi->cbMaxBitRate->currentIndex();
    f.VBRQuality = FUi->cbVBRQuality->currentIndex();
    f.MpegQuality = FUi->cbMpegQuality->currentIndex();
    f.StereoMode = FUi->cbStereoMode->currentIndex();

    f.UseCompress = FUi->cbUseCompress->isChecked();
    f.Compression = FUi->tbCompression->value();
    f.OggNomBit = FUi->cbOggNomBit->currentIndex();
    f.OggMaxBit = FUi->cbOggMaxBit->currentIndex();
    f.OggMinBit = FUi->cbOggMinBit->currentIndex();
    f.WMABitrate = FUi->cbWMABitrate->currentIndex();
    f.FlacLevel = tbFlacLevel->value();
    f.FlacCuesheet = ckbFlacCuesheet->isChecked();

    f.UseID3 = FUi->cbUseID3->isChecked();
    f.Artist = FUi->ID3artist->text();
    f.Album = FUi->ID3album->text();
    f.Year = FUi->ID3year->text();
    f.Comment = FUi->ID3comment->text();
    f.GenrePosition = FUi->ID3genre->currentIndex();
    f.DiscNumber = FDiscNumber->value();
    f.DiscTotal = FDiscTotal->value();

    f.DriveItem = FUi->cbCDList->currentIndex();
    f.CDDb = FUi->ckbCDDb->isChecked();
}

void TOptionSetForm::UpdateEnabled()
{
    FUi->SpinEdit1->setEnabled(FUi->ckNormalize->isChecked());
    FUi->eRipTime->setEnabled(FUi->cbRipTime->isChecked());
    const bool vbr = FUi->ckbSelectVBR->isChecked();
    FUi->ckbVBRHead->setEnabled(vbr);
    FUi->cbMaxBitRate->setEnabled(vbr);
    FUi->cbVBRQuality->setEnabled(vbr);
    // A WAV file is the result itself: there is nothing to delete after processing.
    FUi->ckbKeepWav->setEnabled(FUi->cbOutputFormat->currentIndex() != FormatWav);
}

void TOptionSetForm::UpdatePatternExample()
{
    FPatternExample->setText(LangString(QStringLiteral("RES_Pattern_Example"), QStringLiteral("示例："))
                             + PatternExample(FPatternEdit->text(), FormatExtension(FUi->cbOutputFormat->currentIndex())));
}

void TOptionSetForm::TabSheet3Show()
{
    const QStringList& drives = FController.ListDrives();
    FUi->cbCDList->clear();
    FUi->cbCDList->addItems(drives);
    // A combo box selects its first item when filled: the selection is the controller's.
    FUi->cbCDList->setCurrentIndex(FController.Fields.DriveItem);
}

void TOptionSetForm::btBrowserClick()
{
    const QString folder =
        FPrompter.AskFolder(LangString(QStringLiteral("RES_Select_Directory"),
                                       QStringLiteral("请选择保存MP3和WAV文件的目录：")),
                            BrowseStartFolder(FUi->editOutputDir->text()));
    if (!folder.isEmpty())
        FUi->editOutputDir->setText(folder);
}

void TOptionSetForm::btOkClick()
{
    ControlsToFields();
    const bool outputPage = FUi->PageControl1->currentWidget() == FUi->TabSheet1;
    switch (FController.Accept()) {
    case TOptionSetController::TRefusal::OutputFolder:
        if (outputPage)
            FUi->editOutputDir->setFocus();
        return;
    case TOptionSetController::TRefusal::RipTime:
        if (outputPage)
            FUi->eRipTime->setFocus();
        return;
    case TOptionSetController::TRefusal::None:
        ShowReadOffset(FUi->cbCDList->currentIndex());   // keeps the value shown
        OptionsSetting.ReadOffsets.clear();
        for (auto it = FReadOffsets.cbegin(); it != FReadOffsets.cend(); ++it)
            if (it.value() != 0)
                OptionsSetting.ReadOffsets.insert(it.key(), it.value());
        OptionsSetting.CommonOptions.WriteRipLog = FWriteRipLog->isChecked();
        OptionsSetting.CommonOptions.ReplayGain = FReplayGain->isChecked() ? 1 : 0;
        OptionsSetting.MusicBrainz.Cover = FMbCover->isChecked();
        OptionsSetting.CommonOptions.Jobs = FJobs->value();
        OptionsSetting.CommonOptions.Existing = std::max(0, FExisting->currentIndex());
        accept();
        return;
    }
}

void TOptionSetForm::bDefaultClick()
{
    ControlsToFields();
    FController.SetMp3Defaults();
    FieldsToControls();
}

// The FLAC page follows the WMA page: the compression level (0 fastest .. 8 smallest) and
// whether a disc becomes one file with a cue sheet.
void TOptionSetForm::BuildFlacPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheetFlac"));
    auto* layout = new QVBoxLayout(page);
    auto* caption = new QLabel(QStringLiteral("Compression level (0 fastest, 8 smallest):"), page);
    caption->setObjectName(QStringLiteral("lbFlacLevel"));
    tbFlacLevel = new QSlider(Qt::Horizontal, page);
    tbFlacLevel->setObjectName(QStringLiteral("tbFlacLevel"));
    tbFlacLevel->setRange(0, 8);
    tbFlacLevel->setPageStep(1);
    tbFlacLevel->setTickPosition(QSlider::TicksBelow);
    tbFlacLevel->setTickInterval(1);
    // The value shown beside the slider is no caption: it has no name to translate by.
    lbFlacLevelValue = new QLabel(page);
    connect(tbFlacLevel, &QSlider::valueChanged, lbFlacLevelValue,
            [this](int value) { lbFlacLevelValue->setText(QString::number(value)); });
    ckbFlacCuesheet = new QCheckBox(QStringLiteral("Whole disc as one file with a CUE sheet"), page);
    ckbFlacCuesheet->setObjectName(QStringLiteral("ckbFlacCuesheet"));
    layout->addWidget(caption);
    layout->addWidget(tbFlacLevel);
    layout->addWidget(lbFlacLevelValue);
    layout->addWidget(ckbFlacCuesheet);
    layout->addStretch();
    page->setProperty("langKey", QStringLiteral("PageControl1_PageFlac"));
    FUi->PageControl1->insertTab(FUi->PageControl1->indexOf(FUi->TabSheet6) + 1, page, QStringLiteral("FLAC"));
}

void TOptionSetForm::ShowReadOffset(int driveItem)
{
    if (!FOffsetKey.isEmpty())
        FReadOffsets[FOffsetKey] = FReadOffset->value();
    FOffsetKey = driveItem >= 0 ? ReadOffsetKeyOfDrive(driveItem) : QString();
    FReadOffset->setEnabled(!FOffsetKey.isEmpty());
    FReadOffset->setValue(FOffsetKey.isEmpty() ? 0 : FReadOffsets.value(FOffsetKey, 0));
}

void TOptionSetForm::bWMADefaultClick()
{
    FUi->cbWMABitrate->setCurrentIndex(DEFAULT_WMA_PROFILE);
}
