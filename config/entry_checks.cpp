#include "config/entry_checks.h"

#include "base/cp1251.h"
#include "base/nx_exception.h"

#include <algorithm>
#include <charconv>

namespace nxkit {

std::vector<std::string> characters_outside_cp1251(const std::string& utf8) {
    std::vector<std::string> found;
    std::size_t at = 0;
    while (at < utf8.size()) {
        std::size_t length = utf8_left(std::string_view(utf8).substr(at), 1).size();
        if (length == 0)
            length = 1;
        std::string character = utf8.substr(at, length);
        at += length;
        if (character != "?" && to_cp1251(character) == "?" &&
            std::find(found.begin(), found.end(), character) == found.end())
            found.push_back(character);
    }
    return found;
}

std::string cp1251_refusal(const std::string& utf8) {
    std::vector<std::string> characters = characters_outside_cp1251(utf8);
    if (characters.empty())
        return {};
    std::string list;
    for (const std::string& c : characters)
        list += (list.empty() ? "" : " ") + c;
    return "Символы, которых нет в кодировке Windows-1251, не могут быть сохранены в файле: " +
           list;
}

long entry_number(const std::string& text, long low, long high, const std::string& what,
                  long empty_value) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return empty_value;
    std::string digits = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    long value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value < low || value > high)
        throw nx_exception(what + ": значение '" + digits + "' вне диапазона " +
                           std::to_string(low) + "-" + std::to_string(high));
    return value;
}

} // namespace nxkit
