#pragma once
// Text files of the program (settings, language files, disc cache, cue sheets) were GBK on
// Windows and are UTF-8 here. Each line is read on its own: as UTF-8 when its bytes are
// valid UTF-8, else as GBK, so one stray byte never changes how the other lines read.
// New text is written as UTF-8 (an INI line nobody changed keeps its own bytes).
#include <QByteArray>
#include <QString>
#include <cstddef>

// Strict check: well-formed UTF-8 only (no overlong forms, no surrogates, nothing above
// U+10FFFF, no truncated sequence at the end).
bool IsValidUtf8(const QByteArray& bytes);

// One line (or any short text): UTF-8 when valid, else GBK. `clean` (optional) is set to
// false when the bytes were neither valid UTF-8 nor valid GBK, so the text holds
// replacement characters and must not stand in for the bytes.
QString DecodeLine(const QByteArray& bytes, bool* clean = nullptr);

// A whole text: a leading byte order mark is dropped, then each line is decoded on its own.
QString DecodeText(const QByteArray& bytes);
QByteArray EncodeText(const QString& text);

// Copies `text` into a fixed buffer of `size` bytes, NUL-filled, cut on a UTF-8 character
// boundary (never half a sequence).
void CopyCText(char* dst, size_t size, const QByteArray& text);
