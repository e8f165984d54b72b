#pragma once

#include <string>
#include <vector>

namespace nxkit {

class t_ref;

// The configuration editor as the tree view sees it: the twelve operations in their order.
class i_ref_editor {
public:
    virtual ~i_ref_editor() = default;
    virtual void refresh() = 0;
    virtual void show(t_ref* component) = 0;
    virtual void apply() = 0;
    virtual void set_modified(bool enable, bool force) = 0;
    virtual void delete_current() = 0;
    // `return_to` is the widget that gets the focus back on Escape (opaque here).
    virtual void focus_grid(void* return_to) = 0;
    virtual bool shows(const std::string& key) const = 0;
    virtual void cancel() = 0;
    virtual void tree_changed() = 0;
    virtual void context_menu() = 0;
    virtual void selection_menu(const std::vector<std::string>& keys) = 0;
    virtual void changed(long a, long b) = 0;
};

} // namespace nxkit
