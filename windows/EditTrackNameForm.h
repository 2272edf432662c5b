#pragma once
// The track title window: asks for a new title of the selected track. A thin view over
// TEditTrackNameController; OK can be chosen while the title is not empty.
#include "metadata/EditTrackNameController.h"
#include <QDialog>
#include <memory>

namespace Ui {
class frmEditTrackName;
}
class QAction;

class TfrmEditTrackName : public QDialog {
    Q_OBJECT
public:
    explicit TfrmEditTrackName(QWidget* parent = nullptr);
    ~TfrmEditTrackName() override;

    // The title shown in eName, and the title it holds (as it will be kept).
    void SetTitle(const QString& title);
    QString Title() const { return FController->Title(); }
    TEditTrackNameController& Controller() { return *FController; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::frmEditTrackName> ui;
    TEditTrackNameController* FController = nullptr;
    QAction* FOK = nullptr;
};
