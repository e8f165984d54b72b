#pragma once

// Terminals of the drawn objects, wires between them and the electrical nodes of a page.
// A wire is a <polyline> with the attributes `from` and `to`; a junction is a <node> element.
// Both read as ordinary content to programs that know nothing of them.

#include "schemes/control/sde_document.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace nxkit {

struct point {
    double x = 0, y = 0;
    bool operator==(const point&) const = default;
};

// A terminal of an element type, in the upright symbol's box: fractions of its width and
// height from the centre (−0.5 … 0.5).
struct terminal_def {
    std::string name;
    double fx = 0, fy = 0;
};

// The terminals of a type; `along_length` marks a busbar, which takes a wire anywhere along
// its horizontal axis (terminal names "@<mm from the left end>").
struct terminal_layout {
    std::vector<terminal_def> terminals;
    bool along_length = false;
};

// Null for a type without terminals (lamps, texts, instruments).
const terminal_layout* terminals_of(const std::string& type_name);
// Every type name the scheme knows: the drawn symbols and the primary equipment.
const std::vector<std::string>& known_type_names();
bool is_known_type(const std::string& type_name);

// The busbar's terminal name for a point `offset` mm from its left end.
std::string busbar_terminal(double offset);

// Where a terminal of an object lies on the page (rotation and mirror applied); nothing when
// the object has no such terminal.
std::optional<point> terminal_position(const sde_object& object, const std::string& terminal);
bool is_mirrored(const sde_object& object);

// One end of a wire: a terminal of an object, a junction node or a free point.
struct wire_end {
    enum kind_t { free_end, at_terminal, at_node };
    kind_t kind = free_end;
    int counter = 0;      // terminal
    std::string terminal; // terminal
    int node = 0;         // node id

    // The attribute text: "12:1", "12:@30", "узел:3"; empty for a free end.
    std::string text() const;
    static wire_end parse(const std::string& text);
    bool operator==(const wire_end&) const = default;
};

// A shape is a wire when it is a polyline with an end attribute.
bool is_wire(const sde_shape& shape);
wire_end wire_from(const sde_shape& shape);
wire_end wire_to(const sde_shape& shape);
void set_wire_from(sde_shape& shape, const wire_end& end);
void set_wire_to(sde_shape& shape, const wire_end& end);

// A junction node: `<node id="N" x="…" y="…"/>` among a page's items.
struct junction {
    int id = 0;
    point at;
};
std::optional<junction> parse_junction(const std::string& raw);
std::string junction_text(const junction& j);
std::map<int, junction> junctions_of(const sde_page& page);

// Moves the ends of the page's wires onto the terminals and nodes they are attached to.
void attach_wire_ends(sde_page& page);

// A terminal as a member of an electrical node. A busbar takes part as a whole (terminal "@").
struct terminal_ref {
    int counter = 0;
    std::string terminal;
    auto operator<=>(const terminal_ref&) const = default;
};

// Terminals joined by wires and busbars; every terminal of every object with terminals is in
// exactly one node (alone when nothing joins it). Nodes and their members are sorted.
using electrical_node = std::vector<terminal_ref>;
std::vector<electrical_node> electrical_nodes(const sde_page& page);

} // namespace nxkit
