#pragma once

#include "config/interfaces.h"
#include "config/t_ref.h"

#include <cstdint>
#include <string>

namespace nxkit {

// An element of the signal structure: a channel, a section or a signal. Its signal key is
// built from the element numbers on the way to the root and ties it to the device object
// that feeds it.
class t_struct : public t_ref, public i_struct_element {
public:
    t_struct(t_ref_buff& store, int type);

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    std::string display_name() override;
    void init() override;
    void write(nx_xml_writer& writer) override;

    const std::string& signal_key() const override { return signal_key_; }
    std::uint16_t element_number() const { return element_number_; }
    void set_element_number(std::uint16_t n) { element_number_ = n; }

    // The caption of the number parameter (index 1), also named in duplicate messages.
    static const char* number_caption();
    // "" for 0, else the decimal number.
    std::string number_text() const;
    // A decimal text read like atoi and kept modulo 65536; not a number reads as 0.
    static std::uint16_t parse_number(const std::string& text);

protected:
    // The signal key from this element's number and those of its ancestors; throws
    // nx_exception_ref_init when a channel or section is missing above it.
    virtual std::string compute_signal_key() = 0;
    // Called by init between the signal key and the uniqueness check: signals derive their
    // flags from the expression and the locks here.
    virtual void derive_state() {}
    // The number of the nearest ancestor of the given structure type (folders and other
    // classes are passed over); throws nx_exception_ref_init naming that type when none.
    std::uint16_t ancestor_number(int type);
    // The text of the tree: "(key) type title".
    std::string struct_text() const;
    // The uniqueness check of the signal key against the store's signal table.
    void check_unique();

    std::string signal_key_;

private:
    std::uint16_t element_number_ = 0;
};

} // namespace nxkit
