#include "app/TextFileCodec.h"

#include "content/TextEncoding.h"

#include <QStringDecoder>

namespace {

QString DecodeCp1252(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(QChar(char16_t(Cp1252CodePoint(b))));
    }
    return text;
}

} // namespace

QString DecodeTextFile(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) return text;
    return DecodeCp1252(bytes);
}
