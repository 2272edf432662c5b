#pragma once
// What make-test-disc is asked to write: tracks, their lengths and the CD-Text.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

struct TTrackSpec {
    bool Audio = true;
    int Sectors = 0;
    QString Title;
    QString Performer;
    int Gap = 0;                     // the first Gap sectors are INDEX 00, then INDEX 01
    std::vector<int> Indices;        // INDEX 02, 03, ...: sectors after INDEX 01
    QString Isrc;
    bool PreEmphasis = false;        // FLAGS PRE
    bool CopyPermitted = false;      // FLAGS DCP
};

struct TDiscSpec {
    QString OutBase;                 // DIR/NAME without extension
    int Pregap = 0;                  // sectors of silence before track 1 (INDEX 00)
    bool HiddenAudio = false;        // the sectors before track 1 hold audio (track 0's pattern)
    QString Catalog;                 // CATALOG line
    bool CdText = false;
    bool Demo = false;
    QString DiscTitle;
    QString DiscPerformer;
    std::vector<TTrackSpec> Tracks;
};

// Parses the command line (without the program name). On failure returns false with a
// message in error. `help` is set when --help was asked for.
bool ParseArguments(const QStringList& args, TDiscSpec& desc, QString& error, bool& help);

// The text of --help.
QString UsageText();

// Builds the .cue text for desc, with binName as the FILE entry.
QByteArray BuildCueSheet(const TDiscSpec& desc, const QString& binName);
