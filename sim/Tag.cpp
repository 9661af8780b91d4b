#include "Tag.h"

namespace kqsim {

std::string Tag::describe() const {
    return kind() + " " + toHex(uid());
}

} // namespace kqsim
