#include "base/last_error.h"

#include "platform/system_error.h"

#include <cstdio>

namespace nxkit {

std::string last_error_text(int code) {
    if (code == 0)
        return {};
    char prefix[64];
    auto value = static_cast<unsigned>(code);
    std::snprintf(prefix, sizeof prefix, ". GetLastError: %x (%u) ", value, value);
    std::string text = system_error_message(code);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    while (!text.empty() && text.back() == '\r')
        text.pop_back();
    return prefix + text;
}

std::string last_error_text() {
    // Read first: anything done before would overwrite the error being described.
    int code = last_error_code();
    return last_error_text(code);
}

} // namespace nxkit
