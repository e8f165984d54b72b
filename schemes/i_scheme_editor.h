#pragma once

#include <string>

namespace nxkit {

// The scheme editor as the scheme components' commands see it: the user interface opens its
// window on a scheme's file.
class i_scheme_editor {
public:
    virtual ~i_scheme_editor() = default;
    // Opens (or raises) the editor on the file of the scheme with the key.
    virtual void edit(const std::string& scheme_key, const std::string& path) = 0;
};

// The process-wide editor; the user interface installs its own, tests a recording one.
// Without one installed "Редактировать схему" does nothing.
i_scheme_editor* current_scheme_editor();
void set_scheme_editor(i_scheme_editor* editor);

} // namespace nxkit
