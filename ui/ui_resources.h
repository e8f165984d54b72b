#pragma once

#include "ui/icon_set.h"
#include "ui/image_list.h"

#include <QCursor>
#include <QFont>

#include <memory>
#include <string>

namespace nxkit {

// Where and how the toolbar buttons are drawn (VIEW/BTN_TOP and VIEW/BTN).
struct button_layout {
    bool on_top = true;
    int icon_size = 20;
    int width = 30;
    int height = 30;
    int style = 2;
    // Content alignment bits: 0x100 left, 0x200 right, 0x300 centre, 0x400 top, 0x800 bottom,
    // 0xC00 vertical centre.
    int align = 0xF00;
};

// Reads "<icon=%d><align=%[CVLRTB]><X=%d><Y=%d><type=%d>". `complete` tells whether all five
// fields were read; when not, every field has its fallback.
button_layout parse_button_layout(const std::string& text, bool* complete = nullptr);

// The process-wide resources every view shares, from start-up to shut-down: the fonts, the
// toolbar button layout, the pictures and the three image lists, the forbidden-action cursor
// and VIEW/NUM. Construction reads the settings (writing absent keys back) and applies
// VIEW/FONT_MENU to this program's menus and message boxes; destruction restores them.
class ui_resources {
public:
    ui_resources();
    ~ui_resources();
    ui_resources(const ui_resources&) = delete;
    ui_resources& operator=(const ui_resources&) = delete;

    QFont log_font;
    QFont tab_font;
    QFont dialog_font;
    button_layout buttons;
    icon_set icons;
    // 16 x 16 with the overlay marks 1..8; 16 x 16 plain; 48 x 48.
    std::unique_ptr<image_list> small_images;
    std::unique_ptr<image_list> small_images_plain;
    std::unique_ptr<image_list> large_images;
    QCursor forbidden_cursor{Qt::ForbiddenCursor};
    int num_flag = 0;

    // The icon numbers every list holds, in index order.
    static std::vector<int> list_numbers();
    // The overlay marks 1..8 (the manual mark after HAND/SHOW).
    static std::vector<int> overlay_numbers(bool show_manual);

private:
    void apply_menu_font();
    void restore_menu_font();
};

// Start-up and shut-down steps of the shell.
std::unique_ptr<ui_resources> init_ui_resources();
void release_ui_resources(std::unique_ptr<ui_resources>& resources);

} // namespace nxkit
