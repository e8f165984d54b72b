#pragma once

#include <string>
#include <vector>

namespace nxkit {

// Produces indented element text (UTF-8) with CR LF line breaks. Attribute values and text
// are written as given: callers escape them with xml_escape first.
class nx_xml_writer {
public:
    explicit nx_xml_writer(std::string initial_text = {});

    // n >= 0 turns indentation on, starting with n blanks; a negative n turns it off.
    void set_indent(int n);

    void begin(const std::string& name);
    // Only while a start tag is open; otherwise throws std::logic_error.
    void attribute(const std::string& name, const std::string& value);
    void text(const std::string& value);
    // A whole element kept as text, put where begin() would start one; its inner lines stay
    // as they are.
    void element_text(const std::string& xml);
    void end(const std::string& name);

    bool pretty() const { return pretty_; }
    void set_pretty(bool on) { pretty_ = on; }
    bool attributes_on_lines() const { return attributes_on_lines_; }
    void set_attributes_on_lines(bool on) { attributes_on_lines_ = on; }

    const std::string& result() const { return buffer_; }

private:
    void put(const std::string& s);
    void line_break();
    void close_start_tag();

    std::string buffer_;
    bool in_start_tag_ = false;
    bool has_content_ = false;
    bool pretty_ = true;
    bool at_line_start_ = true;
    bool attributes_on_lines_ = true;
    std::string indent_;
    bool indent_enabled_ = false;
    // Per open element: whether its begin widened the indentation, so that switching pretty
    // inside an element cannot unbalance it.
    std::vector<bool> widened_;
};

// begin on creation, end on destruction.
class nx_xml_element_guard {
public:
    nx_xml_element_guard(nx_xml_writer& writer, std::string name);
    ~nx_xml_element_guard();
    nx_xml_element_guard(const nx_xml_element_guard&) = delete;
    nx_xml_element_guard& operator=(const nx_xml_element_guard&) = delete;

private:
    nx_xml_writer& writer_;
    std::string name_;
};

// Switches pretty mode for a scope.
class nx_xml_pretty_guard {
public:
    nx_xml_pretty_guard(nx_xml_writer& writer, bool pretty);
    ~nx_xml_pretty_guard();
    nx_xml_pretty_guard(const nx_xml_pretty_guard&) = delete;
    nx_xml_pretty_guard& operator=(const nx_xml_pretty_guard&) = delete;

private:
    nx_xml_writer& writer_;
    bool saved_;
};

// Switches attributes-on-lines for a scope.
class nx_xml_attributes_on_lines_guard {
public:
    nx_xml_attributes_on_lines_guard(nx_xml_writer& writer, bool on_lines);
    ~nx_xml_attributes_on_lines_guard();
    nx_xml_attributes_on_lines_guard(const nx_xml_attributes_on_lines_guard&) = delete;
    nx_xml_attributes_on_lines_guard& operator=(const nx_xml_attributes_on_lines_guard&) = delete;

private:
    nx_xml_writer& writer_;
    bool saved_;
};

// Replaces " & ' < > by their entity references; all other bytes are copied.
std::string xml_escape(const std::string& text);

} // namespace nxkit
