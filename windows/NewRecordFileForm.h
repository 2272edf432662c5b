#pragma once
// "New sound file": the sample rate, bits and channels of a new recording.
#include "players/RecordController.h"
#include <QDialog>
#include <memory>

namespace Ui { class frmNewRecordFile; }

class TfrmNewRecordFile : public QDialog {
    Q_OBJECT
public:
    explicit TfrmNewRecordFile(QWidget* parent = nullptr);
    ~TfrmNewRecordFile() override;

    TRecordController::TNewFormat Format() const;

private:
    std::unique_ptr<Ui::frmNewRecordFile> ui;
};
