#pragma once

#include "config/t_ref_buff.h"

#include <string>
#include <vector>

namespace nxkit {

class t_ref;

// The binding assistant of columns and rows (installed with the interlock classes); without
// one the binding commands are offered but do nothing.
class i_ilk_binder {
public:
    virtual ~i_ilk_binder() = default;
    // Runs binding command `command` of `target` with its caption; true when anything changed.
    virtual bool bind(t_ref& target, int command, const std::string& caption) = 0;
};

// One entry of the page list: a label and the key of its page ("" for "no page").
struct ilk_page_entry {
    std::string label;
    std::string page_key;
};

// What the interlock model keeps for a whole configuration: the column counter, the marks
// that tell the projection and the page list to run again, the page list itself. One per
// store, so every store numbers its columns afresh.
class ilk_state : public t_ref_buff::extension {
public:
    // The state of `store`, created on first use.
    static ilk_state& of(t_ref_buff& store);
    // The state when it exists (null while the store never had one).
    static ilk_state* find(t_ref_buff& store);

    // The highest column number handed out or loaded.
    int column_counter = 0;
    // Set at start and by every change of an interlock component; cleared by the projection.
    bool interlock_changed = true;
    // Counts the changes of interlock components (each init and each destruction): a cache
    // of pointers between them is good while the count stands still.
    unsigned edits = 0;
    // The page list as last built (the scheme root keeps the mark that asks for a rebuild).
    std::vector<ilk_page_entry> pages;
    i_ilk_binder* binder = nullptr;
};

// Marks the interlock configuration as changed, so the projection runs again.
void mark_interlock_changed(t_ref_buff& store);

} // namespace nxkit
