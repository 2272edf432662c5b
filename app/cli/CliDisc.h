#pragma once
// The disc in one drive, opened as every command that reads a disc opens it: through the
// first CD library, or, when that library gives no drive, through the CD input component;
// then the audio disc checked and its track list read. Each failure prints its reason on
// stderr (no drive at all: the no-device hint's lines).
#include "app/core/DiscSession.h"
#include "cd/CDInput.h"

#include <QVector>
#include <memory>

class TCliDisc {
public:
    enum TRoute {
        AnyLibrary,          // the first library, else the CD input component
        FirstLibraryOnly,    // commands that need a handle of the first library
        CDInputOnly,         // commands that read the table of contents through the component
    };
    // False when there is no drive, no audio disc or no readable table of contents (the
    // reason printed).
    bool Open(int drive, TRoute route = AnyLibrary);

    TDiscSession& Session() { return FSession; }
    HCDROM Handle() const { return FSession.CDHandle(); }
    // The component when it serves the disc; null otherwise.
    TCDIn* CDIn() { return FSession.UsingCDIn() ? FCDIn.get() : nullptr; }
    const QVector<TTrackRow>& Rows() const { return FRows; }

private:
    std::unique_ptr<TCDIn> FCDIn;   // made only when needed: it writes its settings file
    TDiscSession FSession;          // refers to FCDIn: declared after it
    QVector<TTrackRow> FRows;
};
