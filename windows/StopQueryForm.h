#pragma once
// The waiting box of a CDDB lookup through the first CD library: starts the query thread
// when shown, applies a found entry on the main thread (through OnEntry) and closes, or shows
// why nothing was found. Stop abandons the query and closes at once.
#include "metadata/CddbLookup.h"

#include <QDialog>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QFrame;

class TfrmStopQuery : public QDialog {
    Q_OBJECT
public:
    static constexpr int Finished = 7;   // the dialog's result when an entry was applied

    TfrmStopQuery(uint8_t firstTrack, uint8_t lastTrack, HCDROM handle, QWidget* parent = nullptr);
    ~TfrmStopQuery() override;

    std::function<void(const TCddbEntry&)> OnEntry;
    // Request timeouts of the thread (tests shorten them).
    int IdleTimeoutMs = 10000;
    int TimeoutMs = 30000;

    bool Running() const { return FRunning; }

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void StopClick();

    uint8_t FFirst;
    uint8_t FLast;
    HCDROM FHandle;
    bool FStarted = false;
    bool FRunning = false;
    std::unique_ptr<TQueryCDDBThread> FThread;
    QLabel* FHint = nullptr;
    QFrame* FPanel = nullptr;
    QLabel* FLabel1 = nullptr;
    QPushButton* FStop = nullptr;
};
