#include "DesfireCard.h"

#include "Checksum.h"

#include <openssl/rand.h>

#include <algorithm>

namespace kqsim {

namespace {

constexpr std::size_t kFrameIn = 60;  // longest native command frame the card takes
constexpr std::size_t kFrameOut = 59; // data bytes in one answer frame

std::uint32_t le3(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | static_cast<std::uint32_t>(b[at + 2]) << 16;
}

Bytes crc32Bytes(const Bytes& data) {
    std::uint32_t c = crc32Desfire(data.data(), data.size());
    return {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
            static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 24)};
}

Bytes rotated(const Bytes& b) {
    Bytes r(b.begin() + 1, b.end());
    r.push_back(b.front());
    return r;
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool allZero(const Bytes& b, std::size_t from) {
    return std::all_of(b.begin() + static_cast<std::ptrdiff_t>(std::min(from, b.size())), b.end(),
                       [](std::uint8_t x) { return x == 0; });
}

std::size_t rounded32(std::size_t n) {
    return (n + 31) / 32 * 32;
}

} // namespace

DesfireCard::File* DesfireCard::Application::file(std::uint8_t no) {
    for (File& f : files)
        if (f.no == no) return &f;
    return nullptr;
}

DesfireCard::DesfireCard() {
    Application card;
    card.keys.resize(1);
    apps_.push_back(card);
    random_ = [](std::size_t n) {
        Bytes b(n);
        RAND_bytes(b.data(), static_cast<int>(n));
        return b;
    };
}

DesfireCard::Application* DesfireCard::application(std::uint32_t aid) {
    for (Application& a : apps_)
        if (a.aid == aid) return &a;
    return nullptr;
}

Bytes DesfireCard::image(std::uint32_t aid) {
    const Application* app = application(aid);
    if (!app) return {};
    Bytes b{app->settings, app->settings2};
    for (const Key& k : app->keys)
        b.insert(b.end(), k.value.begin(), k.value.end());
    for (const File& f : app->files) {
        const std::uint16_t iso = f.isoId.value_or(0);
        b.insert(b.end(),
                 {f.no, static_cast<std::uint8_t>(iso >> 8), static_cast<std::uint8_t>(iso),
                  static_cast<std::uint8_t>(f.access >> 8), static_cast<std::uint8_t>(f.access), f.comm});
        b.insert(b.end(), f.data.begin(), f.data.end());
    }
    return b;
}

DesfireCard::Application& DesfireCard::current() {
    Application* a = application(selected_);
    return a ? *a : apps_.front();
}

std::size_t DesfireCard::freeMemory() const {
    std::size_t used = 0;
    for (const Application& a : apps_)
        for (const File& f : a.files)
            used += rounded32(f.data.size());
    return kMemory - std::min(used, kMemory);
}

void DesfireCard::reset() {
    selected_ = 0;
    selectedFile_.reset();
    session_.reset();
    authKey_ = -1;
    authCipher_.reset();
    pendingOut_.clear();
    writeHeader_.clear();
}

Bytes DesfireCard::processApdu(const Bytes& apdu) {
    if (apdu.empty()) return {LengthError};
    if (apdu[0] == 0x90) return wrapped(apdu);
    if (apdu[0] == 0x00) return iso(apdu);
    return native(apdu);
}

Bytes DesfireCard::wrapped(const Bytes& apdu) {
    if (apdu.size() < 5 || apdu[2] != 0 || apdu[3] != 0) return {0x67, 0x00};
    Bytes frame{apdu[1]};
    if (apdu.size() > 5) {
        std::size_t lc = apdu[4];
        if (apdu.size() != 5 + lc && apdu.size() != 6 + lc) return {0x67, 0x00};
        frame.insert(frame.end(), apdu.begin() + 5, apdu.begin() + 5 + static_cast<std::ptrdiff_t>(lc));
    }
    Bytes r = native(frame);
    Bytes out(r.begin() + 1, r.end());
    out.push_back(0x91);
    out.push_back(r[0]);
    return out;
}

Bytes DesfireCard::fail(std::uint8_t status) {
    session_.reset();
    authKey_ = -1;
    return {status};
}

void DesfireCard::macIn(const Bytes& command) {
    if (session_) session_->mac(command);
}

Bytes DesfireCard::answer(Bytes data, bool mac) {
    if (session_ && mac) {
        data = cat(data, session_->mac(cat(data, {Ok})));
    }
    if (corrupt_ && !data.empty()) {
        data[0] ^= 0x01;
        corrupt_ = false;
    }
    pendingOut_.clear();
    for (std::size_t at = 0; at < data.size() || pendingOut_.empty(); at += kFrameOut) {
        std::size_t n = std::min(kFrameOut, data.size() - at);
        Bytes frame{AdditionalFrame};
        frame.insert(frame.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                     data.begin() + static_cast<std::ptrdiff_t>(at + n));
        pendingOut_.push_back(frame);
    }
    pendingOut_.back()[0] = Ok;
    Bytes first = pendingOut_.front();
    pendingOut_.erase(pendingOut_.begin());
    return first;
}

Bytes DesfireCard::native(const Bytes& frame) {
    if (frame.size() > kFrameIn) {
        pendingOut_.clear();
        writeHeader_.clear();
        return fail(LengthError);
    }
    const std::uint8_t cmd = frame[0];
    if (cmd == AdditionalFrame) {
        if (authCipher_) return authenticateSecond(frame);
        if (!pendingOut_.empty()) {
            Bytes next = pendingOut_.front();
            pendingOut_.erase(pendingOut_.begin());
            return next;
        }
        if (!writeHeader_.empty()) {
            writeData_.insert(writeData_.end(), frame.begin() + 1, frame.end());
            if (writeData_.size() < writeExpected_) return {AdditionalFrame};
            return finishWrite();
        }
        return fail(IllegalCommand);
    }
    // A new command ends whatever was going on.
    authCipher_.reset();
    pendingOut_.clear();
    writeHeader_.clear();
    switch (cmd) {
    case 0x1A:
        return authenticate(false, frame);
    case 0xAA:
        return authenticate(true, frame);
    case 0x5A:
        return selectApplication(frame);
    case 0x6A:
        return getApplicationIds(frame);
    case 0x6D:
        return getDfNames(frame);
    case 0x6E:
        if (frame.size() != 1) return fail(LengthError);
        macIn(frame);
        return answer({static_cast<std::uint8_t>(freeMemory()), static_cast<std::uint8_t>(freeMemory() >> 8),
                       static_cast<std::uint8_t>(freeMemory() >> 16)});
    case 0x45:
        return getKeySettings(frame);
    case 0x54:
        return changeKeySettings(frame);
    case 0xC4:
        return changeKey(frame);
    case 0xCA:
        return createApplication(frame);
    case 0xCD:
        return createDataFile(frame);
    case 0xDA:
        return deleteApplication(frame);
    case 0xDF:
        return deleteFile(frame);
    case 0x6F:
        return getFileIds(frame);
    case 0xF5:
        return getFileSettings(frame);
    case 0x5F:
        return changeFileSettings(frame);
    case 0xBD:
        return readData(frame);
    case 0x3D:
        return writeData(frame);
    default:
        return fail(IllegalCommand);
    }
}

// --- authentication ------------------------------------------------------------------

Bytes DesfireCard::authenticate(bool aes, const Bytes& frame) {
    if (frame.size() != 2) return fail(LengthError);
    session_.reset();
    authKey_ = -1;
    Application& app = current();
    std::uint8_t keyNo = frame[1];
    if (keyNo >= app.keys.size()) return fail(NoSuchKey);
    // Three-key triple DES keys take a longer exchange this card does not make.
    if (aes != app.aes() || (app.settings2 & 0xC0) == 0x40) return fail(AuthenticationError);
    DesfireCipher cipher(aes ? DesfireCipher::Kind::Aes : DesfireCipher::Kind::Tdes, app.keys[keyNo].value);
    rndB_ = random_(cipher.block());
    Bytes enc = cipher.encrypt(rndB_);
    authCipher_ = cipher;
    authKeyNo_ = keyNo;
    authAes_ = aes;
    return cat({AdditionalFrame}, enc);
}

Bytes DesfireCard::authenticateSecond(const Bytes& frame) {
    DesfireCipher cipher = *authCipher_;
    authCipher_.reset();
    const std::size_t block = cipher.block();
    if (frame.size() != 1 + 2 * block) return fail(LengthError);
    Bytes plain = cipher.decrypt(Bytes(frame.begin() + 1, frame.end()));
    Bytes rndA(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(block));
    if (Bytes(plain.begin() + static_cast<std::ptrdiff_t>(block), plain.end()) != rotated(rndB_))
        return fail(AuthenticationError);
    Bytes proof = cipher.encrypt(rotated(rndA));
    auto part = [](const Bytes& b, std::size_t at) { return Bytes(b.begin() + at, b.begin() + at + 4); };
    Bytes key;
    const Bytes& k = cipher.key();
    if (authAes_)
        key = cat(cat(cat(part(rndA, 0), part(rndB_, 0)), part(rndA, 12)), part(rndB_, 12));
    else if (std::equal(k.begin(), k.begin() + 8, k.begin() + 8,
                        // DES ignores the parity bits, which hold the key version.
                        [](std::uint8_t a, std::uint8_t b) { return ((a ^ b) & 0xFE) == 0; }))
        key = cat(cat(cat(part(rndA, 0), part(rndB_, 0)), part(rndA, 0)), part(rndB_, 0));
    else
        key = cat(cat(cat(part(rndA, 0), part(rndB_, 0)), part(rndA, 4)), part(rndB_, 4));
    session_ = DesfireCipher(cipher.kind(), key);
    authKey_ = authKeyNo_;
    return cat({Ok}, proof);
}

// --- card level ----------------------------------------------------------------------

const DesfireCard::Application& DesfireCard::current() const {
    for (const Application& a : apps_)
        if (a.aid == selected_) return a;
    return apps_.front();
}

bool DesfireCard::mayList() const {
    return (current().settings & 0x02) || authKey_ == 0;
}

bool DesfireCard::mayManage() const {
    return (current().settings & 0x04) || authKey_ == 0;
}

Bytes DesfireCard::selectApplication(const Bytes& frame) {
    if (frame.size() != 4) return fail(LengthError);
    std::uint32_t aid = le3(frame, 1);
    session_.reset();
    authKey_ = -1;
    if (!application(aid)) return fail(ApplicationNotFound);
    selected_ = aid;
    selectedFile_.reset();
    return {Ok};
}

Bytes DesfireCard::getApplicationIds(const Bytes& frame) {
    if (frame.size() != 1) return fail(LengthError);
    if (selected_ != 0) return fail(IllegalCommand);
    if (!mayList()) return fail(AuthenticationError);
    macIn(frame);
    Bytes ids;
    for (std::size_t i = 1; i < apps_.size(); ++i)
        for (int b = 0; b < 3; ++b)
            ids.push_back(static_cast<std::uint8_t>(apps_[i].aid >> (8 * b)));
    return answer(ids);
}

Bytes DesfireCard::getDfNames(const Bytes& frame) {
    if (frame.size() != 1) return fail(LengthError);
    if (selected_ != 0) return fail(IllegalCommand);
    if (!mayList()) return fail(AuthenticationError);
    pendingOut_.clear();
    for (std::size_t i = 1; i < apps_.size(); ++i) {
        const Application& a = apps_[i];
        if (!a.isoId) continue;
        Bytes f{AdditionalFrame,
                static_cast<std::uint8_t>(a.aid),
                static_cast<std::uint8_t>(a.aid >> 8),
                static_cast<std::uint8_t>(a.aid >> 16),
                static_cast<std::uint8_t>(*a.isoId),
                static_cast<std::uint8_t>(*a.isoId >> 8)};
        pendingOut_.push_back(cat(f, a.dfName));
    }
    if (pendingOut_.empty()) return {Ok};
    pendingOut_.back()[0] = Ok;
    Bytes first = pendingOut_.front();
    pendingOut_.erase(pendingOut_.begin());
    return first;
}

Bytes DesfireCard::getKeySettings(const Bytes& frame) {
    if (frame.size() != 1) return fail(LengthError);
    if (!mayList()) return fail(AuthenticationError);
    macIn(frame);
    Application& app = current();
    return answer({app.settings, static_cast<std::uint8_t>(app.keys.size() | (app.settings2 & 0xC0))});
}

Bytes DesfireCard::changeKeySettings(const Bytes& frame) {
    if (!session_ || authKey_ != 0) return fail(AuthenticationError);
    Application& app = current();
    if (!(app.settings & 0x08)) return fail(PermissionDenied);
    Bytes enc(frame.begin() + 1, frame.end());
    if (enc.empty() || enc.size() % session_->block()) return fail(LengthError);
    Bytes p = session_->decrypt(enc);
    if (p.size() < 5 || Bytes(p.begin() + 1, p.begin() + 5) != crc32Bytes({0x54, p[0]}) || !allZero(p, 5))
        return fail(IntegrityError);
    app.settings = p[0];
    return answer({});
}

Bytes DesfireCard::changeKey(const Bytes& frame) {
    if (frame.size() < 2) return fail(LengthError);
    if (!session_) return fail(AuthenticationError);
    Application& app = current();
    const bool cardLevel = selected_ == 0;
    const int keyNo = frame[1] & (cardLevel ? 0x3F : 0x0F);
    if (keyNo >= static_cast<int>(app.keys.size())) return fail(NoSuchKey);
    if (keyNo == 0) {
        if (authKey_ != 0) return fail(AuthenticationError);
        if (!(app.settings & 0x01)) return fail(PermissionDenied);
    } else {
        int access = app.settings >> 4;
        if (access == 0xF) return fail(PermissionDenied);
        if (authKey_ != (access == 0xE ? keyNo : access)) return fail(AuthenticationError);
    }
    const bool newAes = cardLevel ? (frame[1] & 0x80) != 0 : app.aes();
    Bytes enc(frame.begin() + 2, frame.end());
    if (enc.empty() || enc.size() % session_->block()) return fail(LengthError);
    Bytes p = session_->decrypt(enc);
    const bool same = keyNo == authKey_;
    std::size_t at = 16 + (newAes ? 1 : 0);
    if (p.size() < at + (same ? 4 : 8)) return fail(LengthError);
    Bytes keyData(p.begin(), p.begin() + 16);
    Bytes covered = cat({0xC4, frame[1]}, Bytes(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(at)));
    if (Bytes(p.begin() + static_cast<std::ptrdiff_t>(at), p.begin() + static_cast<std::ptrdiff_t>(at + 4)) !=
        crc32Bytes(covered))
        return fail(IntegrityError);
    Bytes newKey = keyData;
    if (!same) {
        for (std::size_t i = 0; i < 16; ++i)
            newKey[i] ^= app.keys[keyNo].value[i];
        if (Bytes(p.begin() + static_cast<std::ptrdiff_t>(at + 4),
                  p.begin() + static_cast<std::ptrdiff_t>(at + 8)) != crc32Bytes(newKey))
            return fail(IntegrityError);
        at += 4;
    }
    if (!allZero(p, at + 4)) return fail(IntegrityError);
    app.keys[keyNo].value = newKey;
    app.keys[keyNo].version = newAes ? p[16] : 0;
    if (cardLevel) app.settings2 = static_cast<std::uint8_t>((app.settings2 & 0x3F) | (newAes ? 0x80 : 0x00));
    if (same) {
        // The session key is gone with the key: the card answers without a CMAC.
        session_.reset();
        authKey_ = -1;
        return {Ok};
    }
    return answer({});
}

Bytes DesfireCard::createApplication(const Bytes& frame) {
    if (frame.size() < 6) return fail(LengthError);
    if (selected_ != 0) return fail(PermissionDenied);
    if (!mayManage()) return fail(AuthenticationError);
    macIn(frame);
    Application a;
    a.aid = le3(frame, 1);
    a.settings = frame[4];
    a.settings2 = frame[5];
    const int keys = a.settings2 & 0x0F;
    const int crypto = a.settings2 & 0xC0;
    if (a.aid == 0 || keys < 1 || keys > 14 || (crypto != 0x00 && crypto != 0x80))
        return fail(ParameterError);
    if (a.settings2 & 0x20) {
        if (frame.size() < 8 || frame.size() > 8 + 16) return fail(LengthError);
        a.isoId = static_cast<std::uint16_t>(frame[6] | frame[7] << 8);
        a.dfName.assign(frame.begin() + 8, frame.end());
    } else if (frame.size() != 6) {
        return fail(LengthError);
    }
    for (const Application& o : apps_)
        if (o.aid == a.aid || (a.isoId && o.isoId == a.isoId) || (!a.dfName.empty() && o.dfName == a.dfName))
            return fail(DuplicateError);
    if (apps_.size() > 28) return fail(CountError);
    a.keys.resize(static_cast<std::size_t>(keys));
    apps_.push_back(a);
    return answer({});
}

Bytes DesfireCard::deleteApplication(const Bytes& frame) {
    if (frame.size() != 4) return fail(LengthError);
    const std::uint32_t aid = le3(frame, 1);
    if (aid == 0 || !application(aid)) return fail(ApplicationNotFound);
    // The card master key, or the application's own master key with it selected.
    if (authKey_ != 0 || (selected_ != 0 && selected_ != aid)) return fail(AuthenticationError);
    macIn(frame);
    apps_.erase(
        std::find_if(apps_.begin(), apps_.end(), [aid](const Application& a) { return a.aid == aid; }));
    if (selected_ == aid) {
        selected_ = 0;
        session_.reset();
        authKey_ = -1;
        return {Ok};
    }
    return answer({});
}

// --- application level ---------------------------------------------------------------

Bytes DesfireCard::deleteFile(const Bytes& frame) {
    if (frame.size() != 2) return fail(LengthError);
    if (selected_ == 0) return fail(PermissionDenied);
    Application& app = current();
    if (!app.file(frame[1])) return fail(FileNotFound);
    if (!mayManage()) return fail(AuthenticationError);
    macIn(frame);
    app.files.erase(
        std::find_if(app.files.begin(), app.files.end(), [&](const File& f) { return f.no == frame[1]; }));
    return answer({});
}

Bytes DesfireCard::createDataFile(const Bytes& frame) {
    if (selected_ == 0) return fail(PermissionDenied);
    Application& app = current();
    const bool iso = (app.settings2 & 0x20) != 0;
    if (frame.size() != (iso ? 10u : 8u) && frame.size() != 10u) return fail(LengthError);
    if (!mayManage()) return fail(AuthenticationError);
    macIn(frame);
    File f;
    f.no = frame[1];
    std::size_t at = 2;
    if (frame.size() == 10) {
        f.isoId = static_cast<std::uint16_t>(frame[2] | frame[3] << 8);
        at = 4;
    }
    f.comm = frame[at];
    f.access = static_cast<std::uint16_t>(frame[at + 1] | frame[at + 2] << 8);
    std::size_t size = le3(frame, at + 3);
    if (f.no > 31 || (f.comm != 0 && f.comm != 1 && f.comm != 3)) return fail(ParameterError);
    for (const File& o : app.files)
        if (o.no == f.no || (f.isoId && o.isoId == f.isoId)) return fail(DuplicateError);
    if (rounded32(size) > freeMemory()) return fail(OutOfMemory);
    f.data.assign(size, 0);
    app.files.push_back(f);
    return answer({});
}

Bytes DesfireCard::getFileIds(const Bytes& frame) {
    if (frame.size() != 1) return fail(LengthError);
    if (selected_ == 0) return fail(PermissionDenied);
    if (!mayList()) return fail(AuthenticationError);
    macIn(frame);
    Bytes ids;
    for (const File& f : current().files)
        ids.push_back(f.no);
    return answer(ids);
}

Bytes DesfireCard::getFileSettings(const Bytes& frame) {
    if (frame.size() != 2) return fail(LengthError);
    if (selected_ == 0) return fail(PermissionDenied);
    File* f = current().file(frame[1]);
    if (!f) return fail(FileNotFound);
    if (!mayList()) return fail(AuthenticationError);
    macIn(frame);
    std::size_t size = f->data.size();
    return answer({0x00, f->comm, static_cast<std::uint8_t>(f->access),
                   static_cast<std::uint8_t>(f->access >> 8), static_cast<std::uint8_t>(size),
                   static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size >> 16)});
}

