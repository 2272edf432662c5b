#pragma once
// The interface language on the options window's Output page ([Options] Interface).
class QBoxLayout;
class QDialog;
class QWidget;

void AddInterfaceLanguageOption(QDialog* dialog, QWidget* page, QBoxLayout* layout);
