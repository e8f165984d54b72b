#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nxkit {

// Remove every leading / trailing occurrence of the one character `ch`.
std::string trim_left(std::string_view text, char ch);
std::string trim_right(std::string_view text, char ch);
// Right, then left.
std::string trim(std::string_view text, char ch);

// Replaces every character (UTF-8 code point) of `set` found in `text` by `ch`.
std::string replace_chars(std::string_view text, std::string_view set, char ch);

// A copy with ASCII and Cyrillic letters lowered, as the Russian single-byte locale lowers
// Windows-1251 text; every other character is kept.
std::string to_lower(std::string_view text);

// The fields of one CSV line: quotes may enclose a field, "" inside them is one quote.
std::vector<std::string> split_csv_line(std::string_view line, char separator);

} // namespace nxkit
