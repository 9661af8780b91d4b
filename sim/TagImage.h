// A tag saved as a small text file that people can read and edit:
//
//   # kqlmx-sim tag image
//   kind: ntag213
//   uid: 04 A1 B2 C3 D4 E5 F6
//   page 0: 04 A1 B2 8F
//   page 1: C3 D4 E5 F6
//   ...
//
// One "name: value" per line; '#' starts a comment line. Memory rows are "page N" or
// "block N" with hex bytes. Other names by family: "pages" (generic Type 2 page
// count), "dsfid", "afi", "locked" (ISO 15693 block numbers locked), and for cards
// with keys, "key ..." rows. A UID is written as it goes over the air for type A
// tags and most significant byte first (E0 ...) for ISO 15693 tags.
#pragma once

#include "Bytes.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kqsim {

class TagImage {
public:
    // Parses image text; nothing, with `error` set ("line 3: ..."), when malformed.
    static std::optional<TagImage> parse(const std::string& text, std::string& error);
    static std::optional<TagImage> loadFile(const std::string& path, std::string& error);

    std::string text() const;
    bool saveFile(const std::string& path, std::string& error) const;

    // Sets a value (replacing an earlier one of the same name).
    void set(const std::string& name, const std::string& value);
    std::optional<std::string> get(const std::string& name) const;
    // An integer value in [low, high]; false when absent or out of range.
    bool getInt(const std::string& name, int low, int high, int& out) const;
    // A list of integers ("locked: 0 1 5"); false when malformed.
    bool getIntList(const std::string& name, std::vector<int>& out) const;

    void setRow(const std::string& unit, int index, const Bytes& bytes);
    // The rows of one unit ("page", "block") by index; rows that are not hex were
    // already refused by parse().
    std::map<int, Bytes> rows(const std::string& unit) const;

private:
    std::vector<std::pair<std::string, std::string>> values_;
    std::map<std::pair<std::string, int>, Bytes> rows_; // by unit, then index
};

} // namespace kqsim
