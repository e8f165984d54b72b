#pragma once

#include <string>
#include <vector>

namespace nxkit {

// What a save changed in refs.ini: components named by the titles from the root down
// ("Оборудование / КП ПС Северная / Q1"), a second sibling of one title with "#2".
struct config_changes {
    std::vector<std::string> added;
    std::vector<std::string> changed;
    std::vector<std::string> deleted;
};

// Compares two configuration texts (UTF-8, as read from refs.ini): a component is changed
// when its own attributes or text differ; its children count for themselves.
config_changes compare_configurations(const std::string& before, const std::string& after);

// "добавлено 1, изменено 0, удалено 2: + A; - B; - C", at most `limit` names, then
// "; ... ещё N".
std::string describe_changes(const config_changes& changes, std::size_t limit = 20);

// The configuration file's text as UTF-8, "" when there is none.
std::string read_configuration_text(const std::string& path);

// The configuration's text before a save when the audit trail records (else ""), and the
// audit line of the save once it is written.
std::string configuration_before_save(const std::string& path);
void audit_configuration_save(const std::string& before, const std::string& path);

} // namespace nxkit
