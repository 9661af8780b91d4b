#include "res/Translation.h"

#include <QFileInfo>
#include <QLibraryInfo>

QString EnglishTranslationFile(const QString& programFilePath) {
    const QFileInfo program(programFilePath);
    return program.absolutePath() + QLatin1Char('/') + program.completeBaseName() + QStringLiteral("Eng.qm");
}

std::unique_ptr<QTranslator> LoadEnglishTranslation(const QString& programFilePath) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(EnglishTranslationFile(programFilePath))) return nullptr;
    return translator;
}

std::unique_ptr<QTranslator> LoadQtGermanTranslation() {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return nullptr;
    return translator;
}
