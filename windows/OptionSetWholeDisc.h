#pragma once
// The Output page's whole-disc choices, built in code: a cue sheet beside separate files
// ([CommonOptions] CueSheet) and de-emphasis of pre-emphasised tracks ([CommonOptions]
// DeEmphasis). Shown as the settings stand; stored when the dialog is accepted.
class QBoxLayout;
class QDialog;
class QWidget;

void AddWholeDiscOptions(QDialog* dialog, QWidget* page, QBoxLayout* layout);