Bytes DesfireCard::changeFileSettings(const Bytes& frame) {
    if (frame.size() < 2) return fail(LengthError);
    if (selected_ == 0) return fail(PermissionDenied);
    File* f = current().file(frame[1]);
    if (!f) return fail(FileNotFound);
    Bytes settings;
    if (f->change() == 0xF) return fail(PermissionDenied);
    if (f->change() == 0xE) {
        if (frame.size() != 5) return fail(LengthError);
        macIn(frame);
        settings.assign(frame.begin() + 2, frame.end());
    } else {
        if (!session_ || authKey_ != f->change()) return fail(AuthenticationError);
        Bytes enc(frame.begin() + 2, frame.end());
        if (enc.empty() || enc.size() % session_->block()) return fail(LengthError);
        Bytes p = session_->decrypt(enc);
        if (p.size() < 7) return fail(LengthError);
        settings.assign(p.begin(), p.begin() + 3);
        if (Bytes(p.begin() + 3, p.begin() + 7) != crc32Bytes(cat({0x5F, frame[1]}, settings)) ||
            !allZero(p, 7))
            return fail(IntegrityError);
    }
    if (settings[0] != 0 && settings[0] != 1 && settings[0] != 3) return fail(ParameterError);
    f->comm = settings[0];
    f->access = static_cast<std::uint16_t>(settings[1] | settings[2] << 8);
    return answer({});
}

