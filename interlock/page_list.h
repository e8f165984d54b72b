#pragma once

#include "interlock/ilk_state.h"

#include <vector>

namespace nxkit {

class t_ref_buff;

// The labels of every page of every scheme under "S" ("scheme file/page title", 73 blanks,
// the page identifier), first an empty entry for "no page". Rebuilt when a page changed
// since the last build; a page without identifier gets one here.
const std::vector<ilk_page_entry>& page_list(t_ref_buff& store);

// The page component key of a label; false when the label is not in the list.
bool find_page(t_ref_buff& store, const std::string& label, std::string& page_key);

} // namespace nxkit
