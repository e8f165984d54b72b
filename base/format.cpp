#include "base/format.h"

#include <cstdio>

namespace nxkit {

namespace {

const char* const format_error = "!!! FORMAT ERROR !!!";

} // namespace

std::string vformat_into(char* buffer, std::size_t size, const char* format, std::va_list args) {
    try {
        if (buffer == nullptr || size == 0 || format == nullptr)
            return {};
        int count = std::vsnprintf(buffer, size, format, args);
        // A text cut short would pass for a complete one, so it counts as no text at all.
        if (count < 0 || static_cast<std::size_t>(count) >= size)
            return {};
        return std::string(buffer, static_cast<std::size_t>(count));
    } catch (...) {
        return format_error;
    }
}

std::string format_into(char* buffer, std::size_t size, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string result = vformat_into(buffer, size, format, args);
    va_end(args);
    return result;
}

std::string vformat_sized(std::size_t size, const char* format, std::va_list args) {
    try {
        std::string buffer(size, '\0');
        return vformat_into(buffer.data(), size, format, args);
    } catch (...) {
        return format_error;
    }
}

std::string format_sized(std::size_t size, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string result = vformat_sized(size, format, args);
    va_end(args);
    return result;
}

std::string format_short(const char* format, ...) {
    char buffer[format_short_size];
    std::va_list args;
    va_start(args, format);
    std::string result = vformat_into(buffer, sizeof buffer, format, args);
    va_end(args);
    return result;
}

char* scratch_buffer() {
    static char buffer[scratch_buffer_size];
    return buffer;
}

} // namespace nxkit
