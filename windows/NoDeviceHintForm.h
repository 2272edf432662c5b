#pragma once
// The hint shown when no CD drive can be reached at all: the likely causes on this system,
// two pages to read, and each CD device node found with the reason it cannot be opened.
#include <QDialog>

class QLabel;
class QPushButton;

class TfrmNoDeviceHint : public QDialog {
    Q_OBJECT
public:
    explicit TfrmNoDeviceHint(QWidget* parent = nullptr);

    QLabel* lForceASPI() const { return FGroupsLink; }
    QLabel* lAdaptec() const { return FDriveLink; }
    QLabel* lDevices() const { return FDevices; }
    QPushButton* bClose() const { return FClose; }

private:
    void OpenLink(const QString& url);

    QLabel* FGroupsLink = nullptr;
    QLabel* FDriveLink = nullptr;
    QLabel* FDevices = nullptr;
    QPushButton* FClose = nullptr;
};
