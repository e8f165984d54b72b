#pragma once

#include "base/clipboard.h"

namespace nxkit {

// The system clipboard through Qt, as plain text.
class qt_clipboard : public i_clipboard {
public:
    std::string text() override;
    void set_text(const std::string& text) override;
};

} // namespace nxkit
