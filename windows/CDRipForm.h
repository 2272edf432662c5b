#pragma once
// The rip job's window: a small modal dialog over a TCDRipJob. It shows the track worked
// on, the output format, the counts, the step and its gauge (and with several encode
// workers a row for the reader and each worker), forwards Stop, and closes
// itself when the job asks to. The job starts in the constructor; the caller shows the
// window modally.
#include "jobs/CDRipJob.h"

#include <QDialog>
#include <memory>

class QLabel;
class QTreeWidget;
namespace Ui { class frmCDRip; }

class TfrmCDRip : public QDialog {
    Q_OBJECT
public:
    // prompter: none gives message boxes over this window. The encoder processes may be
    // shared ones; none: the job makes its own.
    TfrmCDRip(QWidget* owner, TDiscSource& disc, const QStringList& entries, TPrompter* prompter = nullptr,
              TMp3EncodeProcess* mp3 = nullptr, TWMAEncodeProcess* wma = nullptr);
    ~TfrmCDRip() override;

    TCDRipJob& Job() { return *FJob; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void ShowView();

    std::unique_ptr<Ui::frmCDRip> FUi;
    std::unique_ptr<TPrompter> FOwnPrompter;
    std::unique_ptr<TCDRipJob> FJob;
    QTreeWidget* FRows = nullptr;         // the reader's and the workers' rows
    QLabel* FVerdicts = nullptr;          // the databases' verdicts at the end
    bool FTranslated = false;
};
