#pragma once

#include <string>
#include <vector>

namespace nxkit {

class t_ref_buff;

// The operations that change the shape of a loaded configuration. They run on the
// user-interface thread, ask the operator through show_message and leave the change set
// filled, so the next update pass refreshes the views.

// Holds the store's batch mode for a scope: update passes and rebuilds wait, deletions ask
// nothing. The batch is closed on every path out of the scope. Scopes nest: only the
// outermost one opens and closes the batch, so a bulk insertion inside another (each scheme's
// synchronisation inside the scheme view's load) still ends in one rebuild.
class batch_scope {
public:
    explicit batch_scope(t_ref_buff& store);
    ~batch_scope();
    batch_scope(const batch_scope&) = delete;
    batch_scope& operator=(const batch_scope&) = delete;

private:
    t_ref_buff& store_;
    bool outermost_;
};

// At most this many components are added at once.
inline constexpr int max_components_added = 1000;

// Adds `count` new components of `type` under `parent` (asking first when more than one).
// Returns the keys created, empty when the operator declined or the parent is missing.
std::vector<std::string> add_components(t_ref_buff& store, const std::string& parent, int type,
                                        int count);

// Deletes a component with its subtree. False when the operator declined, when changes are
// still pending, or when other components refer to what would be deleted; nothing changes then.
bool del_ref(t_ref_buff& store, const std::string& key);

// Deletes `key` and every later sibling that may be deleted, after one question.
// False when the operator declined, the key is missing, or components left behind refer to
// what would be deleted (the reference box names them; nothing is deleted then).
bool delete_following(t_ref_buff& store, const std::string& key);

// Deletes the marked components that may be deleted, after one question naming `current`
// (the editor's current component; the first marked key when empty or missing). Refused as
// delete_following is when references would break.
bool delete_marked(t_ref_buff& store, const std::vector<std::string>& keys,
                   const std::string& current = {});

// Whether clipboard text holds components that `parent` accepts as children.
bool can_paste(t_ref_buff& store, const std::string& parent, const std::string& text);

// Inserts clipboard text under `parent`. Text the parent does not accept inserts nothing.
// True when anything was created; `collect` receives the created keys.
bool paste(t_ref_buff& store, const std::string& parent, const std::string& text,
           std::vector<std::string>* collect = nullptr);

// Moves a component to the position of a sibling; the siblings are renumbered without gaps
// and the parent's whole subtree is re-keyed. False when nothing was moved.
bool move(t_ref_buff& store, const std::string& from_key, const std::string& to_key);

// Asks whether the direct children of `parent` become active (Yes), inactive (No) or stay
// as they are (Cancel). True when the children were changed.
bool set_active_children(t_ref_buff& store, const std::string& parent);

// Writes parameter `index` into the siblings of `key` of the same type, from `key` on,
// passing over `interval` of them after each one written. With a non-zero `step` the trailing
// number of `text` grows by `step` from one receiver to the next. Returns the receivers.
int repeat_value(t_ref_buff& store, const std::string& key, int index, const std::string& text,
                 int step, int interval);

// Writes `lines` from `start` on into the same run of siblings, one line per receiver,
// passing over `skip` of them after each one; `replace` false appends the line to the current
// value. Returns the receivers.
int repeat_values(t_ref_buff& store, const std::string& key, int index,
                  const std::vector<std::string>& lines, int start, bool replace, int skip);

} // namespace nxkit
