#pragma once
// The step-by-step progress window: a small modal dialog over a conversion job or a rip
// job. It shows the job's caption, step, times and gauge, forwards Stop, and closes itself
// when the job asks to. The job starts in the constructor; the caller shows the window
// modally.
#include "jobs/ConversionJob.h"

#include <QDialog>
#include <memory>

namespace Ui { class RipForm; }
class QTreeWidget;
class TMp3EncodeProcess;
class TWMAEncodeProcess;
class TDiscSource;

class TRipForm : public QDialog {
    Q_OBJECT
public:
    // prompter: none gives message boxes over this window. The encoder processes may be
    // shared ones; none: the job makes its own.
    // A conversion of files in mode `mode` (TConversionJob's modes).
    TRipForm(QWidget* owner, int mode, const QStringList& entries, TPrompter* prompter = nullptr,
             TMp3EncodeProcess* mp3 = nullptr, TWMAEncodeProcess* wma = nullptr);
    // A rip of the disc's tracks (disc must outlive the window).
    TRipForm(QWidget* owner, TDiscSource& disc, const QStringList& entries, TPrompter* prompter = nullptr,
             TMp3EncodeProcess* mp3 = nullptr, TWMAEncodeProcess* wma = nullptr);
    ~TRipForm() override;

    TJobBase& Job() { return *FJob; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    TRipForm(QWidget* owner, TPrompter* prompter);
    // Starts the job; readerRow: a row for the reader beside the workers'.
    void Begin(QWidget* owner, bool readerRow);
    void ShowView();
    void StopClick();

    std::unique_ptr<Ui::RipForm> FUi;
    std::unique_ptr<TPrompter> FOwnPrompter;
    std::unique_ptr<TJobBase> FJob;
    QTreeWidget* FRows = nullptr;   // with several workers: their rows and the reader's
    bool FTranslated = false;
};
