#pragma once
// The options window: output, normalizing, rip length, MP3, OGG, WMA and FLAC settings, the
// disc's tag fields and the CD drive. A view over TOptionSetController, which fills,
// checks and stores; nothing here is written to disk.
#include "app/core/OptionSetController.h"
#include <QDialog>
#include <QMap>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;
class QComboBox;
class QSpinBox;

namespace Ui {
class OptionSetForm;
}

class TOptionSetForm : public QDialog {
    Q_OBJECT
public:
    TOptionSetForm(TPrompter& prompter, TOptionSetHost host, QWidget* parent = nullptr);
    ~TOptionSetForm() override;

    TOptionSetController& Controller() { return FController; }
    // The language file the window takes its captions from ("Chinese"); tests name another.
    void SetLanguageName(const QString& name) { FLanguage = name; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void FieldsToControls();
    void ControlsToFields();
    void UpdateEnabled();
    void UpdatePatternExample();
    void TabSheet3Show();
    void btBrowserClick();
    void btOkClick();
    void bDefaultClick();
    void bWMADefaultClick();
    void BuildFlacPage();
    // The read offset of the drive chosen on the CD-ROM page, kept per drive until OK.
    void ShowReadOffset(int driveItem);

    std::unique_ptr<Ui::OptionSetForm> FUi;
    QLineEdit* FPatternEdit = nullptr;     // the file-name pattern, below the output folder
    QLabel* FPatternExample = nullptr;     // that pattern with sample values
    TPrompter& FPrompter;
    TOptionSetController FController;
    QString FLanguage = QStringLiteral("Chinese");
    bool FShown = false;
    // The FLAC page, made in code.
    QSlider* tbFlacLevel = nullptr;
    QLabel* lbFlacLevelValue = nullptr;
    QCheckBox* ckbFlacCuesheet = nullptr;
    QCheckBox* FWriteRipLog = nullptr;        // Output page
    QCheckBox* FReplayGain = nullptr;         // Output page
    QSpinBox* FJobs = nullptr;                // Output page: encode workers
    QComboBox* FExisting = nullptr;           // Output page: what to do with existing files
    QSpinBox* FReadOffset = nullptr;          // CD-ROM page
    QMap<QString, int32_t> FReadOffsets;      // as edited, stored on OK
    QString FOffsetKey;                       // the drive FReadOffset shows
    QCheckBox* FMbCover = nullptr;            // CD-ROM page: MusicBrainz.Cover
    QSpinBox* FDiscNumber = nullptr;          // ID3 page: disc n of N (0: not known)
    QSpinBox* FDiscTotal = nullptr;
};
