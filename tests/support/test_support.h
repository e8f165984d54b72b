#pragma once

#include "base/prompt.h"

#include <string>
#include <vector>

namespace ilktest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    // With a trailing '/'.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The station folder every test process runs in (ILKSTATION_HOME, set by the test main).
std::string station_dir();

std::string read_bytes(const std::string& file);
void write_bytes(const std::string& file, const std::string& bytes);

// A prompt that answers from a script: each expected prompt names a piece of its text and
// the answer to give. A prompt nobody expected fails the running test and answers 0.
class scripted_prompt : public nxkit::i_prompt {
public:
    struct seen_prompt {
        std::string text;
        std::string caption;
        int type = 0;
    };

    scripted_prompt();
    ~scripted_prompt() override;

    void expect(const std::string& text_part, int answer);
    void expect_menu(int command);

    int message_box(nxkit::owner_handle owner, const std::string& text, const std::string& caption,
                    int type) override;
    int popup_menu(nxkit::owner_handle owner, const std::vector<nxkit::menu_item>& items) override;

    const std::vector<seen_prompt>& seen() const { return seen_; }
    // The items of every menu shown, in order.
    const std::vector<std::vector<nxkit::menu_item>>& menus() const { return menus_; }
    // Expectations not used by the end of the test.
    std::size_t pending() const { return script_.size(); }

private:
    struct step {
        bool menu = false;
        std::string text_part;
        int answer = 0;
    };
    std::vector<step> script_;
    std::vector<seen_prompt> seen_;
    std::vector<std::vector<nxkit::menu_item>> menus_;
    nxkit::i_prompt* previous_ = nullptr;
};

} // namespace ilktest
