#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace nxkit {

std::string system_error_message(int code) {
    char buf[512];
    buf[0] = 0;
    // GNU strerror_r may return a static string instead of filling buf.
    const char* text = strerror_r(code, buf, sizeof buf);
    if (text == nullptr)
        return {};
    std::string result(text);
    if (result.rfind("Unknown error", 0) == 0)
        return {};
    return result;
}

int last_error_code() {
    return errno;
}

} // namespace nxkit
