#pragma once

#include "base/access.h"
#include "base/prompt.h"

#include <functional>
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
    // A modal form whose text contains `text_part` is answered with `answer`.
    void expect_form(const std::string& text_part, int answer);

    int message_box(nxkit::owner_handle owner, const std::string& text, const std::string& caption,
                    int type) override;
    int popup_menu(nxkit::owner_handle owner, const std::vector<nxkit::menu_item>& items) override;
    int popup_menu_at(nxkit::owner_handle owner, nxkit::owner_handle anchor,
                      const std::vector<nxkit::menu_item>& items) override;
    int modal_form(nxkit::owner_handle owner, const nxkit::form_request& form) override;
    void update_open_menu(const std::vector<nxkit::menu_item>& items) override;
    // The items of every update of an open menu.
    const std::vector<std::vector<nxkit::menu_item>>& menu_updates() const { return updates_; }
    // Runs while the next menu is open (as the operator looks at it), before its answer.
    void while_menu_open(std::function<void()> action) { while_open_ = std::move(action); }
    // The next file name asked for is `path` ("" answers as a cancelled dialog).
    void expect_save_file(const std::string& path);
    std::string save_file_name(nxkit::owner_handle owner, const std::string& caption,
                               const std::string& suggested, const std::string& filter) override;
    // A file to open is answered by the same expect_save_file script.
    std::string open_file_name(nxkit::owner_handle owner, const std::string& caption,
                               const std::string& filter) override {
        return save_file_name(owner, caption, {}, filter);
    }

    // The next password box whose text contains `text_part` gets `password`; with `given`
    // false it is cancelled.
    void expect_password(const std::string& text_part, const std::string& password,
                         bool given = true);
    bool ask_password(nxkit::owner_handle owner, const std::string& caption,
                      const std::string& text, std::string& password) override;
    // The texts of the password boxes shown, in order.
    const std::vector<std::string>& password_prompts() const { return password_prompts_; }

    const std::vector<seen_prompt>& seen() const { return seen_; }
    // The items of every menu shown, in order, and the widget each opened at (null: pointer).
    const std::vector<std::vector<nxkit::menu_item>>& menus() const { return menus_; }
    const std::vector<nxkit::owner_handle>& menu_anchors() const { return anchors_; }
    const std::vector<nxkit::form_request>& forms() const { return forms_; }
    // Expectations not used by the end of the test.
    std::size_t pending() const { return script_.size() + passwords_.size(); }

private:
    enum class kind { box, menu, form, file };
    struct step {
        kind what = kind::box;
        std::string text_part;
        int answer = 0;
    };
    int take(kind what, const std::string& text);
    std::vector<step> script_;
    struct password_step {
        std::string text_part;
        std::string password;
        bool given = true;
    };
    std::vector<password_step> passwords_;
    std::vector<std::string> password_prompts_;
    std::vector<seen_prompt> seen_;
    std::vector<std::vector<nxkit::menu_item>> menus_;
    std::vector<nxkit::owner_handle> anchors_;
    std::vector<nxkit::form_request> forms_;
    std::vector<std::vector<nxkit::menu_item>> updates_;
    std::function<void()> while_open_;
    bool menu_open_ = false;
    nxkit::i_prompt* previous_ = nullptr;
};

// An access that records what is asked and recorded, installed for its lifetime.
class recording_access : public nxkit::i_access {
public:
    recording_access();
    ~recording_access() override;
    bool allow(nxkit::owner_handle owner, nxkit::protected_action action) override;
    bool record(const std::string& action, const std::string& object) override;
    void edit_mode_changed(bool on) override;
    bool recording() const override { return true; }

    // What allow answers.
    bool grant = true;
    std::vector<nxkit::protected_action> asked;
    // "action|object" of every record.
    std::vector<std::string> lines;

private:
    nxkit::i_access* previous_ = nullptr;
};

} // namespace ilktest
