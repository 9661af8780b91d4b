#pragma once
// MIME content of a MIME record; a contact (vCard) is the only kind.

#include <cstdint>
#include <string>

#include "content/MyByteArray.h"

class CMime {
public:
    static constexpr int32_t kVCard = 1;

    virtual ~CMime() = default;
    int32_t GetMimeKind() const { return m_mimeKind; }

    virtual std::string GetMimeType() const = 0;
    // The record payload; left empty when there is nothing to write.
    virtual void Build(CMyByteArray& payload) const = 0;

protected:
    explicit CMime(int32_t mimeKind) : m_mimeKind(mimeKind) {}

private:
    const int32_t m_mimeKind;
};
