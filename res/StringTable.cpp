#include "res/StringTable.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

// Sorted by number. Each text is marked for translation with its number as the
// disambiguation; add a text here and its English text to
// res/kq-nfc-programmerEng.ts (see the README's "Texts and translation").
constexpr StringTableEntry kTable[] = {
    {129, QT_TRANSLATE_NOOP3("StringTable", "Privat", "129")},
    {130, QT_TRANSLATE_NOOP3("StringTable", "Dienstlich", "130")},
    {131, QT_TRANSLATE_NOOP3("StringTable",
                             "Der Transponder hat NFC-Anwendernutzdaten, aber nicht vom Typ URL!", "131")},
    {132, QT_TRANSLATE_NOOP3("StringTable", "Fax dienstlich", "132")},
    {133, QT_TRANSLATE_NOOP3("StringTable", "Fax privat", "133")},
    {134, QT_TRANSLATE_NOOP3("StringTable", "Schreiben erfolgreich!", "134")},
    {136, QT_TRANSLATE_NOOP3("StringTable", "Kein KQ-LMX Gerät gefunden!", "136")},
    {138, QT_TRANSLATE_NOOP3("StringTable", "Kein Transponder!", "138")},
    {139, QT_TRANSLATE_NOOP3("StringTable", "Fehler beim Block lesen!", "139")},
    {140, QT_TRANSLATE_NOOP3("StringTable", "Fehler in den NFC-Daten!", "140")},
    {141, QT_TRANSLATE_NOOP3("StringTable", "Nicht unterstützter Mifare-Transpondertyp!", "141")},
    {142, QT_TRANSLATE_NOOP3("StringTable", "NFC-Schreibschutz, schreiben nicht möglich!", "142")},
    {143, QT_TRANSLATE_NOOP3("StringTable", "ca. %d Zeichen zu viel (Transponderspeicher zu klein)!", "143")},
    {144, QT_TRANSLATE_NOOP3("StringTable", "Schreibschutz, schreiben nicht möglich!", "144")},
    {145, QT_TRANSLATE_NOOP3("StringTable", "Fehler bei Block-Authentifizierung bei MifareClassic", "145")},
    {146,
     QT_TRANSLATE_NOOP3("StringTable",
                        "Die Daten im Transponder sind in einer neueren, inkompatiblen NFC-Version!", "146")},
    {147,
     QT_TRANSLATE_NOOP3("StringTable",
                        "Die Daten im Transponder sind in einer älteren, inkompatiblen NFC-Version!", "147")},
    {148, QT_TRANSLATE_NOOP3("StringTable", "Bei der NFC-Formatierung ist ein Fehler aufgetreten!", "148")},
    {149, QT_TRANSLATE_NOOP3("StringTable", "Nicht unterstütztes URI-Format!", "149")},
    {150, QT_TRANSLATE_NOOP3("StringTable", "Nicht unterstütztes MIME-Format!", "150")},
    {151, QT_TRANSLATE_NOOP3("StringTable", "Lesen erfolgreich!", "151")},
    {152, QT_TRANSLATE_NOOP3("StringTable", "Nicht als NFC formatiert!", "152")},
    {153, QT_TRANSLATE_NOOP3("StringTable", "Fehler beim Block schreiben!", "153")},
    {154, QT_TRANSLATE_NOOP3("StringTable", "FW V%d.%02d", "154")},
    {155, QT_TRANSLATE_NOOP3("StringTable", "NFC-Daten Vorlage", "155")},
    {158, QT_TRANSLATE_NOOP3("StringTable", "Fehler beim Schreiben in DESFire-File!", "158")},
    {159, QT_TRANSLATE_NOOP3("StringTable", "Abgebrochen", "159")},
    {161, QT_TRANSLATE_NOOP3("StringTable", "Löschen erfolgreich", "161")},
    {162, QT_TRANSLATE_NOOP3("StringTable", "Schlüsselwert geladen", "162")},
    {163, QT_TRANSLATE_NOOP3("StringTable",
                             "Ein Schlüssel mit diesem Namen ist bereits vorhanden. Überschreiben ?", "163")},
    {170, QT_TRANSLATE_NOOP3("StringTable", "Schlüsselwert ist nicht hexadezimal", "170")},
    {171, QT_TRANSLATE_NOOP3("StringTable", "Es sind nicht alle Felder gefüllt ", "171")},
    {175, QT_TRANSLATE_NOOP3("StringTable", "Sperren erfolgreich!", "175")},
    {178, QT_TRANSLATE_NOOP3("StringTable", "Aktion erfolgreich ausgeführt!", "178")},
    {179, QT_TRANSLATE_NOOP3("StringTable", "Unbekannter Fehler aufgetreten!", "179")},
    {185, QT_TRANSLATE_NOOP3("StringTable", "Es wurde keine Webadresse eingegeben.", "185")},
    {186, QT_TRANSLATE_NOOP3("StringTable", "Es wurde kein Text eingegeben.", "186")},
    {187, QT_TRANSLATE_NOOP3("StringTable", "Es wurde kein Name eingegeben.", "187")},
    {188, QT_TRANSLATE_NOOP3("StringTable", "Es wurde keine Telefonnummer eingegeben.", "188")},
    {189, QT_TRANSLATE_NOOP3("StringTable", "Es wurde kein Empfänger eingegeben.", "189")},
    {190, QT_TRANSLATE_NOOP3("StringTable", "Bitte Transponder auflegen!", "190")},
    {191, QT_TRANSLATE_NOOP3("StringTable", "Zu viele Zeichen (Transponderspeicher zu klein)!", "191")},
    {193, QT_TRANSLATE_NOOP3("StringTable", "Vorlage mit ungültigen Daten.", "193")},
    {194, QT_TRANSLATE_NOOP3("StringTable", "Lesen...", "194")},
    {195, QT_TRANSLATE_NOOP3("StringTable", "Schreiben...", "195")},
    {196, QT_TRANSLATE_NOOP3("StringTable", "Bereits gesperrt!", "196")},
    {197, QT_TRANSLATE_NOOP3("StringTable", "NFC-Leseschutz!", "197")},
    {198, QT_TRANSLATE_NOOP3("StringTable", "%s verbunden!", "198")},
    {202, QT_TRANSLATE_NOOP3("StringTable", "Transponder ist als NFC formatiert, aber ohne NFC-Nutzdaten!",
                             "202")},
    {203, QT_TRANSLATE_NOOP3("StringTable", "Bitte in der Liste einen Schlüssel selektieren", "203")},
    {204, QT_TRANSLATE_NOOP3("StringTable", "Operation erfolgreich", "204")},
    {206, QT_TRANSLATE_NOOP3("StringTable", "Fehler!", "206")},
    {207, QT_TRANSLATE_NOOP3("StringTable", "Mit Passwort schützen erfolgreich !", "207")},
    {208, QT_TRANSLATE_NOOP3("StringTable", "ID der NFC-Applikation nicht gefunden !", "208")},
    {209, QT_TRANSLATE_NOOP3("StringTable",
                             "Hauptschlüssel der NFC-Applikation (0-16 Byte, Auffüllung mit 0):", "209")},
    {210, QT_TRANSLATE_NOOP3("StringTable", "Fehler beim Schreibschützen von Blöcken bei ISO15693!", "210")},
    {211, QT_TRANSLATE_NOOP3("StringTable", "Fehler beim Ändern der Einstellungen", "211")},
    {212, QT_TRANSLATE_NOOP3("StringTable", "Fehler beim Ändern des Schlüssels!", "212")},
    {213, QT_TRANSLATE_NOOP3("StringTable", "Mobil Arbeit", "213")},
    {214, QT_TRANSLATE_NOOP3("StringTable", "Unbekannter Datentyp in NFC-Daten", "214")},
    {215, QT_TRANSLATE_NOOP3("StringTable", "Authentifizierung der Karte fehlgeschlagen", "215")},
    {216, QT_TRANSLATE_NOOP3("StringTable", "Authentifizierung der NFC-Application fehlgeschlagen", "216")},
    {217, QT_TRANSLATE_NOOP3("StringTable", "Der Transponder ist nicht vom Typ DESFire", "217")},
    {218, QT_TRANSLATE_NOOP3("StringTable", "Mobil", "218")},
    {219, QT_TRANSLATE_NOOP3("StringTable", "Textdateien (*.TXT)|*.txt|CSV-Dateien (*.CSV)|*.csv||", "219")},
    {220, QT_TRANSLATE_NOOP3("StringTable", "%d von %d", "220")},
    {221, QT_TRANSLATE_NOOP3("StringTable", "Ende", "221")},
    {222, QT_TRANSLATE_NOOP3("StringTable", "Die Datei konnte nicht geöffnet werden", "222")},
    {223, QT_TRANSLATE_NOOP3("StringTable", "Vorlage:", "223")},
    {224, QT_TRANSLATE_NOOP3("StringTable", "Datenliste:", "224")},
    {225, QT_TRANSLATE_NOOP3("StringTable", "Datenliste geladen", "225")},
    {226, QT_TRANSLATE_NOOP3("StringTable", "Das gewählte Gerät ist kein KQ-LMX32/38/39/380/390/395 für NFC!",
                             "226")},
    {227, QT_TRANSLATE_NOOP3("StringTable", "Vorlage geladen", "227")},
    {228, QT_TRANSLATE_NOOP3("StringTable", "Vorlage gespeichert", "228")},
    {232, QT_TRANSLATE_NOOP3(
              "StringTable",
              "Ein leerer Schlüssel oder einer aus lauter Nullen ist der offene Standardschlüssel und "
              "schützt nicht",
              "232")},
    {600, QT_TRANSLATE_NOOP3("StringTable", "Neue Version:", "600")},
    {601, QT_TRANSLATE_NOOP3("StringTable", " ist aktuell", "601")},
    {602,
     QT_TRANSLATE_NOOP3("StringTable", "Keine Internet Verbindung: Update Prüfung nicht möglich!", "602")},
    {603, QT_TRANSLATE_NOOP3("StringTable", "Keine Datei gefunden: Update Prüfung nicht möglich!", "603")},
    {604, QT_TRANSLATE_NOOP3("StringTable", "Update wird gestartet, bitte warten!", "604")},
    {10001,
     QT_TRANSLATE_NOOP3("StringTable",
                        "Zur Ausführung der Hilfe muss der Adobe Acrobat Reader installiert sein.", "10001")},
    {10002, QT_TRANSLATE_NOOP3("StringTable", "Unbekannter Fehler %d.", "10002")},
    {10012, QT_TRANSLATE_NOOP3("StringTable", "%s konnte nicht geöffnet werden.", "10012")},
    {10023,
     QT_TRANSLATE_NOOP3("StringTable", "Verbindung zum KQ-LMX38 konnte nicht hergestellt werden!", "10023")},
    {10128, QT_TRANSLATE_NOOP3("StringTable", "Gültige IP Adresse eingeben!", "10128")},
    {10129, QT_TRANSLATE_NOOP3("StringTable", "Liste aller gefundenen IP-Adressen", "10129")},
    {10130,
     QT_TRANSLATE_NOOP3("StringTable", "IP-Adresse, Subnetzmaske oder Gateway konnte nicht gesetzt werden!",
                        "10130")},
    {10131, QT_TRANSLATE_NOOP3(
                "StringTable",
                "Keine Geräte gefunden!\nBitte prüfen Sie die Firewall-Einstellungen!\nEvtl. muss das "
                "Programm manuell in der Firewall freigegeben werden.",
                "10131")},
    {10134, QT_TRANSLATE_NOOP3("StringTable", "Kein Vek USB Treiber für KQ-LM(X)34 installiert!", "10134")},
    {10135,
     QT_TRANSLATE_NOOP3("StringTable", "Kein Vek USB Treiber für KQ-LM(X)38 VCOM installiert!", "10135")},
    {10136, QT_TRANSLATE_NOOP3("StringTable", "Treiber laden und installieren?", "10136")},
    {10300, QT_TRANSLATE_NOOP3("StringTable", "Die Datei ist zu groß (höchstens %d Bytes).", "10300")},
    {10301,
     QT_TRANSLATE_NOOP3("StringTable", "Die Datei ist keine Textdatei (UTF-8 oder Windows-1252).", "10301")},
    {10302, QT_TRANSLATE_NOOP3("StringTable", "Die Datenliste enthält keinen Datensatz.", "10302")},
    {10303, QT_TRANSLATE_NOOP3("StringTable", "Diese Datensätze der Datenliste wurden übergangen:", "10303")},
    {10304, QT_TRANSLATE_NOOP3("StringTable", "Zeile %d: ", "10304")},
    {10305, QT_TRANSLATE_NOOP3("StringTable", "Datensatz %d: ", "10305")},
    {10306,
     QT_TRANSLATE_NOOP3("StringTable", "Anführungszeichen nicht geschlossen oder falsch gesetzt", "10306")},
    {10307, QT_TRANSLATE_NOOP3("StringTable", "%d Felder, höchstens %d erwartet", "10307")},
    {10308, QT_TRANSLATE_NOOP3("StringTable", "Diese Zeilen der Vorlage wurden übergangen:", "10308")},
    {10320, QT_TRANSLATE_NOOP3(
                "StringTable",
                "Keine Berechtigung für %s: das Gerät gehört der Gruppe \"%s\". Bitte den Benutzer in "
                "diese Gruppe aufnehmen (sudo usermod -aG %s BENUTZER) und neu anmelden.",
                "10320")},
    {10330, QT_TRANSLATE_NOOP3("StringTable", "Dieser Transponder enthält schon Datensatz %d.", "10330")},
    {10331, QT_TRANSLATE_NOOP3("StringTable", "Dieser Transponder wurde schon beschrieben.", "10331")},
    {10332,
     QT_TRANSLATE_NOOP3("StringTable", "Leser mit %d Baud gefunden; diese Rate ist gespeichert.", "10332")},
    {57344, QT_TRANSLATE_NOOP3("StringTable", "KQ-NFC Programmer", "57344")},
};

