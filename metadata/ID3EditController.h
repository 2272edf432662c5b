#pragma once
// The ID3 tag editor's state: the file it shows, the texts of its fields, and what Load,
// Save, Save As and Remove do with them. The editor window is a view over it; the tests
// drive it directly. Questions, messages and file choices go through the prompter.
//
// Save and Remove always act on the file the caption names (the file loaded or saved
// last), never on whatever file the tag object touched last.
#include "platform/Prompter.h"
#include "metadata/id3.h"
#include <QObject>
#include <QStringList>

class TID3EditController : public QObject {
    Q_OBJECT
public:
    struct TFields {
        QString Title, Artist, Album, Year, Comment;
        QString Track;    // decimal, at most two digits; empty keeps the tag's track number
        int Genre = -1;   // position in GenreEntries(): -1 no selection, 0 the empty entry
        bool operator==(const TFields&) const = default;
    };
    enum class TField { Title, Artist, Album, Year, Comment, Track };

    explicit TID3EditController(TPrompter& prompter, QObject* parent = nullptr);

    const TFields& Fields() const { return FFields; }
    void SetFields(const TFields& fields);

    // The file loaded or saved last; empty before the first load or save.
    const QString& FileShown() const { return FFile; }
    // "<file>: " + the editor's caption once a file is shown, else the caption alone.
    QString Caption() const;
    // Save Tag and Remove Tag can be chosen: a file is shown.
    bool CanSave() const { return !FFile.isEmpty(); }

    // Load Tag: asks for an MP3 file and shows its tag (no tag, or a file that cannot be
    // read: empty fields, track "0").
    void LoadTag();
    void Load(const QString& fileName);
    // Save Tag: writes the fields into the file shown. False (after the error box) on failure.
    bool SaveTag();
    // Save As: asks for another existing MP3 file and writes the fields into it; on success
    // that file is the one shown.
    void SaveAs();
    bool SaveAs(const QString& fileName);
    // Remove Tag: asks, then cuts the tag off the file shown and empties the fields. A tag
    // that stays (a read-only file) is reported and the fields are kept.
    void RemoveTag();

    // How many bytes a field stores: an edit holds no more than that, so what is shown is
    // what is saved. The comment keeps 28 bytes when the saved tag will carry a track number.
    int FieldWidth(TField field) const;
    static bool FitsField(const QString& text, int width);
    // Text a track edit may hold: up to two digits.
    static bool IsTrackText(const QString& text);

    static QString BaseCaption();       // "RES_ID3Edit_Caption"
    static QStringList GenreEntries();  // an empty entry, then every genre name
    static QString FileFilter();

signals:
    // The fields, the caption or the enabled state changed: the view shows them again.
    void Changed();

private:
    void ShowTag(const Tid3tag& tag);
    void ShowNoTag();
    bool Write(const QString& fileName);
    int TrackToSave() const;

    TPrompter& FPrompter;
    Tid3tag FTag;
    TFields FFields;
    TFields FLoaded;      // the fields as the file shown holds them
    QString FFile;
};
