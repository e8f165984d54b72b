#pragma once

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

} // namespace ilktest
