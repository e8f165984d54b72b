#pragma once

#include "interlock/display/ilk_table_layout.h"

#include <string>
#include <vector>

namespace nxkit {

// One line of the table's legend: a picture (with a state image, 0 for none) and what it means.
struct ilk_legend_entry {
    int icon = 0;
    int state = 0;
    std::string text;
};

// Everything the table draws, in the order the legend lists it: the permission's circle and
// its apparatus mark, the line header's pictures, the state images (icon 0: the state image
// alone) and the scroll arrows.
std::vector<ilk_legend_entry> table_legend();

// What a state index means ("" for 0).
std::string state_meaning(int state);

// The explanation of what stands under the client position (x, y) of a table scrolled to
// (first_column, first_line): a cell, a picture of a line or column header, a scroll arrow;
// "" over anything else.
std::string legend_text_at(const ilk_table_layout& layout, const ilk_scroll_arrows& arrows,
                           int first_column, int first_line, int x, int y);

} // namespace nxkit
