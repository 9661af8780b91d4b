// The application behind an ISO/IEC 14443-4 card: what it answers to APDUs after the
// reader has activated it (RATS/ATS). An IsoDepTag carries one; card families such as
// DESFire implement this interface in a file of their own.
#pragma once

#include "Bytes.h"

#include <string>

namespace kqsim {

class TagImage;

class CardModel {
public:
    virtual ~CardModel() = default;

    // The image keyword of the card ("desfire", ...).
    virtual std::string kind() const = 0;
    // The answer to select (ATS) the card gives to RATS.
    virtual Bytes ats() const { return {0x05, 0x78, 0x80, 0x70, 0x00}; }
    // One command APDU (or native command frame) in, its whole response out.
    virtual Bytes processApdu(const Bytes& apdu) = 0;
    // Power loss or the end of the ISO 14443-4 session: volatile state is gone.
    virtual void reset() {}
    // The card's stored data in a dump order of its own, and its image entries.
    virtual Bytes memory() const { return {}; }
    virtual void save(TagImage&) const {}
};

} // namespace kqsim
