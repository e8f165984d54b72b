#pragma once

#include "base/prompt.h"
#include "platform/desktop_services.h"

#include <string>
#include <utility>
#include <vector>

namespace ilktest {

// Installed for the life of the object, like scripted_prompt.
class counting_beep : public nxkit::i_beep {
public:
    counting_beep() : previous_(nxkit::current_beep()) { nxkit::set_beep(this); }
    ~counting_beep() override { nxkit::set_beep(previous_); }
    void beep(int frequency_hz, int duration_ms) override {
        beeps.emplace_back(frequency_hz, duration_ms);
    }
    std::vector<std::pair<int, int>> beeps;

private:
    nxkit::i_beep* previous_;
};

class memory_clipboard : public nxkit::i_clipboard {
public:
    memory_clipboard() : previous_(nxkit::current_clipboard()) { nxkit::set_clipboard(this); }
    ~memory_clipboard() override { nxkit::set_clipboard(previous_); }
    std::string text() override { return content; }
    void set_text(const std::string& text) override { content = text; }
    std::string content;

private:
    nxkit::i_clipboard* previous_;
};

// Installed for the life of the object: records the menus and boxes it is shown, answers
// menus from a list (then 0) and boxes with `box_answer`.
class menu_recorder : public nxkit::i_prompt {
public:
    explicit menu_recorder(std::vector<int> answers = {})
        : answers_(std::move(answers)), previous_(nxkit::current_prompt()) {
        nxkit::set_prompt(this);
    }
    ~menu_recorder() override { nxkit::set_prompt(previous_); }
    int message_box(nxkit::owner_handle, const std::string& text, const std::string&,
                    int) override {
        boxes.push_back(text);
        return box_answer;
    }
    int popup_menu(nxkit::owner_handle, const std::vector<nxkit::menu_item>& items) override {
        menus.push_back(items);
        if (answers_.empty())
            return 0;
        int answer = answers_.front();
        answers_.erase(answers_.begin());
        return answer;
    }
    // Menu `n` as "command text" lines, "-" for a separator.
    std::vector<std::string> menu_lines(std::size_t n) const {
        std::vector<std::string> lines;
        for (const nxkit::menu_item& item : menus.at(n))
            lines.push_back(item.separator ? "-" : std::to_string(item.command) + " " + item.text);
        return lines;
    }
    std::vector<std::vector<nxkit::menu_item>> menus;
    std::vector<std::string> boxes;
    int box_answer = nxkit::answer_yes;

private:
    std::vector<int> answers_;
    nxkit::i_prompt* previous_;
};

} // namespace ilktest
