#pragma once
// Text files of the program (settings, language files, disc cache) were GBK on Windows and
// are UTF-8 here: read as UTF-8 when the bytes are valid UTF-8, else as GBK; always write UTF-8.
#include <QByteArray>
#include <QString>

QString DecodeText(const QByteArray& bytes);
QByteArray EncodeText(const QString& text);
