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
struct menu_item {
    int command = 0;
    std::string text;
    bool checked = false;
    bool enabled = true;
    bool separator = false;
    std::vector<menu_item> items;
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
