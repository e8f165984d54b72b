#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nxkit {

// Every file and wire boundary converts through these two functions: inside the program text
// is UTF-8, outside it is Windows-1251.

// UTF-8 to Windows-1251; a character without a Windows-1251 form (or a broken sequence) is '?'.
std::string to_cp1251(std::string_view utf8);

// Windows-1251 to UTF-8; the one unassigned byte 0x98 becomes U+FFFD.
std::string from_cp1251(std::string_view bytes);

// Number of characters (code points) in a UTF-8 text; a broken byte counts as one.
std::size_t utf8_length(std::string_view utf8);

// The first `count` characters of a UTF-8 text.
std::string utf8_left(std::string_view utf8, std::size_t count);

} // namespace nxkit
