#include "structure/signal_texts.h"

#include <cstdio>

namespace nxkit {

namespace {

struct text_pair {
    const char* long_form;
    const char* short_form;
};

text_pair pair_of(signal_text which) {
    switch (which) {
    case signal_text::no_control:
        return {"нет контроля", "Н/К"};
    case signal_text::undefined:
        return {"неопределенный", "Н/О"};
    case signal_text::invalid:
        return {"недостоверный", "Н/Д"};
    case signal_text::manual:
        return {"ручной ввод", "РУЧНОЙ"};
    case signal_text::automatic:
        return {"автоматический ввод", "авто"};
    case signal_text::on:
        return {"ВКЛЮЧЕН", "ВКЛ"};
    case signal_text::off:
        return {"ОТКЛЮЧЕН", "ОТКЛ"};
    case signal_text::normally_closed:
        return {"НормальноЗамкнутый", "нз"};
    case signal_text::normally_open:
        return {"НормальноРазомкнутый", "нр"};
    case signal_text::separator:
        break;
    }
    return {"\r\n", ","};
}

} // namespace

const char* state_text(signal_text which, int form) {
    text_pair p = pair_of(which);
    return form == form_short ? p.short_form : p.long_form;
}

std::string format_signal_number(double value) {
    // Large enough for any double in "%f", so a big value is never cut into a wrong number.
    char buffer[400];
    int n = std::snprintf(buffer, sizeof buffer, "%f", value);
    if (n < 0)
        return {};
    std::string s(buffer, static_cast<std::size_t>(n) < sizeof buffer ? n : sizeof buffer - 1);

    std::size_t comma = s.find_first_of(".,");
    if (comma == std::string::npos)
        return s; // inf, nan
    s[comma] = ',';
    for (std::ptrdiff_t pos = static_cast<std::ptrdiff_t>(comma) - 3; pos > 0; pos -= 3) {
        if (pos == 1 && s[0] == '-')
            break;
        s.insert(static_cast<std::size_t>(pos), 1, ' ');
    }
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    while (!s.empty() && s.back() == ',')
        s.pop_back();
    return s;
}

} // namespace nxkit
