#pragma once

#include "config/t_ref.h"

#include <string>

namespace nxkit {

class t_ilk_nmts;

// The node holding the columns of a table; it can be neither deleted nor deactivated.
class t_ilk_tss : public t_ref {
public:
    explicit t_ilk_tss(t_ref_buff& store);
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    ~t_ilk_tss() override;
};

// The node holding the rows of a table; it can be neither deleted nor deactivated.
class t_ilk_tus : public t_ref {
public:
    explicit t_ilk_tus(t_ref_buff& store);
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    ~t_ilk_tus() override;
};

// A same-name column: one column that stands for a different apparatus in every row, found
// among its candidates by the row's name put into the format.
class t_ilk_nmtss : public t_ref {
public:
    explicit t_ilk_nmtss(t_ref_buff& store);
    ~t_ilk_nmtss() override;
    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;

    const std::string& name_format() const { return name_format_; }
    int background() const { return background_; }
    // The candidate standing for the row named `row_name`, null when none matches.
    t_ilk_nmts* candidate_for(const std::string& row_name);

private:
    std::string name_format_ = "#";
    int background_ = 0;
};

} // namespace nxkit
