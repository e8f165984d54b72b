#pragma once

#include "base/prompt.h"

namespace nxkit {

// The prompt seam carried out with Qt: message boxes in Russian and popup menus whose
// actions carry their command numbers. Without an application object it writes the text to
// standard error and answers 0, as a box that could not be shown.
class qt_prompt : public i_prompt {
public:
    int message_box(owner_handle owner, const std::string& text, const std::string& caption,
                    int type) override;
    int popup_menu(owner_handle owner, const std::vector<menu_item>& items) override;
};

} // namespace nxkit
