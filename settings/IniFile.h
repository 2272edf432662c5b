#pragma once
// INI files with the semantics of the Windows profile functions: case-insensitive section
// and key names, values read up to 2047 characters, integers in decimal or "0x" hex,
// booleans written "1"/"0", and edits made in place so that unknown sections, keys and
// comments survive a save. Written values lose CR, LF and NUL characters (each becomes a
// space) so that they cannot break the file; a value with outer blanks or outer quotes is
// written in double quotes so that it reads back unchanged. The file is read once at
// construction; writes are kept in memory until UpdateFile, which replaces the file
// atomically. Sections are found by one scan of the file and decoded when first used; each
// line is decoded on its own (UTF-8 when valid, else GBK), and a line nobody changed is
// written back byte for byte, whatever its encoding. A file that exists but cannot be read
// (or is larger than MaxFileSize) reads as empty, and UpdateFile then refuses to overwrite it.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class TIniFile {
public:
    static constexpr int MaxValueLength = 2047;
    static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

    explicit TIniFile(const QString& fileName);    // a missing or unreadable file reads as empty
    // Parses `contents` instead of reading the file; UpdateFile still writes to `fileName`.
    TIniFile(const QString& fileName, const QByteArray& contents);
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

    void EraseSection(const QString& section);                // every section of that name
    void DeleteKey(const QString& section, const QString& key);

    // The text UpdateFile writes (UTF-8, the file's own line ending; "\n" for a new file).
    QByteArray ToBytes() const;

    // Writes the file (creating its folder is the caller's business). Returns false and
    // leaves the old file untouched when it cannot be written.
    bool UpdateFile();

private:
    void Write(void* sink) const;   // the text of ToBytes, to a collector of IniFile.cpp
    struct Impl;
    std::unique_ptr<Impl> d;
};
