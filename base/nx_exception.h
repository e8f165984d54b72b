#pragma once

#include <exception>
#include <string>

namespace nxkit {

// A failure whose text is already the complete Russian message for the operator.
class nx_exception : public std::exception {
public:
    explicit nx_exception(std::string text) : text_(std::move(text)) {}
    ~nx_exception() override = default;
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

// The subclasses carry no data; they exist so that a handler can catch them apart.
class nx_exception_ref_init : public nx_exception {
public:
    using nx_exception::nx_exception;
};

class nx_exception_ref_not_found : public nx_exception {
public:
    using nx_exception::nx_exception;
};

class nx_exception_sock_sync : public nx_exception {
public:
    using nx_exception::nx_exception;
};

class nx_exception_struct_to_ilk : public nx_exception {
public:
    using nx_exception::nx_exception;
};

} // namespace nxkit
