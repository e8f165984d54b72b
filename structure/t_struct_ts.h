#pragma once

#include "structure/t_struct_vl.h"

namespace nxkit {

class i_manual_input;

// A telesignal (ТС): value 0 = off, non-zero = on; the contact is normally open or closed.
class t_struct_ts : public t_struct_vl {
public:
    explicit t_struct_ts(t_ref_buff& store, i_manual_input* manual_input = nullptr);

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    std::string display_name() override;
    void write(nx_xml_writer& writer) override;
    int command(bool query, int index, std::string& arg) override;
    void pull_from_device(const std::string& object_key) override;

    // Refreshes, then tells whether the value is not 0.
    bool is_on();
    void set_manual_input(i_manual_input* manual_input) { manual_input_ = manual_input; }

    static const char* contact_caption();
    // The two texts of the contact parameter: normally open (0) and normally closed (1).
    static const choice_list& contact_choices();
    static const char* manual_input_command();

protected:
    const char* key_prefix() const override { return "s"; }
    int value_icon() const override;

private:
    i_manual_input* manual_input_;
};

} // namespace nxkit
