#pragma once

#include "config/t_ref.h"

namespace nxkit {

// Base of the schemes: a component named after its scheme file. An interlock table is one too.
class t_schema : public t_ref {
public:
    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    std::string display_name() override;
    void write(nx_xml_writer& writer) override;

    const std::string& name() const { return name_; }
    void set_name(const std::string& name) { name_ = name; }

protected:
    t_schema(t_ref_buff& store, int type);
    // The caption of parameter 1.
    virtual std::string name_caption() const { return "Имя файла схемы"; }

private:
    std::string name_;
};

} // namespace nxkit