const StringTableEntry* Find(int id) {
    const auto* it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                                      [](const StringTableEntry& e, int wanted) { return e.id < wanted; });
    return (it != std::end(kTable) && it->id == id) ? it : nullptr;
}

} // namespace

QString KqString(int id) {
    const StringTableEntry* e = Find(id);
    if (!e) return {};
    return QCoreApplication::translate(kStringTableContext, e->text.source, e->text.disambiguation);
}

QString KqFormat(int id, std::initializer_list<QVariant> args) {
    return FormatPrintfText(KqString(id), args);
}

QString FormatPrintfText(const QString& pattern, std::initializer_list<QVariant> args) {
    QString out;
    const QVariant* next = args.begin();
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c != u'%' || i + 1 >= pattern.size()) {
            out += c;
            continue;
        }
        if (pattern[i + 1] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        // %[0][width](d|s)
        qsizetype j = i + 1;
        const bool zeroPad = pattern[j] == u'0';
        if (zeroPad) ++j;
        int width = 0;
        while (j < pattern.size() && pattern[j].isDigit() && width < 100)
            width = width * 10 + pattern[j++].digitValue();
        const QChar kind = j < pattern.size() ? pattern[j] : QChar();
        if ((kind != u'd' && kind != u's') || next == args.end()) {
            out += c; // not a field we fill: keep it as text
            continue;
        }
        if (kind == u'd' && zeroPad) {
            const qlonglong number = next->toLongLong();
            const QString digits = QString::number(number < 0 ? -number : number);
            const qsizetype digitsWidth = number < 0 ? width - 1 : width;
            out += (number < 0 ? QStringLiteral("-") : QString()) + digits.rightJustified(digitsWidth, u'0');
        } else {
            const QString value = kind == u'd' ? QString::number(next->toLongLong()) : next->toString();
            out += value.rightJustified(width, u' ');
        }
        ++next;
        i = j;
    }
    return out;
}

const char* KqSourceString(int id) {
    const StringTableEntry* e = Find(id);
    return e ? e->text.source : nullptr;
}

std::span<const StringTableEntry> KqStringTable() {
    return kTable;
}
