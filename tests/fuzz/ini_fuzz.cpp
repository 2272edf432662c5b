// Feeds arbitrary bytes to the INI parser, reads every section and key back, edits the
// file and checks that what was written reads back the same after a re-parse.
#include "settings/IniFile.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    TIniFile ini(QStringLiteral("fuzz.ini"), bytes);

    const QStringList sections = ini.ReadSections();
    for (const QString& section : sections) {
        if (!ini.SectionExists(section)) std::abort();
        for (const QString& key : ini.ReadSection(section)) {
            if (!ini.ValueExists(section, key)) std::abort();
            if (ini.ReadString(section, key, QString()).size() > TIniFile::MaxValueLength) std::abort();
            (void)ini.ReadInteger(section, key, 0);
            (void)ini.ReadBool(section, key, true);
        }
    }

    // Use a slice of the input as a value: whatever it holds must read back unchanged apart
    // from line breaks and NULs, which become spaces.
    QString value = QString::fromUtf8(bytes.left(64));
    ini.WriteString(QStringLiteral("Fuzz"), QStringLiteral("Value"), value);
    ini.WriteInteger(QStringLiteral("Fuzz"), QStringLiteral("Number"), int(size));
    if (!sections.isEmpty()) ini.WriteBool(sections.front(), QStringLiteral("Flag"), true);

    TIniFile again(QStringLiteral("fuzz.ini"), ini.ToBytes());
    for (QChar& c : value)
        if (c == u'\r' || c == u'\n' || c == QChar(0)) c = u' ';
    if (again.ReadString(QStringLiteral("fuzz"), QStringLiteral("value"), QString()) != value.left(TIniFile::MaxValueLength))
        std::abort();
    if (again.ReadInteger(QStringLiteral("FUZZ"), QStringLiteral("NUMBER"), -1) != int(size)) std::abort();
    return 0;
}
