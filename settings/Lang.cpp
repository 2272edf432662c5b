// Language files "CLan_<name>.ini" and the message texts they carry.
#include "settings/Lang.h"

#include "settings/Global.h"
#include "settings/HelperPaths.h"
#include "settings/IniFile.h"
#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>

QString LanguageFileName(const QString& languageName)
{
    // The language name comes from the settings file; it names a file, never a path.
    QString name = languageName;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    const QString fileName = QStringLiteral("CLan_") + name + QStringLiteral(".ini");

    const QString found = FindDataFile(fileName);
    if (!found.isEmpty())
        return found;
    return ProgramFolder() + fileName;
}

QString LangString(const QString& key, const QString& builtInText)
{
    const QString& language = OptionsSetting.Lan;
    // A record whose language was never set (settings not loaded yet, or an empty "Lan"
    // value) shows the built-in texts, like the default language "English".
    if (language.isEmpty() || language.compare(QLatin1String("ENGLISH"), Qt::CaseInsensitive) == 0)
        return builtInText;
    const TIniFile ini(LanguageFileName(language));
    return ini.ReadString(QStringLiteral("ResourceString"), key, QString());
}
