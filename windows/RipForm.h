#pragma once
// The conversion job's progress window: a small modal dialog over a TConversionJob. It
// shows the job's caption, step, times and gauge, forwards Stop, and closes itself when the
// job asks to. The job starts in the constructor; the caller shows the window modally.
#include "jobs/ConversionJob.h"

#include <QDialog>
#include <memory>

namespace Ui { class RipForm; }
class QTreeWidget;
class TMp3EncodeProcess;
class TWMAEncodeProcess;

class TRipForm : public QDialog {
    Q_OBJECT
public:
    // prompter: none gives message boxes over this window. The encoder processes may be
    // shared ones; none: the job makes its own.
    TRipForm(QWidget* owner, int mode, HCDROM cdHandle, const QStringList& entries,
             TPrompter* prompter = nullptr, TMp3EncodeProcess* mp3 = nullptr, TWMAEncodeProcess* wma = nullptr);
    ~TRipForm() override;

    TConversionJob& Job() { return *FJob; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void ShowView();
    void StopClick();

    std::unique_ptr<Ui::RipForm> FUi;
    std::unique_ptr<TPrompter> FOwnPrompter;
    std::unique_ptr<TConversionJob> FJob;
    QTreeWidget* FRows = nullptr;   // with several workers: their rows and the reader's
    bool FTranslated = false;
};
