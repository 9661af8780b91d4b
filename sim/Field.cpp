#include "Field.h"

namespace kqsim {

TagId Field::place(std::unique_ptr<Tag> tag) {
  if (!tag) return 0;
  tag->powerOff();  // a tag enters the field unpowered and wakes up in its idle state
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

Tag* Field::find(TagId id) const {
  for (const Entry& e : entries_)
    if (e.id == id) return e.tag.get();
  return nullptr;
}

void Field::powerOff() {
  for (Entry& e : entries_) e.tag->powerOff();
}

}  // namespace kqsim
