#pragma once

#include "app/TagKey.h"

#include <QString>

#include <optional>
#include <vector>

// Tag keys as the user types them: hexadecimal text of 0 to 16 bytes ("0-16 Byte,
// Auffüllung mit 0"), packed ("A0A1A2"), with blanks between the bytes or in groups
// ("A0A1 A2A3"); a tab or any other blank parts them as a blank does.

// The 16 key bytes of `text`: the bytes it names followed by zeros (an empty text
// gives 16 zero bytes); nothing when the text is no key: not hex, a group that does
// not read one way (IsHexText), or more than 16 bytes. Nothing typed is dropped.
std::optional<TagKey> ParseKeyText(const QString& text);
// 32 upper-case hex digits without blanks.
QString KeyToText(const TagKey& key);

// One named key of the program's key store: its name and its value, written by the
// program as 32 upper-case hex digits.
struct CKeyStoreItem {
    QString Name;
    QString Value;
};

// The program's store of named keys. It lives in the settings, section
// "DesfireKeyStore", as "KeyName<n>"/"KeyValue<n>", saved numbered from 1 without gaps;
// each dialog loads its own list and saves it after each change.
class CKeyStoreItemList {
public:
    static constexpr char kSection[] = "DesfireKeyStore";

    // Empties the list, then reads every entry whose value is not empty, in the order
    // of their numbers (an entry with an empty name is kept).
    void Load();
    // Replaces the whole section, in one write, by the items whose value is not
    // empty, in list order, numbered from 1. False when the settings file could not
    // be written; the store is then as it was.
    bool Save() const;
    // The first item whose name equals `name` when trailing blanks are cut from both
    // (letter case counts); null when there is none. Valid until the list changes.
    CKeyStoreItem* FindByName(const QString& name);

    std::vector<CKeyStoreItem> Items;
};
