#pragma once

#include "config/t_ref.h"

#include <cstdint>

namespace nxkit {

// Normalises a switching time in seconds: 0 becomes 15 when a default is allowed, 1..4
// become 5, anything above 100 becomes 100.
std::uint16_t clamp_tmoo(unsigned value, bool default_allowed);

// The root of the schemes (key "S"). Its switching time serves every element of the process
// that has none of its own; each root that is read overwrites it.
class t_schema_root : public t_ref_root {
public:
    explicit t_schema_root(t_ref_buff& store);

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void write(nx_xml_writer& writer) override;
    // Command 0: "Создать схему…" (create_scheme).
    int command(bool query, int index, std::string& arg) override;

    static std::uint16_t tmoo();
    static void set_tmoo(std::uint16_t seconds);

    // The page-list mark of the store's scheme root: set when a scheme page is initialised or
    // destroyed, so the interlock tables rebuild their list of page labels before the next
    // projection and then clear it. A fresh root starts marked; without a root nothing is kept
    // and the mark reads as set.
    static void mark_page_list(t_ref_buff& store);
    static bool page_list_marked(t_ref_buff& store);
    static void clear_page_list_mark(t_ref_buff& store);
    // Set when a scheme element or one of its on/off rules is destroyed: a blocking element
    // may point at it, so the projection must run again. Read and cleared by the projection.
    static void mark_element_gone(t_ref_buff& store);
    static bool take_element_gone_mark(t_ref_buff& store);

private:
    bool page_list_mark_ = true;
    bool element_gone_mark_ = false;
};

} // namespace nxkit