int DesfireCard::commMode(const File& file, int key1, int key2) const {
    if (key1 == 0xE || key2 == 0xE) return 0; // free access goes plain
    if (authKey_ >= 0 && (authKey_ == key1 || authKey_ == key2)) return file.comm == 2 ? 0 : file.comm;
    return -1;
}

Bytes DesfireCard::readData(const Bytes& frame) {
    if (frame.size() != 8) return fail(LengthError);
    if (selected_ == 0) return fail(PermissionDenied);
    File* f = current().file(frame[1]);
    if (!f) return fail(FileNotFound);
    std::size_t offset = le3(frame, 2), length = le3(frame, 5);
    if (offset > f->data.size()) return fail(BoundaryError);
    if (length == 0) length = f->data.size() - offset;
    if (offset + length > f->data.size()) return fail(BoundaryError);
    int mode = commMode(*f, f->read(), f->readWrite());
    if (mode < 0) return fail(AuthenticationError);
    macIn(frame);
    Bytes data(f->data.begin() + static_cast<std::ptrdiff_t>(offset),
               f->data.begin() + static_cast<std::ptrdiff_t>(offset + length));
    if (mode != 3) return answer(data);
    // The length is known to both sides: zeros pad the data and its CRC32.
    Bytes p = cat(data, crc32Bytes(cat(data, {Ok})));
    while (p.size() % session_->block())
        p.push_back(0);
    return answer(session_->encrypt(p), false);
}

