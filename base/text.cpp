#include "base/text.h"

namespace nxkit {

namespace {

// Length of the UTF-8 sequence starting at `pos`; a broken byte stands alone.
std::size_t sequence_length(std::string_view text, std::size_t pos) {
    auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 1;
    if ((lead & 0xE0) == 0xC0)
        length = 2;
    else if ((lead & 0xF0) == 0xE0)
        length = 3;
    else if ((lead & 0xF8) == 0xF0)
        length = 4;
    if (pos + length > text.size())
        return 1;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80)
            return 1;
    return length;
}

// The Cyrillic capitals of Windows-1251 all lie in U+0400..U+042F, plus U+0490 (Ґ).
unsigned lower_code_point(unsigned cp) {
    if (cp >= 'A' && cp <= 'Z')
        return cp + 0x20;
    if (cp >= 0x410 && cp <= 0x42F)
        return cp + 0x20;
    if (cp >= 0x400 && cp <= 0x40F)
        return cp + 0x50;
    if (cp == 0x490)
        return 0x491;
    return cp;
}

} // namespace

std::string trim_left(std::string_view text, char ch) {
    std::size_t first = text.find_first_not_of(ch);
    return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

std::string trim_right(std::string_view text, char ch) {
    std::size_t last = text.find_last_not_of(ch);
    return last == std::string_view::npos ? std::string() : std::string(text.substr(0, last + 1));
}

std::string trim(std::string_view text, char ch) {
    return trim_left(trim_right(text, ch), ch);
}

std::string replace_chars(std::string_view text, std::string_view set, char ch) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t length = sequence_length(text, pos);
        std::string_view one = text.substr(pos, length);
        bool found = false;
        for (std::size_t at = 0; at < set.size() && !found;) {
            std::size_t set_length = sequence_length(set, at);
            found = set.substr(at, set_length) == one;
            at += set_length;
        }
        if (found)
            out += ch;
        else
            out += one;
        pos += length;
    }
    return out;
}

std::string to_lower(std::string_view text) {
    std::string out(text);
    for (std::size_t pos = 0; pos < out.size();) {
        auto lead = static_cast<unsigned char>(out[pos]);
        std::size_t length = sequence_length(out, pos);
        if (length == 1) {
            out[pos] = static_cast<char>(lower_code_point(lead));
        } else if (length == 2) {
            // Every letter lowered here is a two-byte sequence and stays one.
            unsigned cp =
                ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(out[pos + 1]) & 0x3Fu);
            unsigned lower = lower_code_point(cp);
            out[pos] = static_cast<char>(0xC0 | (lower >> 6));
            out[pos + 1] = static_cast<char>(0x80 | (lower & 0x3F));
        }
        pos += length;
    }
    return out;
}

std::vector<std::string> split_csv_line(std::string_view line, char separator) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == separator) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

} // namespace nxkit
