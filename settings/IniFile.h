#pragma once
// INI files with the semantics of the Windows profile functions: case-insensitive section
// and key names, values read up to 2047 characters, integers in decimal or "0x" hex,
// booleans written "1"/"0", and edits made in place so that unknown sections, keys and
// comments survive a save. The file is read once at construction; writes are kept in
// memory until UpdateFile, which replaces the file atomically.
#include <QString>
#include <QStringList>
#include <memory>

class TIniFile {
public:
    static constexpr int MaxValueLength = 2047;

    explicit TIniFile(const QString& fileName);    // a missing or unreadable file reads as empty
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const QString& FileName() const;

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    int ReadInteger(const QString& section, const QString& key, int def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QStringList ReadSections() const;
    QStringList ReadSection(const QString& section) const;   // key names, file order

    // Writes the file (creating its folder is the caller's business). Returns false and
    // leaves the old file untouched when it cannot be written.
    bool UpdateFile();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
