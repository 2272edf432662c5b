#pragma once
// Language files "CLan_<name>.ini": window captions (TranslateForm, in the GUI) and message
// texts (LangString). Looked for in $VARNELCD_LANG_DIR when set, then in the program folder,
// then in the installed data folder; read afresh at every use. File names are matched regardless of case.
//
// The program speaks one language at a time, chosen by [Options] Interface: "Chinese" (the
// default; also any value other than English) or "English". A command-line run may choose
// another for itself (--lang). Windows take their texts from CLan_<Interface>.ini. Messages
// come from CLan_English.ini under the English interface; under the Chinese one from the
// file that [Options] Lan names, as they always did (a file made for Lan, "Chinese" included),
// except that Lan=English, the value every settings file carries unless changed, asks for
// no file of its own and so gives CLan_Chinese.ini. The texts built into the program are
// Chinese; they show for a key the chosen file lacks.
#include <QString>

QString LanguageFileName(const QString& languageName);   // the path that exists, else the program-folder path
// The text of `key` in the chosen language; the built-in text for a language without a file
// and for a key the file does not hold.
QString LangString(const QString& key, const QString& builtInText);

// "Chinese" or "English": this run's own choice when there is one, else [Options] Interface.
QString InterfaceLanguage();
bool IsEnglishInterface();
// This run's language, never saved ("Chinese" or "English"; empty: the settings' again).
void SetRunInterfaceLanguage(const QString& language);
// The language a --lang value names: "en"/"english" gives "English", "zh"/"cn"/"chinese"
// gives "Chinese" (case ignored); empty for anything else.
QString InterfaceLanguageFromArgument(const QString& value);
// The language file a window's texts come from when it asks for `asked`: the program's
// windows ask for "Chinese", which follows the interface language; any other name is kept.
QString WindowLanguage(const QString& asked);
// The program's name as window and message-box captions show it ("VarnelCD音频转换").
QString ProgramTitle();
