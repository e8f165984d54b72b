#include "interlock/display/ilk_table_layout.h"

#include "config/ref_flags.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_common.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_nodes.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_tab.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"

#include <algorithm>
#include <cmath>

namespace nxkit {

namespace {

bool locked(const t_ref& component) {
    return component.has_flag(flag_locked);
}

int mode_icon_of(int mode) {
    switch (mode) {
    case 0:
        return 1463;
    case 1:
        return 1464;
    case 2:
        return 1457;
    default:
        return 0;
    }
}

int direction_icon_of(int direction) {
    return direction == 1 ? 1453 : direction == 2 ? 1454 : 0;
}

int round_px(double value) {
    return static_cast<int>(std::lround(value));
}

void add_columns(ilk_table_layout& layout, t_ilk_tab& table) {
    t_ref_buff& store = table.store();
    if (t_ilk_tss* node = table.columns_node()) {
        for (t_ref* child : store.refs().children(node->key())) {
            auto* column = dynamic_cast<t_ilk_ts*>(child);
            if (column == nullptr || locked(*column))
                continue;
            ilk_column_item item;
            item.key = column->key();
            item.caption = column->disp_name();
            int overlay = 0;
            column->tree_images(item.icon, overlay, item.state);
            item.background = column->background();
            item.on_image = column->state_icon(true);
            item.off_image = column->state_icon(false);
            layout.column_index[item.key] = static_cast<int>(layout.columns.size());
            layout.column_keys.push_back(item.key);
            layout.columns.push_back(std::move(item));
        }
    }
    for (t_ilk_nmtss* same : table.same_name_columns()) {
        if (locked(*same))
            continue;
        int index = static_cast<int>(layout.columns.size());
        ilk_column_item item;
        item.key = same->key();
        item.caption = same->title();
        item.background = same->background();
        item.same_name = true;
        for (t_ref* child : store.refs().children(same->key())) {
            auto* candidate = dynamic_cast<t_ilk_nmts*>(child);
            if (candidate == nullptr || locked(*candidate))
                continue;
            layout.column_index[candidate->key()] = index;
            item.on_image = candidate->state_icon(true);
            item.off_image = candidate->state_icon(false);
        }
        layout.column_keys.push_back(item.key);
        layout.columns.push_back(std::move(item));
    }
}

void add_cells(ilk_table_layout& layout, t_ilk_or& condition, int line) {
    t_ref_buff& store = condition.store();
    for (t_ref* child : store.refs().children(condition.key())) {
        auto* permission = dynamic_cast<t_ilk_and*>(child);
        if (permission == nullptr || permission->has_flag_in_chain(flag_locked))
            continue;
        t_ilk_vts* column = permission->column_ref();
        if (column == nullptr)
            continue;
        auto found = layout.column_index.find(column->key());
        if (found == layout.column_index.end())
            continue;
        ilk_cell_item cell;
        cell.column = found->second;
        cell.line = line;
        cell.key = permission->key();
        cell.same_name = column->type() == 70;
        cell.image_a = permission->permits_when_on() ? 1453 : 1454;
        cell.image_b = permission->permits() ? 1455 : 1456;
        int overlay = 0;
        permission->tree_images(cell.icon, overlay, cell.state);
        layout.cells.push_back(std::move(cell));
    }
}

void add_lines(ilk_table_layout& layout, t_ilk_tab& table) {
    t_ilk_tus* rows = table.rows_node();
    if (rows == nullptr)
        return;
    t_ref_buff& store = table.store();
    bool band = false;
    for (t_ref* row_ref : store.refs().children(rows->key())) {
        auto* row = dynamic_cast<t_ilk_tu*>(row_ref);
        if (row == nullptr || locked(*row))
            continue;
        bool first = true;
        for (t_ref* child : store.refs().children(row->key())) {
            auto* condition = dynamic_cast<t_ilk_or*>(child);
            if (condition == nullptr || locked(*condition))
                continue;
            ilk_line_item line;
            line.key = condition->key();
            line.row_key = row->key();
            line.caption = row->disp_name();
            line.first_of_row = first;
            if (first)
                band = !band;
            line.band = band;
            int icon = 0;
            row->tree_images(icon, line.image, line.state);
            line.mode_icon = mode_icon_of(condition->control_mode());
            line.direction_icon = direction_icon_of(condition->direction());
            line.tu_number = first ? row->permission_tu_number() : 0;
            first = false;
            int index = static_cast<int>(layout.lines.size());
            layout.line_keys.push_back(line.key);
            layout.lines.push_back(std::move(line));
            add_cells(layout, *condition, index);
        }
    }
}

} // namespace

int mm_to_px(double mm, double dpi) {
    return round_px(mm * dpi / 25.4);
}

ilk_rect ilk_table_layout::data_area() const {
    return {line_header_width, header_height, pitch * static_cast<int>(columns.size()),
            pitch * static_cast<int>(lines.size())};
}

ilk_rect ilk_table_layout::table() const {
    ilk_rect data = data_area();
    return {0, 0, data.right(), data.bottom()};
}

ilk_rect ilk_table_layout::column_header(int column) const {
    return {line_header_width + column * pitch, 0, pitch, header_height};
}

ilk_rect ilk_table_layout::line_header(int line) const {
    return {0, header_height + line * pitch, line_header_width, pitch};
}

ilk_rect ilk_table_layout::cell(int column, int line) const {
    return {line_header_width + column * pitch, header_height + line * pitch, pitch, pitch};
}

int ilk_table_layout::row_image_left() const {
    return line_header_width - icon_size - mm_to_px(0.5, dpi_x);
}

int ilk_table_layout::mode_icon_left() const {
    return line_header_width - 2 * icon_size - mm_to_px(1, dpi_x);
}

int ilk_table_layout::direction_icon_left() const {
    return line_header_width - 3 * icon_size - mm_to_px(1, dpi_x);
}

int ilk_table_layout::tu_number_left() const {
    return line_header_width - round_px(3.7 * icon_size) - mm_to_px(1, dpi_x);
}

int ilk_table_layout::or_left() const {
    return line_header_width - icon_size - mm_to_px(1, dpi_x);
}

int ilk_table_layout::caption_left() const {
    return mm_to_px(1.5, dpi_x);
}

ilk_table_layout lay_out_table(t_ilk_tab& table, double dpi_x, double dpi_y, double zoom,
                               const ilk_text_measure& measure) {
    ilk_table_layout layout;
    layout.dpi_x = dpi_x;
    layout.dpi_y = dpi_y;
    layout.zoom = zoom;
    layout.title1 = "Блокировка разъединителей";
    layout.title2 = table.name();
    add_columns(layout, table);
    add_lines(layout, table);

    layout.icon_size = mm_to_px(6 * zoom, dpi_x);
    layout.pitch = mm_to_px(7.5 * zoom, dpi_x);
    double u = mm_to_px(10, dpi_x) * zoom / 38;
    double u_vertical = mm_to_px(10, dpi_y) * zoom / 38;
    layout.caption_font = std::max(1, round_px(14 * u));
    layout.title1_font = std::max(1, round_px(15 * u));
    layout.title2_font = std::max(1, round_px(20 * u));
    layout.column_font = std::max(1, round_px(12 * u_vertical));

    int s = layout.icon_size;
    int longest = 0;
    for (const ilk_column_item& column : layout.columns)
        longest = std::max(longest, measure(column.caption, layout.column_font, false));
    layout.header_height = std::max(longest + s + mm_to_px(2.5, dpi_y), 7 * s);
    int widest = 0;
    for (const ilk_line_item& line : layout.lines)
        if (line.first_of_row)
            widest = std::max(widest, measure(line.caption, layout.caption_font, false));
    layout.line_header_width = std::max(widest + round_px(3.7 * s) + mm_to_px(3, dpi_x), 7 * s);
    return layout;
}

ilk_scroll_limits scroll_limits(const ilk_table_layout& layout, int width, int height) {
    ilk_scroll_limits limits;
    ilk_rect data = layout.data_area();
    if (layout.pitch <= 0)
        return limits;
    if (data.right() > width) {
        int fit = std::max(0, (width - data.left) / layout.pitch);
        limits.max_first_column = std::max(0, static_cast<int>(layout.columns.size()) - fit);
    }
    if (data.bottom() > height) {
        int fit = std::max(0, (height - data.top) / layout.pitch);
        limits.max_first_line = std::max(0, static_cast<int>(layout.lines.size()) - fit);
    }
    return limits;
}

ilk_scroll_arrows scroll_arrows(const ilk_table_layout& layout, const ilk_scroll_limits& limits,
                                int first_column, int first_line) {
    ilk_scroll_arrows arrows;
    int a = round_px(1.5 * layout.icon_size);
    int top = layout.header_height - a;
    int right = layout.line_header_width;
    if (first_line < limits.max_first_line)
        arrows.down = {0, top, a, a};
    if (first_line > 0)
        arrows.up = {a, top, a, a};
    if (first_column < limits.max_first_column)
        arrows.right = {right - a, top, a, a};
    if (first_column > 0)
        arrows.left = {right - 2 * a, top, a, a};
    return arrows;
}

namespace {

int floor_div(int value, int step) {
    return value >= 0 ? value / step : -((-value + step - 1) / step);
}

} // namespace

ilk_cell_position cell_at(const ilk_table_layout& layout, int x, int y) {
    if (layout.pitch <= 0)
        return {-1, -1};
    return {floor_div(x - layout.line_header_width, layout.pitch),
            floor_div(y - layout.header_height, layout.pitch)};
}

bool contains(const ilk_rect& r, int x, int y) {
    return r.width > 0 && r.height > 0 && x >= r.left && x < r.right() && y >= r.top &&
           y < r.bottom();
}

} // namespace nxkit
