// A tag the simulated reader can have in its field. The families derive from it:
// TypeATag (ISO 14443-3A: Type2Tag, IsoDepTag, ClassicTag) and Iso15693Tag.
// A new family or card is a class of its own file plus an entry in TagFactory.
//
// Tags are not synchronised: once placed, the Simulator owns them and touches them
// only under its lock (Simulator::withTag).
#pragma once

#include "Bytes.h"

#include <string>

namespace kqsim {

class TagImage;
class TypeATag;
class Iso15693Tag;

class Tag {
public:
    virtual ~Tag() = default;

    // The image keyword of the tag kind ("ntag213", "icode", ...).
    virtual std::string kind() const = 0;
    // The UID as it goes over the air (type A: manufacturer byte first; ISO 15693:
    // least significant byte first, 0xE0 last).
    virtual const Bytes& uid() const = 0;
    // The whole memory in address order (pages or blocks), as the datasheet maps it.
    virtual Bytes memory() const = 0;
    // The tag lost power (taken off the reader or RF field off): volatile state is gone.
    virtual void powerOff() = 0;
    // Writes kind, UID, memory, keys and lock state into an image (see TagImage).
    virtual void save(TagImage& image) const = 0;

    // "ntag213 04 A1 B2 C3 D4 E5 F6" for consoles and logs.
    virtual std::string describe() const;

    virtual TypeATag* asTypeA() { return nullptr; }
    virtual Iso15693Tag* asIso15693() { return nullptr; }
};

} // namespace kqsim
