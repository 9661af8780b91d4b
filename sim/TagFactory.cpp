#include "TagFactory.h"

#include "ClassicTag.h"
#include "DesfireCard.h"
#include "Iso15693Tag.h"
#include "IsoDepTag.h"
#include "TagImage.h"
#include "Type2Tag.h"

#include <sstream>

namespace kqsim {

namespace {

// A blank DESFire EV1 card (the image keeps its kind and UID only).
std::unique_ptr<Tag> loadDesfire(const TagImage& image, std::string& error) {
    Bytes uid{0x04, 0x5E, 0x1F, 0x72, 0x3A, 0x5C, 0x80};
    if (auto text = image.get("uid")) {
        auto parsed = parseHex(*text);
        if (!parsed || parsed->size() != 7) {
            error = "a DESFire UID has 7 bytes";
            return nullptr;
        }
        uid = *parsed;
    }
    return std::make_unique<IsoDepTag>(uid, std::make_unique<DesfireCard>());
}

struct Family {
    bool (*isKind)(const std::string& kind);
    std::unique_ptr<Tag> (*load)(const TagImage& image, std::string& error);
};

const Family kFamilies[] = {
    {[](const std::string& k) { return Type2Tag::modelFor(k).has_value(); },
     [](const TagImage& i, std::string& e) -> std::unique_ptr<Tag> { return Type2Tag::load(i, e); }},
    {&Iso15693Tag::isKind,
     [](const TagImage& i, std::string& e) -> std::unique_ptr<Tag> { return Iso15693Tag::load(i, e); }},
    {&ClassicTag::isKind,
     [](const TagImage& i, std::string& e) -> std::unique_ptr<Tag> { return ClassicTag::load(i, e); }},
    {[](const std::string& k) { return k == "desfire"; }, &loadDesfire},
};

} // namespace

std::vector<std::string> tagKinds() {
    std::vector<std::string> kinds{"ultralight", "ultralightc", "ntag213", "ntag215", "ntag216", "type2"};
    for (const std::string& k : Iso15693Tag::kinds())
        kinds.push_back(k);
    for (const std::string& k : ClassicTag::kinds())
        kinds.push_back(k);
    kinds.push_back("desfire");
    return kinds;
}

std::unique_ptr<Tag> loadTag(const TagImage& image, std::string& error) {
    std::string kind = image.get("kind").value_or("");
    for (const Family& f : kFamilies)
        if (f.isKind(kind)) return f.load(image, error);
    error = "unknown tag kind '" + kind + "'";
    return nullptr;
}

std::unique_ptr<Tag> makeTag(const std::string& spec, std::string& error) {
    // The tag description ("kind,uid=...,pages=...") becomes a small image, so that
    // both ways share one loader.
    TagImage image;
    std::istringstream in(spec);
    std::string part;
    bool first = true;
    while (std::getline(in, part, ',')) {
        if (first) {
            image.set("kind", part);
            first = false;
            continue;
        }
        std::size_t eq = part.find('=');
        std::string name = part.substr(0, eq);
        if (eq == std::string::npos || (name != "uid" && name != "pages")) {
            error = "'" + part + "': expected uid=HEX or pages=N";
            return nullptr;
        }
        image.set(name, part.substr(eq + 1));
    }
    if (first) {
        error = "empty tag specification";
        return nullptr;
    }
    return loadTag(image, error);
}

std::unique_ptr<Tag> loadTagFile(const std::string& path, std::string& error) {
    auto image = TagImage::loadFile(path, error);
    if (!image) return nullptr;
    auto tag = loadTag(*image, error);
    if (!tag) error = path + ": " + error;
    return tag;
}

bool saveTagFile(const Tag& tag, const std::string& path, std::string& error) {
    TagImage image;
    tag.save(image);
    return image.saveFile(path, error);
}

} // namespace kqsim
