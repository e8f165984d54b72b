#pragma once

#include "schemes/t_el.h"

namespace nxkit {

// On/off position of an element from a normally-open (on) and a normally-closed (off)
// condition; drives one property with the type's on or off value.
class t_el_onof : public t_el {
public:
    explicit t_el_onof(t_ref_buff& store);
    ~t_el_onof() override;

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

    bool on() const { return on_; }
    const std::string& on_condition() const { return on_condition_; }
    const std::string& off_condition() const { return off_condition_; }
    const std::string& property() const { return property_; }
    const std::string& on_value() const { return on_value_; }
    const std::string& off_value() const { return off_value_; }
    const std::string& name_template() const { return template_; }

private:
    bool on_ = false;
    std::string on_condition_;
    std::string off_condition_;
    std::string property_;
    std::string on_value_;
    std::string off_value_;
    std::string template_;
};

} // namespace nxkit
