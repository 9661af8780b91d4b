// The tags lying in the reader's RF field, each known by a TagId the simulator hands
// out when it is placed. Not synchronised: the simulator guards it.
#pragma once

#include "Tag.h"

#include <memory>
#include <vector>

namespace kqsim {

using TagId = int; // 1, 2, ... in placing order; 0 names no tag

class Field {
public:
    struct Entry {
        TagId id;
        std::unique_ptr<Tag> tag;
    };

    TagId place(std::unique_ptr<Tag> tag);
    std::unique_ptr<Tag> remove(TagId id);
    // Puts a tag taken out with remove() back under its old id and in its old place,
    // unpowered, as a tag that lost the field for a moment.
    void putBack(TagId id, std::unique_ptr<Tag> tag);
    Tag* find(TagId id) const;
    const std::vector<Entry>& entries() const { return entries_; }
    // Every tag loses power (RF field off): back to its power-up state.
    void powerOff();

private:
    std::vector<Entry> entries_;
    TagId nextId_ = 1;
};

} // namespace kqsim
