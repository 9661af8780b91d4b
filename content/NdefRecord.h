#pragma once
// The NDEF records the system knows: smart poster, text, URI and MIME.

#include <cstdint>
#include <memory>
#include <string>

#include "content/MyByteArray.h"

class CNdefMessage;

class CNdefRecord {
public:
    static constexpr int32_t kSmartPoster = 0;
    static constexpr int32_t kText = 1;
    static constexpr int32_t kUri = 2;
    static constexpr int32_t kMime = 3;

    virtual ~CNdefRecord() = default;
    int32_t GetKind() const { return m_kind; }

protected:
    explicit CNdefRecord(int32_t kind) : m_kind(kind) {}

private:
    const int32_t m_kind;
};

class CNdefSmartPosterRecord : public CNdefRecord {
public:
    CNdefSmartPosterRecord();
    explicit CNdefSmartPosterRecord(std::unique_ptr<CNdefMessage> message);
    ~CNdefSmartPosterRecord() override;

    std::unique_ptr<CNdefMessage> message; // the nested message, may be none
};

class CNdefTextRecord : public CNdefRecord {
public:
    CNdefTextRecord() : CNdefRecord(kText) {}
    CNdefTextRecord(std::string language, std::string text)
        : CNdefRecord(kText), language(std::move(language)), text(std::move(text)) {}

    bool utf16 = false;
    std::string language;
    std::string text;
};

class CNdefUriRecord : public CNdefRecord {
public:
    CNdefUriRecord() : CNdefRecord(kUri) {}
    explicit CNdefUriRecord(std::string uri, bool alreadyUtf8 = false)
        : CNdefRecord(kUri), uri(std::move(uri)), alreadyUtf8(alreadyUtf8) {}

    std::string uri;          // the whole URI, prefix included
    bool alreadyUtf8 = false; // written without validation when set
};

class CNdefMimeRecord : public CNdefRecord {
public:
    CNdefMimeRecord() : CNdefRecord(kMime) {}
    CNdefMimeRecord(std::string mimeType, CMyByteArray payload)
        : CNdefRecord(kMime), mimeType(std::move(mimeType)), payload(std::move(payload)) {}

    std::string mimeType;
    CMyByteArray payload;
};
