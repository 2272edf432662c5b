// Language files "CLan_<name>.ini" and the message texts they carry.
#include "settings/Lang.h"

#include "settings/Global.h"
#include "settings/IniFile.h"
#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>

#ifndef VARNELCD_DATADIR
#define VARNELCD_DATADIR ""
#endif

namespace {

// The file of that name in `folder`, its case ignored (language names are written in any
// case in settings files: "chinese" finds "CLan_Chinese.ini"); empty when there is none.
QString FindIgnoringCase(const QString& folder, const QString& fileName)
{
    if (folder.isEmpty())
        return {};
    const QDir dir(folder);
    if (QFileInfo::exists(dir.filePath(fileName)))
        return dir.filePath(fileName);
    const QStringList entries = dir.entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name);
    for (const QString& entry : entries)
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    return {};
}

} // namespace

QString LanguageFileName(const QString& languageName)
{
    // The language name comes from the settings file; it names a file, never a path.
    QString name = languageName;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    const QString fileName = QStringLiteral("CLan_") + name + QStringLiteral(".ini");

    const QString inProgramFolder = FindIgnoringCase(ProgramFolder(), fileName);
    if (!inProgramFolder.isEmpty())
        return inProgramFolder;
    const QString installed = FindIgnoringCase(QStringLiteral(VARNELCD_DATADIR), fileName);
    if (!installed.isEmpty())
        return installed;
    return ProgramFolder() + fileName;
}

QString LangString(const QString& key, const QString& builtInText)
{
    const QString& language = OptionsSetting.Lan;
    // A record whose language was never set (settings not loaded yet, or an empty "Lan"
    // value) shows the built-in texts, like the default language "English"; so does a
    // language whose file is not there.
    if (language.isEmpty() || language.compare(QLatin1String("ENGLISH"), Qt::CaseInsensitive) == 0)
        return builtInText;
    const QString fileName = LanguageFileName(language);
    if (!QFileInfo::exists(fileName))
        return builtInText;
    // A key the file lacks (a file older than the text) shows the built-in text too; a key
    // present with an empty value shows nothing, as the file says.
    const TIniFile ini(fileName);
    return ini.ReadString(QStringLiteral("ResourceString"), key, builtInText);
}
