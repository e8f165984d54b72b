#pragma once

#include <string>

namespace nxkit {

class t_ref;

// The bind-to-scheme dialog as the bind command sees it. It shows `text`, lets the operator
// choose the property and the on and off values (it writes them into the element type record
// of the first element under `target` as the record's current ones) and the name template.
class i_bind_dialog {
public:
    virtual ~i_bind_dialog() = default;
    // 1 (bind) with `name_template` set (it always contains "#"), 2 when cancelled, 0 when the
    // target holds no element and no dialog was shown.
    virtual int run(t_ref& target, const std::string& text, const std::string& caption,
                    std::string& name_template) = 0;
};

// The process-wide dialog; the user interface installs its own, tests a scripted one. Without
// one installed the bind command does nothing.
i_bind_dialog* current_bind_dialog();
void set_bind_dialog(i_bind_dialog* dialog);

} // namespace nxkit
