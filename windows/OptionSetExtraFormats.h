#pragma once
// The Output page's other formats of a rip ([CommonOptions] ExtraFormats), built in code: one
// check box per format of the format table, each made from the same read as the output
// format. Shown as the settings stand; stored when the dialog is accepted.
class QBoxLayout;
class QDialog;
class QWidget;

void AddExtraFormatOptions(QDialog* dialog, QWidget* page, QBoxLayout* layout);
