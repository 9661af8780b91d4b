// The string table and its English translation.
#include "res/StringTable.h"
#include "res/Translation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTranslator>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

namespace {

const QString kQmFile = QStringLiteral(KQ_TRANSLATION_QM);

TEST(StringTable, IsSortedUniqueAndEveryEntryNamesItsId) {
    int previous = -1;
    for (const StringTableEntry& e : KqStringTable()) {
        EXPECT_GT(e.id, previous) << "table must be sorted by id, without repeats";
        previous = e.id;
        // The disambiguation is the id, so that the .ts entry says which text it is.
        EXPECT_STREQ(e.text.disambiguation, std::to_string(e.id).c_str());
        EXPECT_STRNE(e.text.source, "");
    }
}

// The texts themselves are checked where the program shows them.
TEST(StringTable, LooksTextsUpByIdInGerman) {
    EXPECT_EQ(KqString(IdsUpdateStarting), "Update wird gestartet, bitte warten!");
    EXPECT_EQ(KqString(12345), "");
    EXPECT_EQ(KqSourceString(12345), nullptr);
}

TEST(Translation, EveryTableTextHasAnEnglishText) {
    // Catches a text added to the table without its English counterpart in the .ts.
    QTranslator english;
    ASSERT_TRUE(english.load(kQmFile)) << kQmFile.toStdString();
    for (const StringTableEntry& e : KqStringTable()) {
        EXPECT_FALSE(english.translate(kStringTableContext, e.text.source, e.text.disambiguation).isEmpty())
            << "no English text for string " << e.id;
    }
    EXPECT_EQ(english.translate(kStringTableContext, "Neue Version:", "600"), "New version:");
    EXPECT_EQ(english.translate("CBeepTimeDlg", "Tondauer"), "Beep length");
}

TEST(Translation, AnInstalledProgramFindsItsFileInTheDataFolder) {
    // Catches an installed tree (bin/, share/kq-nfc-programmer/) whose program stays German.
    QTemporaryDir tree;
    ASSERT_TRUE(tree.isValid());
    ASSERT_TRUE(QDir(tree.path()).mkpath("bin") && QDir(tree.path()).mkpath("share/kq-nfc-programmer"));
    const QString program = tree.filePath("bin/kq-nfc-programmer");
    EXPECT_EQ(EnglishTranslationFile(program), tree.filePath("bin/kq-nfc-programmerEng.qm")); // none: beside
    const QString installed = tree.filePath("share/kq-nfc-programmer/kq-nfc-programmerEng.qm");
    ASSERT_TRUE(QFile::copy(kQmFile, installed));
    EXPECT_EQ(EnglishTranslationFile(program), installed);
    ASSERT_TRUE(QFile::copy(kQmFile, tree.filePath("bin/kq-nfc-programmerEng.qm")));
    EXPECT_EQ(EnglishTranslationFile(program), tree.filePath("bin/kq-nfc-programmerEng.qm")); // beside first
}

TEST(Translation, LoadsTheFileBesideTheProgramAndSwitchesTheTexts) {
    const QString program = QFileInfo(kQmFile).absolutePath() + "/kq-nfc-programmer";
    EXPECT_EQ(EnglishTranslationFile(program), kQmFile);
    EXPECT_EQ(LoadEnglishTranslation(QFileInfo(kQmFile).absolutePath() + "/other-program"), nullptr);

    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::unique_ptr<QTranslator> english = LoadEnglishTranslation(program);
    ASSERT_NE(english, nullptr);
    ASSERT_TRUE(QCoreApplication::installTranslator(english.get()));
    EXPECT_EQ(KqString(IdsUpdateNoFile), "No file found: update check not possible!");
    EXPECT_EQ(KqString(IdsAppTitle), "KQ-NFC Programmer");
    QCoreApplication::removeTranslator(english.get());
    EXPECT_EQ(KqString(IdsUpdateNewVersion), "Neue Version:");
}

} // namespace
