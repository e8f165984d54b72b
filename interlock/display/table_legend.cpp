#include "interlock/display/table_legend.h"

namespace nxkit {

namespace {

const char* const permitted_text = "разрешение есть";
const char* const refused_text = "разрешения нет";
const char* const when_on_text = "I — разрешает, когда аппарат столбца включен; у строки — "
                                 "условие включения";
const char* const when_off_text = "O — разрешает, когда аппарат столбца отключен; у строки — "
                                  "условие отключения";

// The condition's "Управление" by the names of its choice list.
std::string mode_meaning(int icon) {
    switch (icon) {
    case 1463:
        return "А — управление «Местное»";
    case 1464:
        return "Д — управление «Дистанционное»";
    case 1457:
        return "Р — управление «Ручное(без таймера)»";
    default:
        return "";
    }
}

std::string with_state(std::string text, int state) {
    std::string meaning = state_meaning(state);
    if (!meaning.empty())
        text += " (" + meaning + ")";
    return text;
}

bool inside(int x, int y, int left, int top, int size) {
    return x >= left && x < left + size && y >= top && y < top + size;
}

} // namespace

std::string state_meaning(int state) {
    switch (state) {
    case 1:
        return "заблокирован";
    case 2:
        return "нет контроля";
    case 3:
        return "состояние неопределенное";
    case 5:
        return "не квитировано";
    case 6:
        return "ручной ввод";
    case 7:
        return "недостоверно";
    default:
        return "";
    }
}

std::vector<ilk_legend_entry> table_legend() {
    std::vector<ilk_legend_entry> entries = {
        {1455, 0, permitted_text},
        {1456, 0, refused_text},
        {1453, 0, when_on_text},
        {1454, 0, when_off_text},
        {1463, 0, mode_meaning(1463)},
        {1464, 0, mode_meaning(1464)},
        {1457, 0, mode_meaning(1457)},
        {1450, 0, "строка: управление разрешено"},
        {1451, 0, "строка: управление не разрешено"},
    };
    for (int state : {5, 2, 3, 6, 7, 1})
        entries.push_back({0, state, state_meaning(state)});
    entries.push_back({1461, 0, "прокрутка на столбец или строку"});
    return entries;
}

std::string legend_text_at(const ilk_table_layout& layout, const ilk_scroll_arrows& arrows,
                           int first_column, int first_line, int x, int y) {
    if (contains(arrows.right, x, y) || contains(arrows.left, x, y))
        return "прокрутка на один столбец";
    if (contains(arrows.down, x, y) || contains(arrows.up, x, y))
        return "прокрутка на одну строку";
    if (layout.pitch <= 0)
        return "";
    const int s = layout.icon_size;
    const int p = layout.pitch;
    ilk_cell_position at = cell_at(layout, x, y);
    const int column = at.column + first_column;
    const int line = at.line + first_line;
    const bool column_shown = at.column >= 0 && column < static_cast<int>(layout.columns.size());
    const bool line_shown = at.line >= 0 && line < static_cast<int>(layout.lines.size());

    if (column_shown && line_shown) {
        for (const ilk_cell_item& cell : layout.cells) {
            if (cell.column != column || cell.line != line)
                continue;
            const ilk_column_item& owner = layout.columns[static_cast<std::size_t>(column)];
            std::string text = cell.image_b == 1455 ? "Разрешение есть" : "Разрешения нет";
            text += std::string(": разрешает, когда ") + owner.caption +
                    (cell.image_a == 1453 ? " включен" : " отключен");
            return with_state(text, cell.state);
        }
        return "";
    }
    if (line_shown && x < layout.line_header_width) {
        const ilk_line_item& item = layout.lines[static_cast<std::size_t>(line)];
        int top = layout.header_height + at.line * p + (p - s) / 2;
        if (inside(x, y, layout.mode_icon_left(), top, s))
            return mode_meaning(item.mode_icon);
        if (item.direction_icon != 0 && inside(x, y, layout.direction_icon_left(), top, s))
            return item.direction_icon == 1453 ? "I — условие включения" : "O — условие отключения";
        if (item.first_of_row && inside(x, y, layout.row_image_left(), top, s))
            return with_state(item.image == 1450 ? "Строка: управление разрешено"
                                                 : "Строка: управление не разрешено",
                              item.state);
        if (item.first_of_row && x >= layout.tu_number_left() && x < layout.direction_icon_left())
            return "№ ТУ разрешения";
        return "";
    }
    if (column_shown && y < layout.header_height) {
        const ilk_column_item& item = layout.columns[static_cast<std::size_t>(column)];
        int left = layout.line_header_width + at.column * p + (p - s) / 2;
        int top = layout.header_height - mm_to_px(0.5, layout.dpi_y) - s;
        if (item.icon == 0 || !inside(x, y, left, top, s))
            return "";
        std::string text = item.caption;
        if (item.icon == item.on_image)
            text += ": включен";
        else if (item.icon == item.off_image)
            text += ": отключен";
        return with_state(text, item.state);
    }
    return "";
}

} // namespace nxkit
