#pragma once

#include "config/t_ref.h"

#include <string>

namespace nxkit {

// The item value of the entry whose text equals `text` exactly (leading blanks count);
// -1 when no entry has it.
int choice_value(const choice_list& choices, const std::string& text);

// The text of the first entry carrying `value`; empty when none does.
std::string choice_text(const choice_list& choices, int value);

// A whole decimal number with blanks around it allowed.
bool parse_choice_number(const std::string& text, int& value);

// The item value of a choice text; a number typed instead is taken as it is.
bool choice_or_number(const choice_list& choices, const std::string& text, int& value);

// The text of the entry carrying `value`, or the number itself when none does.
std::string choice_or_number_text(const choice_list& choices, int value);

} // namespace nxkit
