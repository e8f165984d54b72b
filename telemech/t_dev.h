#pragma once

#include "config/t_ref.h"

#include <cstdint>

namespace nxkit {

// Base of everything in the equipment tree below its root: a controlled point's address for a
// device, an information object address for an information object.
class t_dev : public t_ref {
public:
    t_dev(t_ref_buff& store, int type) : t_ref(store, type) {}

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    void write(nx_xml_writer& writer) override;

    std::uint16_t addr() const { return addr_; }
    void set_addr(std::uint16_t addr) { addr_ = addr; }

    static const char* addr_caption() { return "Адрес"; }

protected:
    // A decimal text as an unsigned 16-bit number; what does not fit or parse becomes 0.
    static std::uint16_t parse_u16(const std::string& text);
    // The same for a value typed into the field `what`: outside 0..65535 it is refused.
    static std::uint16_t entry_u16(const std::string& text, const std::string& what);

private:
    std::uint16_t addr_ = 0;
};

} // namespace nxkit
