#pragma once
// The options window's pages of the encoders built on newer libraries: Opus (bitrate
// 6-510 kbit/s, VBR) and AAC (bitrate 64-320 kbit/s; Apple Lossless has nothing to set).
// Built in code; they show the stored settings and write them back when the window is
// accepted.
class QDialog;
class QTabWidget;

// Adds the pages after the last tab of `tabs`.
void AddCodecOptionPages(QDialog& form, QTabWidget& tabs);
