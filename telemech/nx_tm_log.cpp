#include "telemech/nx_tm_log.h"

namespace nxkit {

const char* tm_direction_mark(tm_direction direction) {
    return direction == tm_direction::received ? "-->" : "<\u2022\u2022";
}

bool nx_tm_log::open(const std::string& file_name, int mode, int size) {
    mode_ = mode;
    current_ = 0;
    open_line_ = false;
    line_.clear();
    if (file_name.empty()) {
        close();
        return false;
    }
    // Protocol logs are trimmed, never rotated.
    return nx_log::open(file_name, size, 0);
}

bool nx_tm_log::enabled(int category) {
    current_ = category;
    return (mode_ & category) != 0;
}

bool nx_tm_log::line_open() const {
    return open_line_ && (mode_ & current_) != 0;
}

void nx_tm_log::begin_line(tm_direction direction) {
    line_ = tm_direction_mark(direction);
    line_ += ' ';
    open_line_ = true;
}

void nx_tm_log::append(std::string_view text) {
    line_ += text;
}

void nx_tm_log::end_line() {
    if (!open_line_)
        return;
    open_line_ = false;
    mes(line_);
    line_.clear();
}

void nx_tm_log::dump(tm_direction direction, const std::uint8_t* data, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = tm_direction_mark(direction);
    text.reserve(text.size() + size * 3);
    for (std::size_t i = 0; i < size; ++i) {
        text += ' ';
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    mes(text);
}

} // namespace nxkit
