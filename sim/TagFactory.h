// The tag kinds the simulator can make, by name, by specification or from an image:
//
//   ultralight, ultralightc, ntag213, ntag215, ntag216  NFC Forum Type 2 as shipped
//   type2                                               generic Type 2 (pages=N)
//   icode                                               ISO 15693, 28 blocks x 4 bytes
//   iso15693-ti, -custom, -multi, -32, -nomulti,        ISO 15693 profiles (Iso15693Tag.h)
//   -noinfo, -lossy
//   classic1k, classic4k, classic1k-keyb                MIFARE Classic (ClassicTag.h)
//   desfire                                             DESFire EV1 8K, blank
//
// A specification is "KIND[,uid=HEX][,pages=N]", e.g. "ntag213,uid=04112233445566",
// "type2,pages=64", "icode,uid=E004010012345678" (ISO 15693 UIDs most significant
// byte first). A new family adds its kind here and a load function of its own.
#pragma once

#include "Tag.h"

#include <memory>
#include <string>
#include <vector>

namespace kqsim {

class TagImage;

std::vector<std::string> tagKinds();
std::unique_ptr<Tag> makeTag(const std::string& spec, std::string& error);
std::unique_ptr<Tag> loadTag(const TagImage& image, std::string& error);
std::unique_ptr<Tag> loadTagFile(const std::string& path, std::string& error);
bool saveTagFile(const Tag& tag, const std::string& path, std::string& error);

} // namespace kqsim
