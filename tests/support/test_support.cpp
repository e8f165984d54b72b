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
    script_.push_back({false, text_part, answer});
}

void scripted_prompt::expect_menu(int command) {
    script_.push_back({true, {}, command});
}

int scripted_prompt::message_box(nxkit::owner_handle, const std::string& text,
                                 const std::string& caption, int type) {
    seen_.push_back({text, caption, type});
    for (auto it = script_.begin(); it != script_.end(); ++it) {
        if (!it->menu && text.find(it->text_part) != std::string::npos) {
            int answer = it->answer;
            script_.erase(it);
            return answer;
        }
    }
    ADD_FAILURE() << "unexpected prompt: [" << caption << "] " << text;
    return 0;
}

int scripted_prompt::popup_menu(nxkit::owner_handle, const std::vector<nxkit::menu_item>& items) {
    menus_.push_back(items);
    for (auto it = script_.begin(); it != script_.end(); ++it) {
        if (it->menu) {
            int answer = it->answer;
            script_.erase(it);
            return answer;
        }
    }
    ADD_FAILURE() << "unexpected popup menu";
    return 0;
}

} // namespace ilktest
