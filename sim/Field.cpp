#include "Field.h"

namespace kqsim {

TagId Field::place(std::unique_ptr<Tag> tag) {
    if (!tag) return 0;
    tag->powerOff(); // a tag enters the field unpowered and wakes up in its idle state
    TagId id = nextId_++;
    entries_.push_back({id, std::move(tag)});
    return id;
}

std::unique_ptr<Tag> Field::remove(TagId id) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->id == id) {
            std::unique_ptr<Tag> tag = std::move(it->tag);
            entries_.erase(it);
            tag->powerOff();
            return tag;
        }
    }
    return nullptr;
}

void Field::putBack(TagId id, std::unique_ptr<Tag> tag) {
    if (!tag || id <= 0) return;
    tag->powerOff();
    auto at = entries_.begin();
    while (at != entries_.end() && at->id < id)
        ++at;
    entries_.insert(at, {id, std::move(tag)});
}

Tag* Field::find(TagId id) const {
    for (const Entry& e : entries_)
        if (e.id == id) return e.tag.get();
    return nullptr;
}

void Field::powerOff() {
    for (Entry& e : entries_)
        e.tag->powerOff();
}

} // namespace kqsim
