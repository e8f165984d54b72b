#include "structure/choices.h"

#include <charconv>

namespace nxkit {

int choice_value(const choice_list& choices, const std::string& text) {
    for (const choice& c : choices) {
        if (c.text == text)
            return c.value;
    }
    return -1;
}

std::string choice_text(const choice_list& choices, int value) {
    for (const choice& c : choices) {
        if (c.value == value)
            return c.text;
    }
    return {};
}

bool parse_choice_number(const std::string& text, int& value) {
    std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos)
        return false;
    std::size_t end = text.find_last_not_of(' ') + 1;
    auto res = std::from_chars(text.data() + begin, text.data() + end, value);
    return res.ec == std::errc() && res.ptr == text.data() + end;
}

bool choice_or_number(const choice_list& choices, const std::string& text, int& value) {
    for (const choice& c : choices)
        if (c.text == text) {
            value = c.value;
            return true;
        }
    return parse_choice_number(text, value);
}

std::string choice_or_number_text(const choice_list& choices, int value) {
    for (const choice& c : choices)
        if (c.value == value)
            return c.text;
    return std::to_string(value);
}

} // namespace nxkit
