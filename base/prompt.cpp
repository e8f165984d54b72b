#include "base/prompt.h"

#include <atomic>

namespace nxkit {

namespace {

std::atomic<i_prompt*> installed_prompt{nullptr};

} // namespace

i_prompt* current_prompt() {
    return installed_prompt.load();
}

void set_prompt(i_prompt* prompt) {
    installed_prompt.store(prompt);
}

std::string default_caption(int type) {
    switch (type & 0x30) {
    case 0x10:
        return "Ошибка";
    case 0x20:
        return "Вопрос";
    case 0x30:
        return "Внимание";
    default:
        return "Сообщение";
    }
}

int show_message(owner_handle owner, const std::string& text, int type, const char* caption) {
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return answer_none;
    return prompt->message_box(owner, text, caption != nullptr ? caption : default_caption(type),
                               type);
}

} // namespace nxkit
