#pragma once

// Painting of pages, static graphics, element symbols and styles in page units. Shared by the
// control, printing, the display standard and the scheme tool.

#include "schemes/control/sde_document.h"
#include "schemes/control/style_library.h"
#include "schemes/control/voltage_classes.h"

#include <QColor>
#include <QRectF>
#include <QString>

#include <string>
#include <vector>

class QPainter;

namespace nxkit {

// The colour of a scheme or library colour text; `fallback` for text it does not know.
QColor to_qcolor(const std::string& text, const QColor& fallback);
QString sde_qstring(const std::string& utf8);

// The object's box on the page after its rotation (page units).
QRectF object_box(const sde_object& o);
// Everything the object may paint: box, label and style marks (page units).
QRectF object_extent(const sde_object& o);

// The element types that have symbols of their own, and the property states each is shown in
// (property name, values; no values for types whose look follows a text, and no property either
// for primary equipment drawn without a state).
struct symbol_states {
    std::string type;
    std::string property;
    std::vector<std::string> values;
};
const std::vector<symbol_states>& known_symbols();

// Whether the symbol of the object knows its state value (false draws it grey with "?").
bool symbol_state_known(const sde_object& o);

struct paint_context {
    const style_library_map* styles = nullptr;
    unsigned tick = 0;          // the shared blink counter
    double pixels_per_unit = 8; // device pixels per page unit, for widths given in pixels
    // Colours of the voltage classes; the usual ones when null (paint_page passes the page's).
    const voltage_table* voltage = nullptr;
};

// The painter maps page units; these draw in them.
// A shape or symbol naming a voltage class (attribute `kv`) is drawn in the class's colour from
// `voltage`; the forms without it use the usual colours.
void paint_shape(QPainter& p, const sde_shape& s);
void paint_shape(QPainter& p, const sde_shape& s, const voltage_table& voltage);
void paint_symbol(QPainter& p, const sde_object& o);
void paint_symbol(QPainter& p, const sde_object& o, const voltage_table& voltage);
void paint_label(QPainter& p, const sde_object& o);
// Backgrounds of the active styles (under the symbol), then the symbol and label, then their
// borders and figures.
void paint_object(QPainter& p, const sde_object& o, const paint_context& c);
// The page background, the graphics and the objects that meet `area` (page units; an empty
// area is the whole page), in file order.
void paint_page(QPainter& p, const sde_page& page, const paint_context& c,
                const QRectF& area = QRectF());

// Whether any active style of the object blinks, and the tick after `tick` at which its look
// changes next (0 when it never does).
bool object_blinks(const sde_object& o, const style_library_map& styles);

} // namespace nxkit
