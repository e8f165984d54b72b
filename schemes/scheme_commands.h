#pragma once

#include <string>
#include <vector>

namespace nxkit {

class t_ref;

// The two commands of an element and of a group of elements.
enum scheme_command : int {
    command_bind_by_name = 0,
    command_delete_bindings = 1,
};

// The command's caption; a group's ends in " (для всех в папке)". Empty for another index.
std::string scheme_command_caption(int index, bool group);

// Answers t_ref::command for an element or a group: a caption query returns 1 and the caption
// in `arg` (0 for an unknown index or a component not in the store), an execution returns
// whether the configuration changed.
int scheme_command(t_ref& target, bool group, bool query, int index, std::string& arg);

// Binds the elements under (or being) `target` to the signals under the structure tree's
// current component by dispatcher name; with `elements`, only the elements with these keys
// (the scheme editor's selection; the dialog samples `target`).
bool bind_by_dispatcher_name(t_ref& target, const std::string& caption,
                             const std::vector<std::string>* elements = nullptr);
// Deletes every rule under `target` that the operator or the bind command made.
bool delete_all_bindings(t_ref& target, const std::string& caption);

} // namespace nxkit
