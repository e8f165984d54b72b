#pragma once

#include <string>

namespace nxkit {

// The clipboard as plain text (UTF-8 inside the program). The user interface installs the
// system clipboard at start-up; tests install their own.
class i_clipboard {
public:
    virtual ~i_clipboard() = default;
    virtual std::string text() = 0;
    virtual void set_text(const std::string& text) = 0;
};

// The process-wide clipboard. Without one installed, a clipboard local to the process.
i_clipboard& current_clipboard();
void set_clipboard(i_clipboard* clipboard);

} // namespace nxkit
