#include "res/Translation.h"

#include <QFileInfo>
#include <QLibraryInfo>

QString EnglishTranslationFile(const QString& programFilePath) {
    const QFileInfo program(programFilePath);
    const QString name = program.completeBaseName() + QStringLiteral("Eng.qm");
    const QString beside = program.absolutePath() + QLatin1Char('/') + name;
    // An installed program keeps its translation in the data folder of its tree.
    const QString installed =
        program.absolutePath() + QStringLiteral("/" KQ_TRANSLATION_DIR_FROM_BIN "/") + name;
    return !QFileInfo::exists(beside) && QFileInfo::exists(installed)
               ? QFileInfo(installed).absoluteFilePath()
               : beside;
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
