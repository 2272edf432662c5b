#pragma once
// Re-captions a window's controls from the language file "CLan_<languageName>.ini"; the
// name "Chinese", which the program's windows ask for, follows the interface language
// (WindowLanguage in settings/Lang.h).
//
// Section = the window's objectName. Keys, for every child object with an objectName:
//   window name              the window title
//   name                     QLabel / QAbstractButton text, QGroupBox title; the message
//                            of a QStatusBar whose property "simplePanel" is true
//   name_Text, name_Item<i>  QComboBox text and items
//   name_Panel<i>            the i-th QLabel child of a QStatusBar (panel mode)
//   name_Column<i>           header column i of a QTreeWidget or other item view
//   name_Page<i>             tab i of a QTabWidget
// Section "Menu_" + window name, key = object name: QMenu titles and QAction texts
// (separators excepted). A missing file or key leaves the text as it is.
#include <QString>

class QWidget;

void TranslateForm(QWidget* window, const QString& languageName);
