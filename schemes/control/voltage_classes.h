#pragma once

// Colours of voltage classes: a busbar or a wire that names its class (attribute `kv`) is drawn
// in the class's colour. Every page has the usual table, which its own entries
// (`<voltage_class kv="110" color="#00b4c8"/>`) change or extend. No Qt.

#include "schemes/control/sde_document.h"

#include <optional>
#include <string>
#include <vector>

namespace nxkit {

struct voltage_class {
    double kv = 0;
    std::string colour; // a scheme colour text
};

// Highest class first.
using voltage_table = std::vector<voltage_class>;

const voltage_table& default_voltage_classes();

// The class of a text: "110", "0.4", "0,4"; nothing for anything else or a value not above 0.
std::optional<double> parse_kv(const std::string& text);

// The page's own entries, in file order (malformed ones are skipped).
voltage_table page_voltage_entries(const sde_page& page);
// The usual table with the page's entries applied.
voltage_table voltage_classes_of(const sde_page& page);
// Sets the colour of a class on the page (adding an entry or changing its own); an empty
// colour removes the page's entry, so the usual colour applies again.
void set_page_voltage_colour(sde_page& page, double kv, const std::string& colour);

// The colour of a class in the table; empty when the table has no such class.
std::string voltage_colour(const voltage_table& table, double kv);
// The class an object or wire names by its `kv` attribute.
std::optional<double> voltage_class_of(const sde_attributes& attributes);

} // namespace nxkit
