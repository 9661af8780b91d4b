// Fuzz target: data-list and template file bytes through decoding, the keyword
// dispatch and the line, record and field splitters. Every token call must move on;
// no line is longer than the text it came from.
#include "app/DataListSplitters.h"
#include "app/TemplateFiles.h"
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
    for (const QString& line : SplitCsvLines(text)) {
        if (line.size() > text.size()) std::abort();
        SplitDataListLine(line, QLatin1Char(';'), fields);
        SplitDataListLine(line, QLatin1Char(','), fields);
        DataListViewId(line);
    }
    for (const QString& line : SplitTemplateLines(text)) {
        if (line.size() > text.size() || line.contains(QLatin1Char('\n'))) std::abort();
        TemplateViewId(line);
    }
    AllTokens(text, NextSemicolonPairToken);
    return 0;
}
