#pragma once

#include "interlock/whatif/whatif_engine.h"

#include <string>

namespace nxkit {

// A saved what-if state (docs/whatif-state.md): one signal a line, "key = value" followed by
// quality words ("недостоверно", "нет_контроля", "не_определено", "ручной"); "#" starts a
// comment. UTF-8.
std::string whatif_state_text(const whatif_values& values);
// Throws nx_exception naming the line for anything it cannot read.
whatif_values read_whatif_state(const std::string& text);

} // namespace nxkit
