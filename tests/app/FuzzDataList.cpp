// Fuzz target: data-list file bytes through decoding and the line, record and
// field splitters. Every token call must move on.
#include "app/DataListSplitters.h"
#include "app/TextFileCodec.h"

#include <cstdint>
#include <cstdlib>

namespace {

void AllTokens(const QString& text, QString (*next)(const QString&, qsizetype, qsizetype&)) {
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype nextPos = pos;
        const QString token = next(text, pos, nextPos);
        if (nextPos <= pos || nextPos > text.size() || token.size() > text.size()) std::abort();
        if (next == NextSemicolonPairToken) AllTokens(token, NextPipeToken);
        pos = nextPos;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = DecodeTextFile(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    QStringList fields;
    for (const QString& line : text.split(QStringLiteral("\r\n"))) {
        SplitDataListLine(line, QLatin1Char(';'), fields);
        SplitDataListLine(line, QLatin1Char(','), fields);
    }
    AllTokens(text, NextSemicolonPairToken);
    return 0;
}
