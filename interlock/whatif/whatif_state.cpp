#include "interlock/whatif/whatif_state.h"

#include "base/format.h"
#include "base/nx_exception.h"
#include "base/text.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace nxkit {

namespace {

const char* const word_invalid = "недостоверно";
const char* const word_no_control = "нет_контроля";
const char* const word_undefined = "не_определено";
const char* const word_manual = "ручной";

std::string number_text(double value) {
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return std::to_string(static_cast<long long>(value));
    std::ostringstream out;
    out.precision(17);
    out << value;
    return out.str();
}

} // namespace

std::string whatif_state_text(const whatif_values& values) {
    std::string text = "# ilkstation: состояние проверки блокировок (значения не настоящие)\n";
    for (const auto& [key, s] : values) {
        text += key + " = " + number_text(s.value);
        if (s.invalid)
            text += std::string(" ") + word_invalid;
        if (!s.control)
            text += std::string(" ") + word_no_control;
        if (!s.defined)
            text += std::string(" ") + word_undefined;
        if (s.manual)
            text += std::string(" ") + word_manual;
        text += "\n";
    }
    return text;
}

whatif_values read_whatif_state(const std::string& text) {
    whatif_values values;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string body = trim(line.substr(0, line.find('#')), ' ');
        if (body.empty())
            continue;
        auto fail = [&](const std::string& why) {
            throw nx_exception("строка " + std::to_string(number) + ": " + why + ": " + line);
        };
        std::size_t eq = body.find('=');
        if (eq == std::string::npos)
            fail("нет знака \"=\"");
        std::string key = trim(body.substr(0, eq), ' ');
        if (key.empty())
            fail("нет сигнала");
        std::istringstream rest(body.substr(eq + 1));
        std::string value_text;
        rest >> value_text;
        char* end = nullptr;
        double value = std::strtod(value_text.c_str(), &end);
        if (value_text.empty() || end == nullptr || *end != '\0' || !std::isfinite(value))
            fail("значение не число");
        whatif_signal s;
        s.value = value;
        for (std::string word; rest >> word;) {
            if (word == word_invalid)
                s.invalid = true;
            else if (word == word_no_control)
                s.control = false;
            else if (word == word_undefined)
                s.defined = false;
            else if (word == word_manual)
                s.manual = true;
            else
                fail("неизвестный признак \"" + word + "\"");
        }
        if (!values.emplace(key, s).second)
            fail("сигнал " + key + " уже задан");
    }
    return values;
}

} // namespace nxkit
