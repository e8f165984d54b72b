#pragma once

#include "schemes/t_rtid.h"

namespace nxkit {

// One page of a scheme; its counter is the page number. The interlock tables keep a list of
// page labels, which is rebuilt whenever a page is initialised or destroyed.
class t_mod_page : public t_rtid {
public:
    explicit t_mod_page(t_ref_buff& store);
    ~t_mod_page() override;

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;

    // The page's title in the scheme (attribute "disp").
    const std::string& page_title() const { return page_title_; }
    void set_page_title(const std::string& title) { page_title_ = title; }
    // The page's identifier in the interlock tables' page list (attribute "key").
    const std::string& page_id() const { return page_id_; }
    void set_page_id(const std::string& id) { page_id_ = id; }

private:
    std::string page_title_;
    std::string page_id_;
};

} // namespace nxkit
