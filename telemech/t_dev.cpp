#include "telemech/t_dev.h"

#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/entry_checks.h"
#include "config/ref_types.h"

#include <charconv>

namespace nxkit {

std::uint16_t t_dev::parse_u16(const std::string& text) {
    std::string digits = trim(text, ' ');
    long n = 0;
    auto res = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (res.ec != std::errc() || n < 0 || n > 0xFFFF)
        return 0;
    return static_cast<std::uint16_t>(n);
}

std::uint16_t t_dev::entry_u16(const std::string& text, const std::string& what) {
    return static_cast<std::uint16_t>(entry_number(text, 0, 0xFFFF, what));
}

void t_dev::on_start(const nx_xml_element& element) {
    t_ref::on_start(element);
    if (element.name == "ref")
        addr_ = parse_u16(element.attr("addr"));
}

bool t_dev::set_parameter(int index, const std::string& text) {
    if (index == 1) {
        addr_ = entry_u16(text, addr_caption());
        return true;
    }
    return t_ref::set_parameter(index, text);
}

bool t_dev::get_parameter(int index, std::string& value, std::string& name) {
    if (index == 1) {
        name = addr_caption();
        value = std::to_string(addr_);
        return true;
    }
    return t_ref::get_parameter(index, value, name);
}

void t_dev::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    writer.attribute("addr", std::to_string(addr_));
}

} // namespace nxkit