Bytes DesfireCard::writeData(const Bytes& frame) {
    if (frame.size() < 8) return fail(LengthError);
    if (selected_ == 0) return fail(PermissionDenied);
    File* f = current().file(frame[1]);
    if (!f) return fail(FileNotFound);
    std::size_t offset = le3(frame, 2), length = le3(frame, 5);
    if (length == 0) return fail(LengthError);
    if (offset + length > f->data.size()) return fail(BoundaryError);
    int mode = commMode(*f, f->write(), f->readWrite());
    if (mode < 0) return fail(AuthenticationError);
    writeMode_ = mode;
    writeExpected_ = mode == 0 ? length
                     : mode == 1
                         ? length + 8
                         : (length + 4 + session_->block() - 1) / session_->block() * session_->block();
    writeHeader_.assign(frame.begin(), frame.begin() + 8);
    writeData_.assign(frame.begin() + 8, frame.end());
    if (writeData_.size() < writeExpected_) return {AdditionalFrame};
    return finishWrite();
}

Bytes DesfireCard::finishWrite() {
    Bytes header = writeHeader_;
    writeHeader_.clear();
    if (writeData_.size() != writeExpected_) return fail(LengthError);
    File* f = current().file(header[1]);
    std::size_t offset = le3(header, 2), length = le3(header, 5);
    Bytes data;
    if (writeMode_ == 0) {
        data = writeData_;
        macIn(cat(header, data));
    } else if (writeMode_ == 1) {
        data.assign(writeData_.begin(), writeData_.begin() + static_cast<std::ptrdiff_t>(length));
        if (session_->mac(cat(header, data)) != Bytes(writeData_.end() - 8, writeData_.end()))
            return fail(IntegrityError);
    } else {
        Bytes p = session_->decrypt(writeData_);
        data.assign(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(length));
        if (Bytes(p.begin() + static_cast<std::ptrdiff_t>(length),
                  p.begin() + static_cast<std::ptrdiff_t>(length + 4)) != crc32Bytes(cat(header, data)) ||
            !allZero(p, length + 4))
            return fail(IntegrityError);
    }
    std::copy(data.begin(), data.end(), f->data.begin() + static_cast<std::ptrdiff_t>(offset));
    return answer({});
}

