#pragma once
// The main window's view of the CD drive: which drive it uses, whether an audio disc is in
// it, and the rows of its track list. Shared by the main window and the command line so
// both list a disc the same way; every text it produces is a status-line text.
#include "app/core/TrackList.h"
#include "cd/DiscReader.h"
#include "platform/akrip32.h"
#include "platform/CDImageMedia.h"
#include <QString>
#include <QVector>
#include <memory>

class TCDIn;

// Two ways to the drive: a handle of the first CD library, or, when that library gives
// none, the CD input component (UseCDIn). DiscId, the rows, the titles and the status
// texts come out the same either way.
class TDiscSession {
public:
    TDiscSession() = default;
    ~TDiscSession();
    TDiscSession(const TDiscSession&) = delete;
    TDiscSession& operator=(const TDiscSession&) = delete;

    // Finds drive `index` (negative or past the drive count: the first drive) and returns a
    // handle, 0 on failure. Sets the status text (the drive's name, or "no drive found").
    HCDROM SelectDrive(int index);

    // The CD input component's drive `index` (out of range: its first) becomes the drive of
    // the session, which then lists through the component. False when it has no drive; the
    // status text is then "no drive found".
    bool UseCDIn(TCDIn& cdIn, int index);
    bool UsingCDIn() const { return FHandle == 0 && FCDIn != nullptr; }

    // True when the selected drive holds an audio CD.
    bool AudioDiscPresent() const;

    // Identifier of the disc in the selected drive, for the disc information cache; empty
    // when there is no audio disc or its table of contents cannot be read.
    QString DiscId() const;

    // Reads the table of contents and computes the rows, loading the disc's cached titles
    // (or its CD-Text when the cache has none) into OptionsSetting.CDInfo first. Returns
    // false when the table of contents cannot be read; the status text says why.
    bool ReadDiscList(QVector<TTrackRow>& rows);

    // Identifier of the disc the last successful ReadDiscList listed (empty: none).
    const QString& ListedDiscId() const { return FListedDiscId; }
    // Sectors of digital silence before track 1 the last listing found (no track 0 made).
    int64_t SilentHiddenSectors() const { return FSilentHiddenSectors; }
    void ForgetListedDisc() { FListedDiscId.clear(); }

    // Stores the titles of the listed rows (number and title as shown) in the disc cache
    // under the listed disc's identifier, whatever disc the drive holds now. True when
    // nothing was listed or the cache was written.
    bool SaveListedTitles(const QVector<TTrackRow>& rows);

    // Closes the handle (true when there was none or it closed).
    bool CloseHandle();

    HCDROM CDHandle() const { return FHandle; }
    // What a rip reads the disc through: the handle of the first CD library, else the CD
    // input component's drive; null when neither serves a disc.
    std::unique_ptr<TDiscSource> RipSource() const;
    int DriveIndex() const { return FDrive; }
    const QString& DriveText() const { return FDriveText; }
    const QString& StatusText() const { return FStatus; }
    void SetStatusText(const QString& text) { FStatus = text; }

    // The status texts of the drive states.
    static QString NotFoundText();      // no drive
    static QString CheckCDRomText();    // no audio disc
    static QString NotReadText();       // table of contents unreadable
    // The text for a drive without an audio disc: a disc image names its file and why it
    // cannot be read; a physical drive asks for a disc (CheckCDRomText).
    QString NoDiscText() const;
    static QString ImageProblemText(const QString& path, TImageProblem problem);

private:
    bool ReadToc(TTocRecord& toc) const;
    bool ReadCDInToc(TTocRecord& toc) const;

    HCDROM FHandle = 0;
    TCDIn* FCDIn = nullptr;        // not owned
    int FDrive = -1;               // position in the shared drive table
    QString FDriveText;
    QString FStatus;
    QString FListedDiscId;
    int64_t FSilentHiddenSectors = 0;
};
