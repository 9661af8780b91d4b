#pragma once

#include <QString>
#include <QVariant>

#include <initializer_list>
#include <span>

// The program's string table: every numbered text of the program, in German, the
// source language. KqString() answers the text in the language loaded at start
// (through the installed QTranslator); the English texts live in
// res/kq-nfc-programmerEng.ts.

// Numbers of the texts that code refers to by name.
enum StringId : int {
    IdsPhonePrivate = 129,     // "Privat"
    IdsPhoneWork = 130,        // "Dienstlich"
    IdsPhoneFaxWork = 132,     // "Fax dienstlich"
    IdsPhoneFaxPrivate = 133,  // "Fax privat"
    IdsNoTag = 138,            // "Kein Transponder!"
    IdsExcessCharacters = 143, // "ca. %d Zeichen zu viel (Transponderspeicher zu klein)!"
    IdsFirmwareVersion = 154,  // "FW V%d.%02d"
    IdsTemplateFileType = 155, // "NFC-Daten Vorlage"
    IdsCancelled = 159,        // "Abgebrochen"
    IdsDeleteSucceeded = 161,  // "Löschen erfolgreich"
    IdsKeyValueLoaded = 162,   // "Schlüsselwert geladen"
    IdsOverwriteKey = 163,     // "Ein Schlüssel mit diesem Namen ist bereits vorhanden. Überschreiben ?"
    IdsKeyNotHex = 170,        // "Schlüsselwert ist nicht hexadezimal"
    IdsFieldsMissing = 171,    // "Es sind nicht alle Felder gefüllt "
    IdsActionSucceeded = 178,  // "Aktion erfolgreich ausgeführt!"
    IdsUnknownErrorOccurred = 179, // "Unbekannter Fehler aufgetreten!"
    IdsNoWebAddress = 185,         // "Es wurde keine Webadresse eingegeben."
    IdsNoText = 186,               // "Es wurde kein Text eingegeben."
    IdsNoName = 187,               // "Es wurde kein Name eingegeben."
    IdsNoTelephoneNumber = 188,    // "Es wurde keine Telefonnummer eingegeben."
    IdsNoRecipient = 189,          // "Es wurde kein Empfänger eingegeben."
    IdsPlaceTag = 190,             // "Bitte Transponder auflegen!"
    IdsTooManyCharacters = 191,    // "Zu viele Zeichen (Transponderspeicher zu klein)!"
    IdsInvalidTemplate = 193,      // "Vorlage mit ungültigen Daten."
    IdsReading = 194,              // "Lesen..."
    IdsWriting = 195,              // "Schreiben..."
    IdsReaderConnected = 198,      // "%s verbunden!"
    IdsNfcWithoutUserData = 202,   // "Transponder ist als NFC formatiert, aber ohne NFC-Nutzdaten!"
    IdsSelectKey = 203,            // "Bitte in der Liste einen Schlüssel selektieren"
    IdsOperationSucceeded = 204,   // "Operation erfolgreich"
    IdsAppMasterKeyLabel = 209,    // "Hauptschlüssel der NFC-Applikation (0-16 Byte, Auffüllung mit 0):"
    IdsPhoneMobileWork = 213,      // "Mobil Arbeit"
    IdsPhoneMobile = 218,          // "Mobil"
    IdsDataListFileTypes = 219,    // "Textdateien (*.TXT)|*.txt|CSV-Dateien (*.CSV)|*.csv||"
    IdsRecordOf = 220,             // "%d von %d"
    IdsEnd = 221,                  // "Ende"
    IdsCannotOpenFile = 222,       // "Die Datei konnte nicht geöffnet werden"
    IdsTemplateLabel = 223,        // "Vorlage:"
    IdsDataListLabel = 224,        // "Datenliste:"
    IdsNotAnNfcReader = 226,       // "Das gewählte Gerät ist kein KQ-LMX32/38/39/380/390/395 für NFC!"
    IdsTemplateSaved = 228,        // "Vorlage gespeichert"
    IdsDefaultKeyProtectsNothing = 232, // "Ein leerer Schlüssel oder einer aus lauter Nullen ist der offene
                                        // Standardschlüssel und schützt nicht"
    IdsUpdateNewVersion = 600,          // "Neue Version:"
    IdsUpdateIsCurrent = 601,           // " ist aktuell"
    IdsUpdateNoConnection = 602,        // "Keine Internet Verbindung: ..."
    IdsUpdateNoFile = 603,              // "Keine Datei gefunden: ..."
    IdsUpdateStarting = 604,            // "Update wird gestartet, bitte warten!"
    IdsValidIpAddress = 10128,          // "Gültige IP Adresse eingeben!"
    IdsFoundAddressesCaption = 10129,   // "Liste aller gefundenen IP-Adressen"
    IdsLanConfigFailed = 10130, // "IP-Adresse, Subnetzmaske oder Gateway konnte nicht gesetzt werden!"
    IdsNoLanDevices = 10131,    // "Keine Geräte gefunden!\nBitte prüfen Sie die Firewall-Einstellungen!..."
    IdsNoDriverLmx34 = 10134,   // "Kein Vek USB Treiber für KQ-LM(X)34 installiert!"
    IdsNoDriverLmx38Vcom = 10135,       // "Kein Vek USB Treiber für KQ-LM(X)38 VCOM installiert!"
    IdsInstallDriverQuestion = 10136,   // "Treiber laden und installieren?"
    IdsHelpViewerMissing = 10001,       // "Zur Ausführung der Hilfe muss der ... installiert sein."
    IdsUnknownError = 10002,            // "Unbekannter Fehler %d."
    IdsCannotOpen = 10012,              // "%s konnte nicht geöffnet werden."
    IdsNoConnection = 10023,            // "Verbindung zum KQ-LMX38 konnte nicht hergestellt werden!"
    IdsFileTooLarge = 10300,            // "Die Datei ist zu groß (höchstens %d Bytes)."
    IdsNotATextFile = 10301,            // "Die Datei ist keine Textdatei (UTF-8 oder Windows-1252)."
    IdsDataListEmpty = 10302,           // "Die Datenliste enthält keinen Datensatz."
    IdsRowsPassedOver = 10303,          // "Diese Datensätze der Datenliste wurden übergangen:"
    IdsLineNumber = 10304,              // "Zeile %d: "
    IdsTxtRecord = 10305,               // "Datensatz %d: "
    IdsRowBadQuotes = 10306,            // "Anführungszeichen nicht geschlossen oder falsch gesetzt"
    IdsRowTooManyFields = 10307,        // "%d Felder, höchstens %d erwartet"
    IdsTemplateLinesPassedOver = 10308, // "Diese Zeilen der Vorlage wurden übergangen:"
    IdsNoDeviceAccess = 10320,          // "Keine Berechtigung für %s: ... Gruppe \"%s\" ..."
    IdsTagHoldsRow = 10330,             // "Dieser Transponder enthält schon Datensatz %d."
    IdsTagWrittenBefore = 10331,        // "Dieser Transponder wurde schon beschrieben."
    IdsReaderFoundAtRate = 10332,       // "Leser mit %d Baud gefunden; diese Rate ist gespeichert."
    IdsAppTitle = 57344,                // "KQ-NFC Programmer"
};

struct StringTableEntry {
    int id;
    struct {
        const char* source;         // German text
        const char* disambiguation; // the id as text, so equal German texts translate apart
    } text;
};

// Translation context of the table's texts.
inline constexpr char kStringTableContext[] = "StringTable";

// The text with this number in the current language; empty when there is none.
QString KqString(int id);

// A numbered text with its printf-style fields filled in order from args: %d (also
// with a width, "%02d") takes a number, %s a text, %% is a '%'. A field without an
// argument, or of an unknown kind, is left as it stands, so that a wrong translation
// never reads past its arguments.
QString KqFormat(int id, std::initializer_list<QVariant> args);
QString FormatPrintfText(const QString& pattern, std::initializer_list<QVariant> args);

// The German text with this number; nullptr when there is none.
const char* KqSourceString(int id);

// The whole table, sorted by number.
std::span<const StringTableEntry> KqStringTable();
