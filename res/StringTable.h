#pragma once

#include <QString>

#include <span>

// The program's string table: every numbered text of the program, in German, the
// source language. KqString() answers the text in the language loaded at start
// (through the installed QTranslator); the English texts live in
// res/kq-nfc-programmerEng.ts.

// Numbers of the texts that code refers to by name.
enum StringId : int {
    IdsFirmwareVersion = 154,    // "FW V%d.%02d"
    IdsUpdateNewVersion = 600,   // "Neue Version:"
    IdsUpdateIsCurrent = 601,    // " ist aktuell"
    IdsUpdateNoConnection = 602, // "Keine Internet Verbindung: ..."
    IdsUpdateNoFile = 603,       // "Keine Datei gefunden: ..."
    IdsUpdateStarting = 604,     // "Update wird gestartet, bitte warten!"
    IdsNoDriverLmx34 = 10134,    // "Kein Vek USB Treiber für KQ-LM(X)34 installiert!"
    IdsNoDriverLmx38Vcom = 10135, // "Kein Vek USB Treiber für KQ-LM(X)38 VCOM installiert!"
    IdsInstallDriverQuestion = 10136, // "Treiber laden und installieren?"
    IdsAppTitle = 57344,         // "KQ-NFC Programmer"
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

// The German text with this number; nullptr when there is none.
const char* KqSourceString(int id);

// The whole table, sorted by number.
std::span<const StringTableEntry> KqStringTable();
