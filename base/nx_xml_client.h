#pragma once

#include <charconv>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <system_error>

namespace nxkit {

// What a client learns about one element. Texts are UTF-8; the offsets count bytes of the
// document text as stored, so they can be used to cut and replace pieces of it.
struct nx_xml_element {
    std::string name;
    std::map<std::string, std::string> attributes;
    // Character data collected since the last start tag; trimmed at the end tag.
    std::string text;
    // Tag names from the root down to this element, joined with '/'.
    std::string path;
    // The '<' of the start tag.
    std::size_t start = 0;
    // Just after the tag last seen (start tag in on_start, end tag in on_end).
    std::size_t after = 0;
    // The '<' of the end tag; 0 until the end tag is seen. An empty element <a/> has none:
    // there it equals `after`.
    std::size_t end_tag = 0;

    bool has_attr(const std::string& key) const { return attributes.count(key) != 0; }

    std::string attr(const std::string& key) const {
        auto it = attributes.find(key);
        return it == attributes.end() ? std::string() : it->second;
    }

    // The leading decimal number of the value, 0 when absent or not a number.
    int attr_int(const std::string& key) const {
        std::string_view v = number_start(key);
        long long value = 0;
        auto res = std::from_chars(v.data(), v.data() + v.size(), value);
        if (res.ec == std::errc::result_out_of_range)
            return v.starts_with('-') ? min_int : max_int;
        if (res.ec != std::errc())
            return 0;
        if (value < min_int)
            return min_int;
        if (value > max_int)
            return max_int;
        return static_cast<int>(value);
    }

    // Likewise for a decimal fraction with '.', whatever the process locale says.
    double attr_double(const std::string& key) const {
        std::string_view v = number_start(key);
        double value = 0;
        auto res = std::from_chars(v.data(), v.data() + v.size(), value);
        return res.ec == std::errc() ? value : 0.0;
    }

private:
    static constexpr int min_int = -2147483647 - 1;
    static constexpr int max_int = 2147483647;

    // The value without leading white space and without a '+' sign (from_chars takes none).
    std::string_view number_start(const std::string& key) const {
        auto it = attributes.find(key);
        if (it == attributes.end())
            return {};
        std::string_view v = it->second;
        while (!v.empty() && (v.front() == ' ' || (v.front() >= '\t' && v.front() <= '\r')))
            v.remove_prefix(1);
        if (v.starts_with('+')) {
            v.remove_prefix(1);
            if (v.starts_with('-'))
                return {};
        }
        return v;
    }
};

// The callback interface of nx_inixml::parse. The order of these three operations is part of
// the interface: every configuration component starts with them.
class nx_xml_client {
public:
    virtual ~nx_xml_client() = default;
    // After a start tag; the attributes are known.
    virtual void on_start(const nx_xml_element& element) { (void)element; }
    // Before on_end, only when the trimmed text is not empty.
    virtual void on_text(const nx_xml_element& element) { (void)element; }
    // After an end tag; for <a/> right after its on_start.
    virtual void on_end(const nx_xml_element& element) { (void)element; }
};

} // namespace nxkit
