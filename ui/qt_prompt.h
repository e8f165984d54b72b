#pragma once

#include "base/prompt.h"

#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

class QMenu;
class QWidget;

namespace nxkit {

// The icon of a resource number (a null icon when the set has none).
using icon_source = std::function<QIcon(int)>;

// The prompt seam carried out with Qt: message boxes in Russian, popup menus whose actions
// carry their command numbers, and modal forms. Without an application object it writes the
// text to standard error and answers 0, as a box that could not be shown.
class qt_prompt : public i_prompt {
public:
    int message_box(owner_handle owner, const std::string& text, const std::string& caption,
                    int type) override;
    int popup_menu(owner_handle owner, const std::vector<menu_item>& items) override;
    int popup_menu_at(owner_handle owner, owner_handle anchor,
                      const std::vector<menu_item>& items) override;
    void update_open_menu(const std::vector<menu_item>& items) override;
    int modal_form(owner_handle owner, const form_request& form) override;
    std::string save_file_name(owner_handle owner, const std::string& caption,
                               const std::string& suggested, const std::string& filter) override;
    bool print_setup(owner_handle owner, void* printer) override;
    void close_all() override;
    bool closing() const { return closing_; }

    void set_icon_source(icon_source icons) { icons_ = std::move(icons); }

private:
    int run_menu(QWidget* owner, QPoint at, const std::vector<menu_item>& items);

    icon_source icons_;
    QMenu* open_menu_ = nullptr;
    bool closing_ = false;
};

// Where a form of `size` opens for the pointer at `pointer` on `screen`: left of the pointer
// (right edge at it) and centred on it vertically; to the right when that leaves the screen
// on the left; top at the pointer when it would start above the screen; bottom half its
// height above the pointer when it would leave the bottom.
QPoint form_position(QPoint pointer, QSize size, const QRect& screen);

// The size of a form: one unit per button, a unit 11 times the width of "А" (at least
// `min_button_width`); 7 pixels more than the units; one text line per "\r\n" at twice the
// font height, plus 3, plus the button row.
QSize form_size(const form_request& form, int letter_width, int font_height, int min_button_width,
                int button_row_height);

} // namespace nxkit
