#include "res/StringTable.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

// Sorted by number. Each text is marked for translation with its number as the
// disambiguation; add a text here and its English text to
// res/kq-nfc-programmerEng.ts (see the README's "Texts and translation").
constexpr StringTableEntry kTable[] = {
    {154, QT_TRANSLATE_NOOP3("StringTable", "FW V%d.%02d", "154")},
    {600, QT_TRANSLATE_NOOP3("StringTable", "Neue Version:", "600")},
    {601, QT_TRANSLATE_NOOP3("StringTable", " ist aktuell", "601")},
    {602,
     QT_TRANSLATE_NOOP3("StringTable", "Keine Internet Verbindung: Update Prüfung nicht möglich!", "602")},
    {603, QT_TRANSLATE_NOOP3("StringTable", "Keine Datei gefunden: Update Prüfung nicht möglich!", "603")},
    {604, QT_TRANSLATE_NOOP3("StringTable", "Update wird gestartet, bitte warten!", "604")},
    {10134, QT_TRANSLATE_NOOP3("StringTable", "Kein Vek USB Treiber für KQ-LM(X)34 installiert!", "10134")},
    {10135,
     QT_TRANSLATE_NOOP3("StringTable", "Kein Vek USB Treiber für KQ-LM(X)38 VCOM installiert!", "10135")},
    {10136, QT_TRANSLATE_NOOP3("StringTable", "Treiber laden und installieren?", "10136")},
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

const char* KqSourceString(int id) {
    const StringTableEntry* e = Find(id);
    return e ? e->text.source : nullptr;
}

std::span<const StringTableEntry> KqStringTable() {
    return kTable;
}
