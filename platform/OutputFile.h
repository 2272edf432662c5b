#pragma once
// How every file a job makes is written: as "<final>.part" in the target's folder, each
// write and the close checked, and renamed over its final name only when complete. A stop,
// a failure or a crash therefore never leaves a partial file under a final name; the next
// job that wants the name removes the stale part file. What happens to a file that already
// has the final name is the job's TExistingFiles decision, made before anything is written.
#include "platform/Prompter.h"

#include <QFile>
#include <QSet>
#include <QString>

// "<final>.part" (a name too long for that: its start, "~" and a hash of the whole name,
// then ".part", within 255 bytes).
QString PartPathOf(const QString& finalPath);
// Removes a part file left under `finalPath`'s part name by an earlier run (killed, or
// stopped while the file was written); true when none is there afterwards.
bool RemoveStalePart(const QString& finalPath);
// Makes the complete part file the final file: flushes it to the disk and renames it over
// `finalPath` (one step within a folder). On failure the part file is removed and `error`
// (when given) names the cause.
bool CommitPart(const QString& partPath, const QString& finalPath, QString* error = nullptr);
// Removes a part file that will not be completed.
void DiscardPart(const QString& partPath);

// A plain-language cause of a failed write, create or rename of `path` from its errno:
// "the disk is full", "the folder is read-only", "the folder does not exist", "permission
// denied", else the system's text. Always names the file.
QString WriteErrorText(int error, const QString& path);
QString WriteErrorText(const QFile& file);
// True for a text WriteErrorText made with one of its plain causes (the disk is full, the
// folder is read-only, does not exist, permission denied): a message to show as it is.
bool IsPlainWriteError(const QString& text);

// A small file written whole (cue sheet, rip log, cover, settings-like text): Open writes
// to the part file, Commit checks the writes and the close and renames it into place.
// Destroyed without a Commit, the part file is removed.
class TOutputFile {
public:
    explicit TOutputFile(const QString& finalPath);
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    bool Open();                        // false: Error() says why
    QFile& File() { return FFile; }
    bool Write(const QByteArray& data); // false (and Error) on a short or failed write
    bool Commit();                      // false: Error() says why; the part file is gone
    void Discard();
    const QString& FinalPath() const { return FFinal; }
    const QString& Error() const { return FError; }

private:
    QString FFinal;
    QFile FFile;
    QString FError;
    bool FDone = false;
};
// Writes `data` to `finalPath` through a TOutputFile; false with `error` set on failure.
bool WriteWholeFile(const QString& finalPath, const QByteArray& data, QString* error = nullptr);

// What a job does when an output's final name is taken ([CommonOptions] Existing).
enum class TExisting { Ask = 0, Skip = 1, Rename = 2, Overwrite = 3 };
// "ask", "skip", "rename", "overwrite" (the command line's --existing words); false for
// anything else.
bool ParseExisting(const QString& word, TExisting& value);

// One job's decisions about output names: a name two entries of the job want goes to the
// first (the later one gets " (2)", " (3)" ... before the extension); a name a file already
// has is asked about once (Yes to all / No to all hold for the rest of the job), skipped,
// renamed or overwritten as the policy says. Without a prompter, Ask keeps the file.
class TExistingFiles {
public:
    explicit TExistingFiles(TExisting policy = TExisting::Ask, TPrompter* prompter = nullptr);

    struct TDecision {
        enum Kind { Write, Skip, Keep };
        Kind Action = Write;
        QString Path;      // Write: the final name to write (maybe renamed); else the kept file
        QString Reason;    // Keep: the message for the entry's failure
    };
    // The final name for an output that wants `wanted`. Write: write a part file and commit
    // it to Path (an existing file there is replaced only when the user or the policy said
    // so). Skip: the existing file counts as the entry's output. Keep: the entry fails with
    // Reason, the existing file untouched.
    TDecision Decide(const QString& wanted);
    // Claims `path` for this job without asking (a name it makes itself, e.g. a work file).
    void Claim(const QString& path) { FClaimed.insert(Key(path)); }
    bool Claimed(const QString& path) const { return FClaimed.contains(Key(path)); }
    TExisting Policy() const { return FPolicy; }

private:
    static QString Key(const QString& path);
    QString Unclaimed(const QString& wanted) const;
    TExisting FPolicy;
    TPrompter* FPrompter;
    QSet<QString> FClaimed;
    bool FYesToAll = false;
    bool FNoToAll = false;
};
// " (2)" before the extension of `path` ("a/b.mp3" -> "a/b (2).mp3"), n >= 2.
QString NumberedPath(const QString& path, int n);
