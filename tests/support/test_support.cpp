#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ilktest {

temp_dir::temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ilktest.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
}

temp_dir::~temp_dir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string station_dir() {
    const char* home = std::getenv("ILKSTATION_HOME");
    std::string dir = home != nullptr ? home : "";
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

std::string read_bytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_bytes(const std::string& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

scripted_prompt::scripted_prompt() : previous_(nxkit::current_prompt()) {
    nxkit::set_prompt(this);
}

scripted_prompt::~scripted_prompt() {
    nxkit::set_prompt(previous_);
}

void scripted_prompt::expect(const std::string& text_part, int answer) {
    script_.push_back({kind::box, text_part, answer});
}

void scripted_prompt::expect_menu(int command) {
    script_.push_back({kind::menu, {}, command});
}

void scripted_prompt::expect_form(const std::string& text_part, int answer) {
    script_.push_back({kind::form, text_part, answer});
}

void scripted_prompt::update_open_menu(const std::vector<nxkit::menu_item>& items) {
    if (menu_open_)
        updates_.push_back(items);
}

void scripted_prompt::expect_save_file(const std::string& path) {
    script_.push_back({kind::file, path, 0});
}

std::string scripted_prompt::save_file_name(nxkit::owner_handle, const std::string& caption,
                                            const std::string&, const std::string&) {
    for (auto it = script_.begin(); it != script_.end(); ++it) {
        if (it->what == kind::file) {
            std::string path = it->text_part;
            script_.erase(it);
            return path;
        }
    }
    ADD_FAILURE() << "unexpected file dialog: " << caption;
    return {};
}

int scripted_prompt::take(kind what, const std::string& text) {
    for (auto it = script_.begin(); it != script_.end(); ++it) {
        if (it->what == what && text.find(it->text_part) != std::string::npos) {
            int answer = it->answer;
            script_.erase(it);
            return answer;
        }
    }
    return -1;
}

int scripted_prompt::message_box(nxkit::owner_handle, const std::string& text,
                                 const std::string& caption, int type) {
    seen_.push_back({text, caption, type});
    int answer = take(kind::box, text);
    if (answer >= 0)
        return answer;
    ADD_FAILURE() << "unexpected prompt: [" << caption << "] " << text;
    return 0;
}

int scripted_prompt::popup_menu(nxkit::owner_handle owner,
                                const std::vector<nxkit::menu_item>& items) {
    return popup_menu_at(owner, nullptr, items);
}

int scripted_prompt::popup_menu_at(nxkit::owner_handle, nxkit::owner_handle anchor,
                                   const std::vector<nxkit::menu_item>& items) {
    menus_.push_back(items);
    anchors_.push_back(anchor);
    if (while_open_) {
        std::function<void()> action = std::move(while_open_);
        while_open_ = nullptr;
        menu_open_ = true;
        action();
        menu_open_ = false;
    }
    int answer = take(kind::menu, {});
    if (answer >= 0)
        return answer;
    ADD_FAILURE() << "unexpected popup menu";
    return 0;
}

int scripted_prompt::modal_form(nxkit::owner_handle, const nxkit::form_request& form) {
    forms_.push_back(form);
    int answer = take(kind::form, form.text);
    if (answer >= 0)
        return answer;
    ADD_FAILURE() << "unexpected form: [" << form.title << "] " << form.text;
    return 0;
}

void scripted_prompt::expect_password(const std::string& text_part, const std::string& password,
                                      bool given) {
    passwords_.push_back({text_part, password, given});
}

bool scripted_prompt::ask_password(nxkit::owner_handle, const std::string& caption,
                                   const std::string& text, std::string& password) {
    password_prompts_.push_back(text);
    for (auto it = passwords_.begin(); it != passwords_.end(); ++it) {
        if (text.find(it->text_part) == std::string::npos)
            continue;
        bool given = it->given;
        password = it->password;
        passwords_.erase(it);
        return given;
    }
    ADD_FAILURE() << "unexpected password box: [" << caption << "] " << text;
    return false;
}

recording_access::recording_access() : previous_(nxkit::current_access()) {
    nxkit::set_access(this);
}

recording_access::~recording_access() {
    nxkit::set_access(previous_);
}

bool recording_access::allow(nxkit::owner_handle, nxkit::protected_action action) {
    asked.push_back(action);
    return grant;
}

bool recording_access::record(const std::string& action, const std::string& object) {
    lines.push_back(action + "|" + object);
    return true;
}

void recording_access::edit_mode_changed(bool on) {
    record(on ? "вход в режим редактирования" : "выход из режима редактирования", {});
}

} // namespace ilktest
