#pragma once

#include <string>

namespace nxkit {

// The two forms of every state text: long for dialogs and hints, short for one-line lists.
enum text_form : int {
    form_long = 0,
    form_short = 1,
};

// The state texts of a signal, the one place where they are spelled.
enum class signal_text {
    no_control,
    undefined,
    invalid,
    manual,
    automatic,
    on,
    off,
    normally_closed,
    normally_open,
    separator,
};

const char* state_text(signal_text which, int form);

// A signal's number as the operator reads it everywhere: decimal comma, blanks between
// thousands, no trailing zeros (1234567.5 -> "1 234 567,5", 100 -> "100").
std::string format_signal_number(double value);

} // namespace nxkit
