#include "access/config_changes.h"

#include "base/access.h"
#include "base/cp1251.h"
#include "base/files.h"
#include "base/nx_inixml.h"
#include "base/nx_xml_client.h"

#include <map>

namespace nxkit {

namespace {

// Every "ref" element by its title path, with its own content.
class component_lister : public nx_xml_client {
public:
    std::map<std::string, std::string> components;

    void on_start(const nx_xml_element& element) override {
        if (element.name != "ref")
            return;
        std::string title = element.attr("title");
        if (title.empty())
            title = "(" + element.attr("tp") + ")";
        std::string base = levels_.empty() ? title : levels_.back().key + " / " + title;
        std::string key = base;
        if (!levels_.empty()) {
            int n = ++levels_.back().seen[base];
            if (n > 1)
                key += "#" + std::to_string(n);
        }
        std::string content;
        for (const auto& [name, value] : element.attributes)
            content += name + "=" + value + "\n";
        levels_.push_back({key, {}});
        components[key] = content;
    }

    void on_text(const nx_xml_element& element) override {
        if (element.name == "ref" && !levels_.empty())
            components[levels_.back().key] += "text=" + element.text;
    }

    void on_end(const nx_xml_element& element) override {
        if (element.name == "ref" && !levels_.empty())
            levels_.pop_back();
    }

private:
    struct level {
        std::string key;
        std::map<std::string, int> seen;
    };
    std::vector<level> levels_;
};

std::map<std::string, std::string> list(const std::string& text) {
    component_lister lister;
    if (!text.empty()) {
        nx_inixml document(text);
        document.parse("", lister);
    }
    return lister.components;
}

} // namespace

config_changes compare_configurations(const std::string& before, const std::string& after) {
    std::map<std::string, std::string> old_list = list(before);
    std::map<std::string, std::string> new_list = list(after);
    config_changes changes;
    for (const auto& [key, content] : new_list) {
        auto it = old_list.find(key);
        if (it == old_list.end())
            changes.added.push_back(key);
        else if (it->second != content)
            changes.changed.push_back(key);
    }
    for (const auto& [key, content] : old_list) {
        if (new_list.count(key) == 0)
            changes.deleted.push_back(key);
    }
    return changes;
}

std::string describe_changes(const config_changes& c, std::size_t limit) {
    std::string text = "добавлено " + std::to_string(c.added.size()) + ", изменено " +
                       std::to_string(c.changed.size()) + ", удалено " +
                       std::to_string(c.deleted.size());
    std::size_t shown = 0;
    std::size_t total = c.added.size() + c.changed.size() + c.deleted.size();
    auto add = [&](const std::vector<std::string>& keys, const char* mark) {
        for (const std::string& key : keys) {
            if (shown == limit)
                return;
            text += shown == 0 ? ": " : "; ";
            text += std::string(mark) + " " + key;
            ++shown;
        }
    };
    add(c.added, "+");
    add(c.changed, "*");
    add(c.deleted, "-");
    if (shown < total)
        text += "; ... ещё " + std::to_string(total - shown);
    return text;
}

std::string read_configuration_text(const std::string& path) {
    std::string bytes;
    if (!read_file(path, bytes))
        return {};
    return from_cp1251(bytes);
}

std::string configuration_before_save(const std::string& path) {
    return audit_recording() ? read_configuration_text(path) : std::string();
}

void audit_configuration_save(const std::string& before, const std::string& path) {
    if (!audit_recording())
        return;
    audit_action("сохранение конфигурации",
                 describe_changes(compare_configurations(before, read_configuration_text(path))));
}

} // namespace nxkit
