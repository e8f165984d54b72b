#include "base/nx_xml_writer.h"

#include <stdexcept>
#include <utility>

namespace nxkit {

nx_xml_writer::nx_xml_writer(std::string initial_text) : buffer_(std::move(initial_text)) {}

void nx_xml_writer::set_indent(int n) {
    indent_enabled_ = n >= 0;
    indent_.assign(n >= 0 ? static_cast<std::size_t>(n) : 0, ' ');
}

void nx_xml_writer::put(const std::string& s) {
    if (s.empty())
        return;
    buffer_ += s;
    at_line_start_ = false;
}

void nx_xml_writer::line_break() {
    buffer_ += "\r\n";
    at_line_start_ = true;
}

void nx_xml_writer::close_start_tag() {
    if (!in_start_tag_)
        return;
    put(">");
    in_start_tag_ = false;
    has_content_ = true;
}

void nx_xml_writer::begin(const std::string& name) {
    close_start_tag();
    bool widen = false;
    if (pretty_) {
        if (!at_line_start_)
            line_break();
        if (indent_enabled_) {
            put(indent_);
            indent_ += "  ";
            widen = true;
        }
    }
    widened_.push_back(widen);
    put("<" + name);
    in_start_tag_ = true;
    has_content_ = false;
}

void nx_xml_writer::attribute(const std::string& name, const std::string& value) {
    if (!in_start_tag_)
        throw std::logic_error("nx_xml_writer: attribute " + name + " outside a start tag");
    if (pretty_ && attributes_on_lines_) {
        line_break();
        put("  ");
    } else {
        put(" ");
    }
    put(name + "=\"" + value + "\"");
}

void nx_xml_writer::text(const std::string& value) {
    close_start_tag();
    has_content_ = true;
    put(value);
    if (pretty_)
        line_break();
}

void nx_xml_writer::element_text(const std::string& xml) {
    close_start_tag();
    if (pretty_) {
        if (!at_line_start_)
            line_break();
        if (indent_enabled_)
            put(indent_);
    }
    put(xml);
    // It is content of the element around it.
    has_content_ = true;
    if (pretty_)
        line_break();
}

void nx_xml_writer::end(const std::string& name) {
    bool widened = false;
    if (!widened_.empty()) {
        widened = widened_.back();
        widened_.pop_back();
    }
    if (widened && indent_.size() >= 2)
        indent_.resize(indent_.size() - 2);
    if (!has_content_) {
        if (pretty_ && attributes_on_lines_)
            line_break();
        put("/>");
    } else {
        if (pretty_ && indent_enabled_ && at_line_start_)
            put(indent_);
        put("</" + name + ">");
    }
    in_start_tag_ = false;
    // The element just closed is content of its parent.
    has_content_ = true;
    if (pretty_)
        line_break();
}

nx_xml_element_guard::nx_xml_element_guard(nx_xml_writer& writer, std::string name)
    : writer_(writer), name_(std::move(name)) {
    writer_.begin(name_);
}

nx_xml_element_guard::~nx_xml_element_guard() {
    writer_.end(name_);
}

nx_xml_pretty_guard::nx_xml_pretty_guard(nx_xml_writer& writer, bool pretty)
    : writer_(writer), saved_(writer.pretty()) {
    writer_.set_pretty(pretty);
}

nx_xml_pretty_guard::~nx_xml_pretty_guard() {
    writer_.set_pretty(saved_);
}

nx_xml_attributes_on_lines_guard::nx_xml_attributes_on_lines_guard(nx_xml_writer& writer,
                                                                   bool on_lines)
    : writer_(writer), saved_(writer.attributes_on_lines()) {
    writer_.set_attributes_on_lines(on_lines);
}

nx_xml_attributes_on_lines_guard::~nx_xml_attributes_on_lines_guard() {
    writer_.set_attributes_on_lines(saved_);
}

std::string xml_escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '"':
            out += "&quot;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace nxkit
