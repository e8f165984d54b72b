#pragma once

#include <string>

namespace nxkit {

class t_ref;
class t_ref_buff;

// Whether a component answers a find text: the text (case ignored) is part of its display
// name, its key or its signal key.
bool component_matches(t_ref& component, const std::string& text);

// The next component of the branch `root` after `from` (before it when `forward` is false)
// that matches `text`, wrapping around the branch; "" when none matches. Walks the store in
// key order, so no tree nodes are needed.
std::string find_component(t_ref_buff& store, const std::string& root, const std::string& from,
                           const std::string& text, bool forward);

} // namespace nxkit
