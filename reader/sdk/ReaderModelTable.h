// Reader identity: the model names by type code, the USB reader models the program
// knows, and the digits of the version answer.
#pragma once

#include <string>

namespace kq {

// The first ReaderModelTable row with that type code, else "KQ-#" and the code as at
// least three upper-case hexadecimal digits.
std::string ModelNameForTypeCode(int typeCode);

// Reader model numbers of the USB readers (the first digits of their serial numbers).
bool IsKnownReaderModel(int number);

// '0'-'9' -> 0-9, 'A'-'Z' -> 10-35, 'a'-'z' -> 36-61, anything else 255.
unsigned char Base62Digit(unsigned char c);

} // namespace kq
