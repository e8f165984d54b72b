#pragma once

#include "schemes/t_el.h"

namespace nxkit {

// A position the operator sets by hand, mirrored into a telesignal as manual input until the
// operator answers again or the reset condition holds.
class t_el_disp : public t_el {
public:
    explicit t_el_disp(t_ref_buff& store);

    void on_start(const nx_xml_element& element) override;
    void on_text(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;

    void evaluate() override;
    void link() override;
    void apply(property_map& properties, style_map& styles) override;

    // Stores the operator's answer and evaluates.
    void set_commanded(bool on);
    bool commanded_on() const { return commanded_on_; }
    const std::string& signal_key() const { return signal_key_; }
    const std::string& reset_condition() const { return reset_condition_; }
    const std::string& property() const { return property_; }
    const std::string& on_value() const { return on_value_; }
    const std::string& off_value() const { return off_value_; }

private:
    bool commanded_on_ = false;
    std::string signal_key_;
    std::string reset_condition_;
    std::string property_;
    std::string on_value_;
    std::string off_value_;
};

} // namespace nxkit
