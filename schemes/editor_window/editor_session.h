#pragma once

// What the editor window works on, without widgets: the document, the shown page, the
// selection, the grid, and the operations the window's actions run. Tests drive it directly.

#include "schemes/editor/scheme_checks.h"
#include "schemes/editor/scheme_document.h"

#include <optional>
#include <string>
#include <vector>

namespace nxkit {

// A box on the page (mm).
struct page_box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool contains(point p) const { return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1; }
    bool inside(const page_box& outer) const {
        return x0 >= outer.x0 && x1 <= outer.x1 && y0 >= outer.y0 && y1 <= outer.y1;
    }
};

// The box an item takes on the page; nothing for an item without a place (unknown content).
std::optional<page_box> item_box(const sde_page& page, const sde_item& item);

// The nearest grid point (`step` mm); the point itself when `step` is 0.
point snap_to_grid(point p, double step);

// The size and the first state a new object of the type gets.
sde_object new_object(const std::string& type_name);

// A place where a wire may end: a terminal or a junction node.
struct terminal_hit {
    wire_end end;
    point at;
};

// A row of the properties panel: what it shows and whether the operator may change it.
struct property_row {
    std::string name;
    std::string value;
    bool editable = true;
};

// The page's row of a voltage class colour ("Цвет класса 0,4 кВ") and back.
std::string voltage_colour_row(double kv);
std::optional<double> voltage_class_of_row(const std::string& row);

// Static graphics style of the next drawn shape.
struct shape_style {
    std::string color = "черный";
    double width = 0.35;
    std::string dash;
    std::string fill;
};

class editor_session {
public:
    editor_session() = default;
    explicit editor_session(scheme_document document) : doc_(std::move(document)) {}

    scheme_document& document() { return doc_; }
    const scheme_document& document() const { return doc_; }
    const sde_page* page() const;
    std::size_t page_index() const { return page_; }
    void show_page(std::size_t page);
    // After pages were added, deleted or reordered: shows the page (the last one when there
    // are fewer) with nothing selected.
    void pages_changed(std::size_t show);

    // Grid and snapping (mm; default 2.5).
    double grid_step() const { return grid_; }
    void set_grid_step(double step) { grid_ = step > 0 ? step : grid_; }
    bool snapping() const { return snap_; }
    void set_snapping(bool on) { snap_ = on; }
    point snap(point p) const { return snap_ ? snap_to_grid(p, grid_) : p; }

    // --- selection: places in the shown page's drawing order, ascending
    const std::vector<std::size_t>& selection() const { return selection_; }
    void select(std::vector<std::size_t> items);
    // A click: alone, or toggled into the selection (Shift/Ctrl).
    void click(point at, bool add);
    // A rubber band: the items wholly inside the box, added to the selection with `add`.
    void select_in(const page_box& box, bool add);
    // Selects the object with the counter on whichever page holds it; false when none does.
    bool select_counter(int counter);
    // The object of the selection when exactly one object is selected.
    const sde_object* selected_object() const;
    const sde_shape* selected_shape() const;

    // The topmost item at a point (wires and lines within `tolerance` mm).
    std::optional<std::size_t> item_at(point at, double tolerance) const;
    // The nearest terminal or junction within `tolerance` mm (busbars: anywhere along them).
    std::optional<terminal_hit> terminal_at(point at, double tolerance) const;
    // Every terminal of the page with no wire on it (busbars excepted: they take wires anywhere).
    std::vector<terminal_hit> unconnected_terminals() const;
    // Every terminal of the page (junctions too): what is highlighted while a wire is drawn.
    std::vector<terminal_hit> all_terminals() const;

    // --- operations; each one step of the document's undo
    // An object of the type with its centre at the snapped point; selected. Its counter.
    int drop(const std::string& type_name, point at);
    void draw_shape(sde_shape shape);
    // A wire from a place to a place through bends. `to` may be a point on another wire
    // (`onto_wire`), which is split there into a junction first, in the same step.
    void draw_wire(const wire_end& from, const wire_end& to, const std::vector<point>& bends);
    // The junction goes on the wire at its point nearest to `at`.
    void draw_wire_onto(const wire_end& from, std::size_t wire_item, point at,
                        const std::vector<point>& bends);
    // Whether the item is a wire.
    bool is_wire_item(std::size_t item) const;
    void move_selection(double dx, double dy);
    void delete_selection();
    void rotate_selection();
    void mirror_selection();
    void duplicate_selection();
    void bring_forward();
    void send_back();
    void align_selection(align_edge edge);
    void distribute_selection(axis along);
    void resize_selected(double w, double h);
    void undo();
    void redo();

    // The clipboard as text: an .sde file holding one page with the copied items.
    std::string copy_text() const;
    // Pastes such a text, moved by one grid step twice so the copy is seen; false when the
    // text is no scheme.
    bool paste_text(const std::string& text);

    // --- the properties panel
    std::vector<property_row> property_rows() const;
    // Applies an edited row; the message when the value is refused (nothing changed).
    std::string apply_property(const std::string& name, const std::string& value);

    // --- checks: the scheme's findings, and those against the configuration when given.
    std::vector<scheme_finding> check(const scheme_references* refs) const;
    // Shows the finding's page and selects its object; false when nothing could be selected.
    bool show_finding(const scheme_finding& finding);

    shape_style style;

private:
    void keep_valid();

    scheme_document doc_;
    std::size_t page_ = 0;
    std::vector<std::size_t> selection_;
    double grid_ = 2.5;
    bool snap_ = true;
};

// The property and geometry names of the panel.
namespace panel {
inline const char* const counter = "Счетчик";
inline const char* const type = "Тип";
inline const char* const name = "Диспетчерское имя";
inline const char* const x = "X, мм";
inline const char* const y = "Y, мм";
inline const char* const width = "Ширина, мм";
inline const char* const height = "Высота, мм";
inline const char* const rotation = "Поворот";
inline const char* const voltage_class = "Класс напряжения, кВ";
inline const char* const color = "Цвет";
inline const char* const line_width = "Толщина, мм";
inline const char* const dash = "Штрих";
inline const char* const fill = "Заливка";
inline const char* const text = "Текст";
} // namespace panel

} // namespace nxkit
