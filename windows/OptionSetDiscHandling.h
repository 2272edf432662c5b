#pragma once
// What happens around a disc, built in code: on the Output page, a disc ripped as it arrives
// ([CommonOptions] AutoRip) and ejected after a rip that made every track ([CommonOptions]
// EjectWhenDone); on the CD-ROM page, the read speed asked of the drive ([CDOptions] Speed).
// Shown as the settings stand; stored when the dialog is accepted.
class QBoxLayout;
class QDialog;
class QWidget;

void AddDiscHandlingOptions(QDialog* dialog, QWidget* outputPage, QBoxLayout* outputLayout, QWidget* cdPage,
                            QBoxLayout* cdLayout);
