#include "app/CardStatus.h"

#include <algorithm>

const CCardStatus::CKey* CCardStatus::FindKey(int first, int second, TagKey* out) const {
    if (out) out->fill(0);
    const auto it = std::find_if(m_keys.begin(), m_keys.end(), [&](const CKey& key) {
        return (first < 0 || key.first == first) && (second < 0 || key.second == second);
    });
    if (it == m_keys.end()) return nullptr;
    if (out) *out = it->bytes;
    return &*it;
}

void CCardStatus::SetKey(int first, int second, const TagKey& key) {
    if (!Enabled) return;
    const auto it = std::find_if(m_keys.begin(), m_keys.end(), [&](const CKey& entry) {
        return entry.first == first && entry.second == second;
    });
    if (it == m_keys.end())
        m_keys.push_back({first, second, key});
    else
        it->bytes = key;
}
