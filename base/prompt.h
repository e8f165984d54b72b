#pragma once

#include <string>
#include <vector>

namespace nxkit {

// Answers of message boxes, as the platform numbers them.
enum prompt_answer : int {
    answer_none = 0,
    answer_ok = 1,
    answer_cancel = 2,
    answer_yes = 6,
    answer_no = 7,
};

// Message box types used across the system.
enum message_type : int {
    mb_error = 16,
    mb_warning = 48,
    mb_information = 64,
    mb_question = 36,
    mb_question_cancel = 35,
    mb_warning_yes_no = 52,
};

// A window that owns a modal prompt; opaque to model code (0 is none).
using owner_handle = void*;

// One line of a popup menu: a command number, or a submenu when `items` is not empty.
// A checked submenu shows its check mark beside its caption; a default item is drawn bold.
struct menu_item {
    int command = 0;
    std::string text;
    bool checked = false;
    bool enabled = true;
    bool separator = false;
    bool is_default = false;
    std::vector<menu_item> items;
};

// One button of a modal form: its caption, its icon number (0 for none) and the answer it
// gives.
struct form_button {
    std::string text;
    int icon = 0;
    int answer = 0;
};

// A small modal form: a title, a mode icon, a read-only text and a row of buttons. Closing it
// without a button answers 0. It opens beside the pointer unless the toolkit cannot tell
// where that is.
struct form_request {
    std::string title;
    std::string text;
    int icon = 0;
    std::vector<form_button> buttons;
};

// Every modal interaction of the program goes through this interface, so model code never
// depends on a window toolkit and tests answer prompts with a script.
class i_prompt {
public:
    virtual ~i_prompt() = default;
    // Returns the pressed button (answer_*), 0 when the box could not be shown.
    virtual int message_box(owner_handle owner, const std::string& text, const std::string& caption,
                            int type) = 0;
    // Returns the chosen command number, 0 when the menu was dismissed.
    virtual int popup_menu(owner_handle owner, const std::vector<menu_item>& items) = 0;
    // The same menu opened below `anchor` (a widget) instead of at the pointer.
    virtual int popup_menu_at(owner_handle owner, owner_handle anchor,
                              const std::vector<menu_item>& items) {
        (void)anchor;
        return popup_menu(owner, items);
    }
    // Replaces the items of the popup menu that is open now (a list that follows the
    // configuration while the operator looks at it); nothing when none is open.
    virtual void update_open_menu(const std::vector<menu_item>& items) { (void)items; }
    // Returns the answer of the pressed button, 0 when the form was closed or not shown.
    virtual int modal_form(owner_handle owner, const form_request& form) {
        (void)owner;
        (void)form;
        return 0;
    }
    // The file to save into, "" when the operator cancelled. `filter` is "Name (*.ext)".
    virtual std::string save_file_name(owner_handle owner, const std::string& caption,
                                       const std::string& suggested, const std::string& filter) {
        (void)owner;
        (void)caption;
        (void)suggested;
        (void)filter;
        return {};
    }
    // An existing file to read, "" when the operator cancelled. `filter` as above.
    virtual std::string open_file_name(owner_handle owner, const std::string& caption,
                                       const std::string& filter) {
        (void)owner;
        (void)caption;
        (void)filter;
        return {};
    }
    // A password typed without showing it; false when the operator cancelled or no box could
    // be shown. `text` says what it is asked for.
    virtual bool ask_password(owner_handle owner, const std::string& caption,
                              const std::string& text, std::string& password) {
        (void)owner;
        (void)caption;
        (void)text;
        (void)password;
        return false;
    }
    // The print dialog for `printer` (the toolkit's printer object); false when cancelled.
    virtual bool print_setup(owner_handle owner, void* printer) {
        (void)owner;
        (void)printer;
        return false;
    }
    // The program is being ended from outside (SIGTERM): every prompt open now ends as its
    // cancel or no answer, and every later one answers so at once without being shown.
    virtual void close_all() {}
};

// The process-wide prompt; the user interface installs its own at start-up, tests a script.
// Without one installed, a prompt answers 0 (as a box that could not be shown).
i_prompt* current_prompt();
void set_prompt(i_prompt* prompt);

// The caption chosen by the icon bits of a message type.
std::string default_caption(int type);

// A modal message box; `caption` null picks the caption by the type's icon bits.
int show_message(owner_handle owner, const std::string& text, int type,
                 const char* caption = nullptr);

} // namespace nxkit
