#include "platform/TextCodec.h"

#include <QStringDecoder>
#include <algorithm>
#include <cstring>

bool IsValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len = 0;
        unsigned char lo = 0x80, hi = 0xBF;   // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (n - i < len) return false;
        if (p[i + 1] < lo || p[i + 1] > hi) return false;
        for (int k = 2; k < len; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

QString DecodeLine(const QByteArray& bytes, bool* clean)
{
    if (clean) *clean = true;
    bool ascii = true;
    for (char c : bytes)
        if (uchar(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) return QString::fromLatin1(bytes);
    if (IsValidUtf8(bytes)) return QString::fromUtf8(bytes);

    QStringDecoder gbk("GBK", QStringDecoder::Flag::Stateless);
    if (gbk.isValid()) {
        const QString text = gbk.decode(bytes);
        if (clean) *clean = !gbk.hasError() && !text.contains(QChar::ReplacementCharacter);
        return text;
    }
    // No GBK codec available: UTF-8 with replacement characters.
    if (clean) *clean = false;
    return QString::fromUtf8(bytes);
}

QString DecodeText(const QByteArray& bytes)
{
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);
    QString text;
    qsizetype pos = 0;
    while (pos <= data.size()) {
        qsizetype end = data.indexOf('\n', pos);
        if (end < 0) end = data.size();
        text += DecodeLine(data.mid(pos, end - pos));
        if (end < data.size()) text += u'\n';
        pos = end + 1;
    }
    return text;
}

QByteArray EncodeText(const QString& text)
{
    return text.toUtf8();
}

void CopyCText(char* dst, size_t size, const QByteArray& text)
{
    std::memset(dst, 0, size);
    // Cut on a character boundary: never leave half a UTF-8 sequence.
    qsizetype n = std::min<qsizetype>(text.size(), qsizetype(size - 1));
    if (n < text.size()) {
        while (n > 0 && (uchar(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(dst, text.constData(), size_t(n));
}
