#pragma once
// Language files "CLan_<name>.ini": window captions (TranslateForm, in the GUI) and message
// texts (LangString). Looked for in the program folder, then in the installed data folder;
// read afresh at every use. File names are matched regardless of case.
#include <QString>

QString LanguageFileName(const QString& languageName);   // the path that exists, else the program-folder path
// The text of `key` in the chosen language; the built-in text for English, for a language
// without a file and for a key the file does not hold.
QString LangString(const QString& key, const QString& builtInText);
