#include "structure/choices.h"

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

} // namespace nxkit
