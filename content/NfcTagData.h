#pragma once
// The content of one tag record in typed form: a text, a URI scheme object or a
// MIME object (a contact). The item owns its object. The application works with
// CNfcTagData, the reader layer with CSdkNfcTagData; both behave alike.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "content/Mime.h"
#include "content/UriScheme.h"

class CTagDataItem {
public:
    static constexpr int32_t kText = 0;
    static constexpr int32_t kUriScheme = 1;
    static constexpr int32_t kMime = 2;

    explicit CTagDataItem(std::unique_ptr<std::string> text) : m_kind(kText), m_text(std::move(text)) {}
    explicit CTagDataItem(std::unique_ptr<CUriScheme> scheme)
        : m_kind(kUriScheme), m_scheme(std::move(scheme)) {}
    explicit CTagDataItem(std::unique_ptr<CMime> mime) : m_kind(kMime), m_mime(std::move(mime)) {}
    virtual ~CTagDataItem() = default;

    int32_t GetKind() const { return m_kind; }

    const std::string* GetText() const { return m_kind == kText ? m_text.get() : nullptr; }
    const CUriScheme* GetUriScheme() const { return m_kind == kUriScheme ? m_scheme.get() : nullptr; }
    CUriScheme* GetUriScheme() { return m_kind == kUriScheme ? m_scheme.get() : nullptr; }
    const CMime* GetMime() const { return m_kind == kMime ? m_mime.get() : nullptr; }

    bool HasText() const { return GetText() != nullptr; }
    bool HasUriScheme() const { return GetUriScheme() != nullptr; }
    bool HasMime() const { return GetMime() != nullptr; }

private:
    int32_t m_kind;
    std::unique_ptr<std::string> m_text;
    std::unique_ptr<CUriScheme> m_scheme;
    std::unique_ptr<CMime> m_mime;
};

// The application's content item.
class CNfcTagData : public CTagDataItem {
public:
    using CTagDataItem::CTagDataItem;
};

// The reader layer's content item.
class CSdkNfcTagData : public CTagDataItem {
public:
    using CTagDataItem::CTagDataItem;
};

using CSdkNfcTagDataList = std::vector<std::unique_ptr<CSdkNfcTagData>>;
