#pragma once
// Language files "CLan_<name>.ini": window captions (TranslateForm, in the GUI) and message
// texts (LangString). Looked for in the program folder, then in the installed data folder;
// read afresh at every use.
#include <QString>

QString LanguageFileName(const QString& languageName);   // the path that exists, else the program-folder path
QString LangString(const QString& key, const QString& builtInText);
