#pragma once

#include "app/TagKey.h"

#include <vector>

// The keys that have opened a tag during this run of the program, each under the
// two numbers its user gave it (the tag-operation engine uses (key number, 0): 0 the
// card's master key, 1 the NFC application's master key). Nothing is stored on disk.
class CCardStatus {
public:
    struct CKey {
        int first = -1;
        int second = -1;
        TagKey bytes{};
    };

    // The first entry whose first number equals `first` (any when first < 0) and
    // whose second equals `second` (any when second < 0), or null. With `out`, the
    // entry's bytes are copied there (out is zeroed first, also when none is found).
    // The pointer is valid until the next SetKey.
    const CKey* FindKey(int first, int second, TagKey* out = nullptr) const;

    // Keeps `key` under exactly (first, second): a new entry, or the existing one's
    // bytes replaced. Nothing while the cache is disabled.
    void SetKey(int first, int second, const TagKey& key);

    bool IsEmpty() const { return m_keys.empty(); }

    // Built enabled: keys that work are remembered.
    bool Enabled = true;

private:
    std::vector<CKey> m_keys;
};
