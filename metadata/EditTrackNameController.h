#pragma once
// The track title window's state: the title being typed and whether it can be taken.
// Titles go into the disc cache and into file names, so a line break or other control
// character (typed or pasted) becomes a space, and a title is no longer than the cache
// keeps.
#include <QObject>
#include <QString>

class TEditTrackNameController : public QObject {
    Q_OBJECT
public:
    explicit TEditTrackNameController(QObject* parent = nullptr) : QObject(parent) {}

    const QString& Title() const { return FTitle; }
    void SetTitle(const QString& title);
    // OK can be chosen: the title is not empty.
    bool CanAccept() const { return !FTitle.isEmpty(); }

    // The title as it is kept: control characters replaced by spaces, at most MaxLength
    // characters (never cut inside a surrogate pair).
    static QString CleanTitle(const QString& text);
    static int MaxLength();

signals:
    void Changed();

private:
    QString FTitle;
};
