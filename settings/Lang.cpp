// Language files "CLan_<name>.ini" and the message texts they carry.
#include "settings/Lang.h"

#include "settings/Global.h"
#include "settings/HelperPaths.h"
#include "settings/IniFile.h"
#include "settings/Options.h"
#include "platform/Prompter.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <memory>
#include <mutex>

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

    // VARNELCD_LANG_DIR, when set, is looked at first: a translator tries a file there
    // without copying it beside the program.
    QStringList folders = DataFolders();
    const QString own = qEnvironmentVariable("VARNELCD_LANG_DIR");
    if (!own.isEmpty())
        folders.prepend(own);
    for (const QString& folder : folders) {
        const QString found = FindIgnoringCase(folder, fileName);
        if (!found.isEmpty())
            return found;
    }
    return ProgramFolder() + fileName;
}

namespace {

QString& RunInterfaceLanguage()
{
    static QString language;
    return language;
}

bool IsNamed(const QString& value, const char* name)
{
    return value.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

const QString ChineseName = QStringLiteral("Chinese");
const QString EnglishName = QStringLiteral("English");

} // namespace

QString InterfaceLanguage()
{
    const QString& chosen = RunInterfaceLanguage().isEmpty() ? OptionsSetting.Interface : RunInterfaceLanguage();
    return IsNamed(chosen.trimmed(), "English") ? EnglishName : ChineseName;
}

bool IsEnglishInterface()
{
    return InterfaceLanguage() == EnglishName;
}

void SetRunInterfaceLanguage(const QString& language)
{
    RunInterfaceLanguage() = language;
}

QString InterfaceLanguageFromArgument(const QString& value)
{
    const QString v = value.trimmed();
    if (IsNamed(v, "en") || IsNamed(v, "english"))
        return EnglishName;
    if (IsNamed(v, "zh") || IsNamed(v, "cn") || IsNamed(v, "chinese"))
        return ChineseName;
    return {};
}

QString WindowLanguage(const QString& asked)
{
    return IsNamed(asked, "Chinese") ? InterfaceLanguage() : asked;
}

QString LangString(const QString& key, const QString& builtInText)
{
    QString language = InterfaceLanguage();
    // Under the Chinese interface a language named by Lan keeps its own file; an empty Lan
    // (settings not loaded yet) and the default "English" name none.
    const QString& lan = OptionsSetting.Lan;
    if (language == ChineseName && !lan.isEmpty() && !IsNamed(lan, "English"))
        language = lan;
    const QString fileName = LanguageFileName(language);
    const QFileInfo info(fileName);
    if (!info.exists())
        return builtInText;
    // The file is read once, not at every text (a window asks for dozens), and again when
    // it is another file or has changed since.
    static std::mutex lock;
    static struct {
        QString Path;
        QDateTime Modified;
        qint64 Size = -1;
        std::unique_ptr<TIniFile> Ini;
    } cache;
    std::lock_guard guard(lock);
    if (!cache.Ini || cache.Path != fileName || cache.Modified != info.lastModified() || cache.Size != info.size()) {
        cache.Ini = std::make_unique<TIniFile>(fileName);
        cache.Path = fileName;
        cache.Modified = info.lastModified();
        cache.Size = info.size();
    }
    // A key the file lacks (a file older than the text) shows the built-in text too; a key
    // present with an empty value shows nothing, as the file says.
    return cache.Ini->ReadString(QStringLiteral("ResourceString"), key, builtInText);
}

QString ProgramTitle()
{
    return LangString(QStringLiteral("RES_ProgramTitle"), ApplicationTitle());
}
