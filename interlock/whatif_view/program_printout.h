#pragma once

#include "interlock/whatif/switching_program.h"

#include <QColor>
#include <QRect>

#include <vector>

class QPainter;

namespace nxkit {

// The colours of a step's verdict on screen and on paper: green for a permitted step, red for
// every other.
QColor verdict_colour(step_result::verdict_kind verdict);

// Paints a checked switching program onto one page: the what-if banner, the title, then per
// step a coloured mark, its line and its explanation, as far as the page goes. Returns the
// number of steps painted whole.
int paint_program_result(QPainter& painter, const QRect& page, const std::string& title,
                         const std::vector<step_result>& results);

} // namespace nxkit
