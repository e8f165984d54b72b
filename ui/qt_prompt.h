#pragma once

#include "base/prompt.h"

#include <QFont>
#include <QIcon>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QMessageBox;
class QStyle;
class QWidget;

namespace nxkit {

// The icon of a resource number (a null icon when the set has none).
using icon_source = std::function<QIcon(int)>;

// The prompt seam carried out with Qt: message boxes in Russian, popup menus whose actions
// carry their command numbers, and modal forms. Without an application object it writes the
// text to standard error and answers 0, as a box that could not be shown.
class qt_prompt : public i_prompt {
public:
    qt_prompt();
    ~qt_prompt() override;
    int message_box(owner_handle owner, const std::string& text, const std::string& caption,
                    int type) override;
    int popup_menu(owner_handle owner, const std::vector<menu_item>& items) override;
    int popup_menu_at(owner_handle owner, owner_handle anchor,
                      const std::vector<menu_item>& items) override;
    void update_open_menu(const std::vector<menu_item>& items) override;
    int modal_form(owner_handle owner, const form_request& form) override;
    std::string save_file_name(owner_handle owner, const std::string& caption,
                               const std::string& suggested, const std::string& filter) override;
    std::string open_file_name(owner_handle owner, const std::string& caption,
                               const std::string& filter) override;
    bool print_setup(owner_handle owner, void* printer) override;
    bool ask_password(owner_handle owner, const std::string& caption, const std::string& text,
                      std::string& password) override;
    void close_all() override;
    bool closing() const { return closing_; }

    void set_icon_source(icon_source icons) { icons_ = std::move(icons); }
    // The dialog font of the shared resources: the manual-input form is drawn and sized in it.
    void set_dialog_font(const QFont& font) { dialog_font_ = font; }

private:
    int run_menu(QWidget* owner, QPoint at, const std::vector<menu_item>& items);

    icon_source icons_;
    std::optional<QFont> dialog_font_;
    QMenu* open_menu_ = nullptr;
    std::unique_ptr<QStyle> menu_style_;
    bool closing_ = false;
};

// The style of the prompt's menus: a default line is bold in every column of its text.
std::unique_ptr<QStyle> make_menu_style();
// Fills `menu` (and its submenus) with `items`, drawn with `style` when it is not null.
void fill_menu(QMenu& menu, const std::vector<menu_item>& items, QStyle* style);

// Where a form of `size` opens for the pointer at `pointer` on `screen`: left of the pointer
// (right edge at it) and centred on it vertically; to the right when that leaves the screen
// on the left; top at the pointer when it would start above the screen; bottom half its
// height above the pointer when it would leave the bottom.
QPoint form_position(QPoint pointer, QSize size, const QRect& screen);

// Where the frame of a form whose inside is `client` goes: form_position of the whole frame
// (`frame` is the window manager's border), so the frame's right edge is at the pointer.
QPoint form_frame_position(QPoint pointer, QSize client, const QMargins& frame,
                           const QRect& screen);

// The window manager's border around `window` as it stands now (none before it is shown).
QMargins frame_margins(const QWidget* window);

// Makes a message box at least as wide as its caption needs in the title bar, beside the
// title bar's buttons.
void fit_caption(QMessageBox& box);
int caption_width(const QString& caption, const QFont& font);

// The size of a form: one unit per button, a unit 11 times the width of "А" (at least
// `min_button_width`); 7 pixels more than the units; one text line per "\r\n" at twice the
// font height, plus 3, plus the button row.
QSize form_size(const form_request& form, int letter_width, int font_height, int min_button_width,
                int button_row_height);

// form_size for a form drawn in `font`.
QSize form_size_in(const form_request& form, const QFont& font);

} // namespace nxkit
