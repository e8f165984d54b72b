#pragma once

// Checks of a scheme before it is saved or put to work: each finding names the page and the
// object so that the editor can select it.

#include "schemes/control/sde_document.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace nxkit {

struct scheme_finding {
    int page = 0;    // page number, 0 for the file as a whole
    int counter = 0; // the object, 0 when none
    std::string text;
};

// Duplicate counters, unknown types, unconnected terminals of primary equipment (on pages
// with at least one wire), dispatcher names shared by two objects, wire ends on terminals or
// nodes the page does not have; in page and drawing order.
// A page without wires: pages_without_wires() names it.
std::vector<scheme_finding> check_scheme(const sde_scheme& scheme);
// Numbers of the pages with primary equipment and no wire.
std::vector<int> pages_without_wires(const sde_scheme& scheme);

// What the configuration knows of the scheme: the counters of its elements and the names of
// the station's signals.
struct scheme_references {
    std::set<int> element_counters;
    std::set<std::string> signal_names;
};

// Objects without elements, elements whose object is missing, dispatcher names without a
// signal of that name.
std::vector<scheme_finding> check_references(const sde_scheme& scheme,
                                             const scheme_references& refs);

} // namespace nxkit
