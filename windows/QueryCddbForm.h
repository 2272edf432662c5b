#pragma once
// The CDDB settings window of a lookup through the first CD library: server, script and
// proxy; Query copies them into the settings and opens the waiting box.
#include "metadata/CddbProtocol.h"
#include "platform/akrip32.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// The servers offered in the list, the default first.
QStringList CddbServerList();

class TfrmQueryCDDB : public QDialog {
    Q_OBJECT
public:
    TfrmQueryCDDB(uint8_t firstTrack, uint8_t lastTrack, HCDROM handle, QWidget* parent = nullptr);
    std::function<void(const TCddbEntry&)> OnEntry;   // handed to the waiting box

    void QueryClick();
    void DefaultClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ProxyClick();

    uint8_t FFirst;
    uint8_t FLast;
    HCDROM FHandle;
    bool FShown = false;
    QComboBox* FServer = nullptr;
    QLineEdit* FScript = nullptr;
    QCheckBox* FProxy = nullptr;
    QLineEdit* FAddress = nullptr;
    QLineEdit* FPort = nullptr;
};