// --- ISO 7816-4 ----------------------------------------------------------------------

Bytes DesfireCard::iso(const Bytes& apdu) {
    static const Bytes kOk{0x90, 0x00};
    if (apdu.size() < 4) return {0x67, 0x00};
    const std::uint8_t ins = apdu[1], p1 = apdu[2], p2 = apdu[3];
    const std::size_t lc = apdu.size() > 5 ? apdu[4] : 0;
    if (apdu.size() > 5 && apdu.size() != 5 + lc && apdu.size() != 6 + lc) return {0x67, 0x00};
    const Bytes body(apdu.begin() + (apdu.size() > 5 ? 5 : static_cast<std::ptrdiff_t>(apdu.size())),
                     apdu.begin() + (apdu.size() > 5 ? 5 + static_cast<std::ptrdiff_t>(lc)
                                                     : static_cast<std::ptrdiff_t>(apdu.size())));
    pendingOut_.clear();
    writeHeader_.clear();
    authCipher_.reset();
    switch (ins) {
    case 0xA4: {
        // Selecting an application (a DF) ends the session, as SelectApplication does.
        auto enter = [this](const Application& a) {
            selected_ = a.aid;
            selectedFile_.reset();
            session_.reset();
            authKey_ = -1;
            return kOk;
        };
        if (p1 == 0x04) {
            for (Application& a : apps_)
                if (a.aid != 0 && !a.dfName.empty() && a.dfName == body) return enter(a);
            return {0x6A, 0x82};
        }
        if (p1 != 0x00 || body.size() != 2) return {0x6A, 0x86};
        const std::uint16_t id = static_cast<std::uint16_t>(body[0] << 8 | body[1]);
        if (selected_ != 0)
            for (const File& f : current().files)
                if (f.isoId == id) {
                    selectedFile_ = f.no;
                    return kOk;
                }
        for (Application& a : apps_)
            if ((a.aid == 0 && id == 0x3F00) || (a.aid != 0 && a.isoId == id)) return enter(a);
        return {0x6A, 0x82};
    }
    case 0xB0:
    case 0xD6: {
        if (p1 & 0x80) return {0x6A, 0x81}; // short file ids: not taken here
        File* f = selected_ != 0 && selectedFile_ ? current().file(*selectedFile_) : nullptr;
        if (!f) return {0x69, 0x85};
        const std::size_t offset = static_cast<std::size_t>(p1 << 8 | p2);
        const bool read = ins == 0xB0;
        int key1 = read ? f->read() : f->write(), key2 = f->readWrite();
        bool allowed =
            key1 == 0xE || key2 == 0xE || (authKey_ >= 0 && (authKey_ == key1 || authKey_ == key2));
        if (!allowed) return {0x69, 0x82};
        if (read) {
            std::size_t le = apdu.size() == 5 ? (apdu[4] == 0 ? 256 : apdu[4]) : 0;
            if (apdu.size() != 5) return {0x67, 0x00};
            if (offset + le > f->data.size()) return {0x69, 0x85};
            Bytes out(f->data.begin() + static_cast<std::ptrdiff_t>(offset),
                      f->data.begin() + static_cast<std::ptrdiff_t>(offset + le));
            return cat(out, kOk);
        }
        if (body.empty()) return {0x67, 0x00};
        if (offset + body.size() > f->data.size()) return {0x69, 0x85};
        std::copy(body.begin(), body.end(), f->data.begin() + static_cast<std::ptrdiff_t>(offset));
        return kOk;
    }
    default:
        return {0x6D, 0x00};
    }
}

} // namespace kqsim
