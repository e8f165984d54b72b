#pragma once

// The scheme display standard: every element type in each of its states, and the styles of the
// style library over a symbol with what each marks.

#include "schemes/control/sde_document.h"
#include "schemes/control/style_library.h"

#include <QImage>

class QWidget;

namespace nxkit {

// The usual size of a type's symbol (page units), for legends and generated schemes.
void symbol_size(const std::string& type, double& w, double& h);

// A page with one row per element type: its symbol in every state of its property, then with a
// value the symbol does not know. With `styles`, a second part shows each style over a breaker.
// Counters start at `first_counter`.
sde_page display_standard_page(int number, const style_library_map* styles, int first_counter = 1);

QImage render_display_standard(const style_library_map& styles, unsigned tick, double scale = 1);

// Opens the legend in a window of its own (not modal).
void open_display_standard(QWidget* parent, const style_library_map& styles);

} // namespace nxkit
