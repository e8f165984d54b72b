#pragma once

#include <string>
#include <vector>

namespace nxkit {

// What a value typed into the editor must pass before it reaches a component: the files keep
// text in Windows-1251, and a number field holds only its range.

// The characters of a UTF-8 text that Windows-1251 cannot hold, each once, in order.
std::vector<std::string> characters_outside_cp1251(const std::string& utf8);

// The refusal of such characters naming them; "" when the text has none.
std::string cp1251_refusal(const std::string& utf8);

// A number typed into the field `what` that holds `low`..`high`; blanks around it are
// dropped and an empty text is `empty_value`. Anything else, or a number outside the range,
// throws nx_exception naming the field and its range (nothing is cut to fit).
long entry_number(const std::string& text, long low, long high, const std::string& what,
                  long empty_value = 0);

} // namespace nxkit
