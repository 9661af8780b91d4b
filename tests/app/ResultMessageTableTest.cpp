// The result texts of the tag operations, written out as the program shows them.
#include "app/ResultMessageTable.h"
#include "app/KQ_NFCProgrammerApp.h"
#include "res/StringTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Row {
    int state;
    int index;
    int extraNumber;
    const char* extraText;
    bool cyclic;
    const char* expected;
};

// Every index with a text of its own in the column of its state, the texts with a
// field or a choice, and the general texts for an index without one.
constexpr Row kRows[] = {
    {-1, 2, 0, "", false, ""},
    {0, 1, 0, "", false, "Lesen erfolgreich!"},
    {0, 2, 0, "", false, "Schreiben erfolgreich!"},
    {0, 3, 0, "", false, "Sperren erfolgreich!"},
    {0, 4, 0, "", false, "KQ-LMX38 verbunden!"},
    {0, 5, 0, "", false, "Mit Passwort schützen erfolgreich !"},
    {0, 6, 0, "", false, "Vorlage geladen"},
    {0, 7, 0, "/home/u/a.tdp", false, "Vorlage gespeichert: /home/u/a.tdp"},
    {0, 8, 0, "", false, "Datenliste geladen"},
    {0, 19, 0, "", false, "Bereits gesperrt!"},
    {0, 9, 0, "", false, "Aktion erfolgreich ausgeführt!"},
    {0, 99, 0, "", false, "Aktion erfolgreich ausgeführt!"},
    {1, 1, 0, "", false, "Unbekannter Fehler aufgetreten!"},
    {1, 9, 0, "", false, "Fehler!"},
    {1, 10, 0, "", false, "Abgebrochen"},
    {1, 11, 0, "", false, "Kein KQ-LMX Gerät gefunden!"},
    {1, 12, 0, "", false, "Verbindung zum KQ-LMX38 konnte nicht hergestellt werden!"},
    {1, 13, 0, "", false, "Kein Transponder!"},
    {1, 13, 0, "", true, "Bitte Transponder auflegen!"},
    {1, 14, 0, "", false, "Unbekannter Fehler aufgetreten!"},
    {1, 15, 0, "", false, "Nicht unterstützter Mifare-Transpondertyp!"},
    {2, 16, 0, "", false, "Der Transponder ist nicht vom Typ DESFire"},
    {1, 17, 0, "", false, "Nicht als NFC formatiert!"},
    {1, 18, 0, "", false, "Transponder ist als NFC formatiert, aber ohne NFC-Nutzdaten!"},
    {1, 19, 0, "", false, "Unbekannter Fehler aufgetreten!"},
    {2, 20, 0, "", false, "NFC-Schreibschutz, schreiben nicht möglich!"},
    {1, 21, 0, "", false, "Schreibschutz, schreiben nicht möglich!"},
    {2, 22, 0, "", false, "NFC-Leseschutz!"},
    {1, 23, 0, "", false, "Fehler beim Schreibschützen von Blöcken bei ISO15693!"},
    {1, 24, 0, "", false, "Fehler beim Block lesen!"},
    {1, 25, 0, "", false, "Fehler beim Block schreiben!"},
    {1, 26, 0, "", false, "Fehler beim Schreiben in DESFire-File!"},
    {1, 27, 0, "", false, "Zu viele Zeichen (Transponderspeicher zu klein)!"},
    {1, 27, -3, "", false, "Zu viele Zeichen (Transponderspeicher zu klein)!"},
    {1, 27, 42, "", false, "ca. 42 Zeichen zu viel (Transponderspeicher zu klein)!"},
    {1, 28, 0, "", false, "Bei der NFC-Formatierung ist ein Fehler aufgetreten!"},
    {1, 29, 0, "", false, "ID der NFC-Applikation nicht gefunden !"},
    {1, 30, 0, "", false, "Fehler bei Block-Authentifizierung bei MifareClassic"},
    {1, 31, 0, "", false, "Authentifizierung der Karte fehlgeschlagen"},
    {1, 32, 0, "", false, "Authentifizierung der NFC-Application fehlgeschlagen"},
    {1, 33, 0, "", false, "Fehler beim Ändern des Schlüssels!"},
    {1, 34, 0, "", false, "Fehler beim Ändern der Einstellungen"},
    {2, 35, 0, "", false, "Die Daten im Transponder sind in einer neueren, inkompatiblen NFC-Version!"},
    {2, 36, 0, "", false, "Die Daten im Transponder sind in einer älteren, inkompatiblen NFC-Version!"},
    {2, 37, 0, "", false, "Fehler in den NFC-Daten!"},
    {2, 38, 0, "", false, "Nicht unterstütztes URI-Format!"},
    {2, 39, 0, "", false, "Nicht unterstütztes MIME-Format!"},
    {3, 40, 0, "", false, "Unbekannter Datentyp in NFC-Daten"},
    {2, 41, 0, "", false, "Der Transponder hat NFC-Anwendernutzdaten, aber nicht vom Typ URL!"},
};

TEST(ResultMessageTable, GivesEachResultItsText) {
    for (const Row& row : kRows) {
        EXPECT_EQ(ResultMessageText(row.state, row.index, row.extraNumber, QString::fromUtf8(row.extraText),
                                    QStringLiteral("KQ-LMX38"), row.cyclic),
                  QString::fromUtf8(row.expected))
            << "state " << row.state << " index " << row.index;
    }
}

TEST(FormatPrintfText, FillsTheFieldsInOrderAndLeavesTheOthers) {
    EXPECT_EQ(FormatPrintfText("FW V%d.%02d", {1, 5}), "FW V1.05");
    EXPECT_EQ(FormatPrintfText("FW V%d.%02d", {1, 255}), "FW V1.255");
    EXPECT_EQ(FormatPrintfText("%03d|%3d|%02d", {-7, 4, -5}), "-07|  4|-5");
    EXPECT_EQ(FormatPrintfText("%s konnte nicht geöffnet werden.", {QStringLiteral("/dev/x:1")}),
              QString::fromUtf8("/dev/x:1 konnte nicht geöffnet werden."));
    EXPECT_EQ(FormatPrintfText("100%% %d", {3}), "100% 3");
    // Fields without arguments, or of kinds it does not fill, stay as they are.
    EXPECT_EQ(FormatPrintfText("%d and %s", {1}), "1 and %s");
    EXPECT_EQ(FormatPrintfText("%x %n %", {1}), "%x %n %");
    EXPECT_EQ(KqFormat(IdsUnknownError, {5}), "Unbekannter Fehler 5.");
}

TEST(HelpFile, IsTheFirstPdfOfTheFolderByName) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    EXPECT_EQ(CKQ_NFCProgrammerApp::FindHelpFile(folder.path()), QString());
    for (const char* name : {"readme.txt", "Zeta.pdf", "Handbuch.PDF", "anleitung.pdf.bak"}) {
        QFile file(QDir(folder.path()).filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(CKQ_NFCProgrammerApp::FindHelpFile(folder.path()),
              QDir(folder.path()).filePath("Handbuch.PDF"));
}

} // namespace
