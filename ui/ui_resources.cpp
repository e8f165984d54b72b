#include "ui/ui_resources.h"

#include "base/settings.h"
#include "base/settings_keys.h"

#include <QApplication>
#include <QFontInfo>

#include <cstdio>
#include <cstdlib>

namespace nxkit {

namespace {

const char* const default_btn = "<icon=32><align=C><X=40><Y=40><type=2>";

int within_or(int value, int low, int high, int fallback) {
    return value < low || value > high ? fallback : value;
}

// The pixel height of a font as the settings keep it: negative, as a character height.
int height_of(const QFont& font) {
    return -QFontInfo(font).pixelSize();
}

} // namespace

button_layout parse_button_layout(const std::string& text, bool* complete) {
    button_layout layout;
    int icon = 0;
    int x = 0;
    int y = 0;
    int type = 0;
    char letters[256] = {};
    // The letter run is bounded so a long one cannot overflow; 11 or more letters mean "all".
    int read = std::sscanf(text.c_str(), "<icon=%d><align=%255[CVLRTB]><X=%d><Y=%d><type=%d>",
                           &icon, letters, &x, &y, &type);
    if (complete != nullptr)
        *complete = read >= 5;
    if (read < 5)
        return layout;
    layout.icon_size = icon < 10 ? 20 : icon > 48 ? 48 : icon;
    layout.width = within_or(x, 20, 100, 30);
    layout.height = within_or(y, 20, 100, 30);
    layout.style = within_or(type, 0, 3, 2);
    std::string run = letters;
    if (run.size() >= 11) {
        layout.align = 0xF00;
    } else {
        int align = 0;
        for (char c : run) {
            switch (c) {
            case 'C':
                align |= 0x300;
                break;
            case 'V':
                align |= 0xC00;
                break;
            case 'L':
                align |= 0x100;
                break;
            case 'R':
                align |= 0x200;
                break;
            case 'T':
                align |= 0x400;
                break;
            case 'B':
                align |= 0x800;
                break;
            default:
                break;
            }
        }
        layout.align = align;
    }
    return layout;
}

std::vector<int> ui_resources::list_numbers() {
    std::vector<int> numbers;
    for (int n = 1400; n <= 1464; ++n)
        numbers.push_back(n);
    for (int n = 1500; n <= 1558; ++n)
        numbers.push_back(n);
    return numbers;
}

std::vector<int> ui_resources::overlay_numbers(bool show_manual) {
    std::vector<int> numbers;
    for (int state = 1; state <= 8; ++state)
        numbers.push_back(state_image(state, show_manual));
    return numbers;
}

ui_resources::ui_resources() {
    log_font = QFont("DejaVu Sans Mono");
    log_font.setPixelSize(12);
    log_font.setStyleHint(QFont::Monospace);
    tab_font = QFont("Liberation Sans");
    tab_font.setPixelSize(std::max(1, std::abs(read_setting(setting::font_tab))));
    tab_font.setWeight(QFont::Bold);

    apply_menu_font();
    dialog_font = QApplication::font("QMenu");

    bool complete = false;
    buttons = parse_button_layout(read_setting(setting::btn), &complete);
    if (!complete)
        settings_set_string("VIEW", "BTN", default_btn);
    buttons.on_top = read_setting(setting::btn_top) != 0;

    bool show_manual = read_setting(setting::hand_show) != 0;
    small_images =
        std::make_unique<image_list>(icons, 16, list_numbers(), overlay_numbers(show_manual));
    small_images_plain = std::make_unique<image_list>(icons, 16, list_numbers());
    large_images = std::make_unique<image_list>(icons, 48, list_numbers());
    num_flag = read_setting(setting::num);
}

ui_resources::~ui_resources() {
    restore_menu_font();
}

void ui_resources::apply_menu_font() {
    int size = read_setting(setting::font_menu);
    if (size == 0)
        return;
    QFont menu = QApplication::font("QMenu");
    QFont box = QApplication::font("QMessageBox");
    if (read_setting(setting::font_menu_sys) == 0)
        settings_set_int("CTRL", "FONT_MENU_SYS", height_of(menu));
    if (read_setting(setting::font_mes_sys) == 0)
        settings_set_int("CTRL", "FONT_MES_SYS", height_of(box));
    // Zero while the change is applied, so a crash in between does not apply it twice.
    settings_set_int("VIEW", "FONT_MENU", 0);
    menu.setPixelSize(std::abs(size));
    box.setPixelSize(std::abs(size));
    QApplication::setFont(menu, "QMenu");
    QApplication::setFont(box, "QMessageBox");
    settings_set_int("VIEW", "FONT_MENU", size);
}

void ui_resources::restore_menu_font() {
    if (int stored = read_setting(setting::font_menu_sys); stored != 0) {
        settings_set_int("CTRL", "FONT_MENU_SYS", 0);
        QFont menu = QApplication::font("QMenu");
        menu.setPixelSize(std::abs(stored));
        QApplication::setFont(menu, "QMenu");
    }
    if (int stored = read_setting(setting::font_mes_sys); stored != 0) {
        settings_set_int("CTRL", "FONT_MES_SYS", 0);
        QFont box = QApplication::font("QMessageBox");
        box.setPixelSize(std::abs(stored));
        QApplication::setFont(box, "QMessageBox");
    }
}

std::unique_ptr<ui_resources> init_ui_resources() {
    return std::make_unique<ui_resources>();
}

void release_ui_resources(std::unique_ptr<ui_resources>& resources) {
    resources.reset();
}

} // namespace nxkit
