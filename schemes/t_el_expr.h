#pragma once

#include "schemes/t_el.h"

namespace nxkit {

// A property of an element set from an expression through a format; "#" stands for the
// number. A format without "#" is a fixed text, sent once per init.
class t_el_expr : public t_el {
public:
    explicit t_el_expr(t_ref_buff& store);

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

    double value() const { return value_; }
    const std::string& expression() const { return expression_; }
    const std::string& property() const { return property_; }
    const std::string& format() const { return format_; }

private:
    double value_ = 0;
    std::string expression_;
    std::string property_;
    std::string format_ = "#";
};

} // namespace nxkit
