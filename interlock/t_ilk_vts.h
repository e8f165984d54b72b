#pragma once

#include "config/interfaces.h"
#include "config/t_ref.h"

#include <string>

namespace nxkit {

// The apparatus kind of a display name: 1 earthing switch, 2 disconnector, 3 circuit
// breaker, 0 anything else. Latin letters count in upper case, blanks around are ignored.
int apparatus_kind_of(const std::string& display_name);

// A column of an interlock table: an apparatus whose state, read from its normally open and
// normally closed contacts, permits switching. Base of the plain and the same-name columns.
class t_ilk_vts : public t_ref, public i_struct_linker {
public:
    ~t_ilk_vts() override;
    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;
    int command(bool query, int index, std::string& arg) override;
    // The title of the signal of the first non-empty contact ("" when there is none).
    virtual std::string disp_name() = 0;

    // i_struct_linker: the contacts' signals make this column evaluate again.
    void link(t_ref_buff& store) override;

    // The state, computed at most once per update pass; the quality bits are valid after it.
    bool is_on();
    virtual int apparatus_kind() { return 0; }
    const std::string& contact_no() const { return contact_no_; }
    const std::string& contact_nc() const { return contact_nc_; }
    void set_contacts(const std::string& no, const std::string& nc);
    int column_number() const { return column_number_; }
    // The icon of this column's kind for the state given.
    int state_icon(bool on);

protected:
    t_ilk_vts(t_ref_buff& store, int type);
    // The name looked up once and kept until init or a rebuild of the tables.
    std::string cached_disp_name();

    std::string disp_name_;

private:
    void evaluate();

    std::string contact_no_;
    std::string contact_nc_;
    int column_number_ = 0;
    bool on_state_ = false;
};

// A column ("Разрешающий КА").
class t_ilk_ts : public t_ilk_vts {
public:
    explicit t_ilk_ts(t_ref_buff& store);
    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    void write(nx_xml_writer& writer) override;
    std::string disp_name() override;
    int apparatus_kind() override;
    int background() const { return background_; }

private:
    int background_ = 0;
};

// A candidate of a same-name column ("Одноименный сигнал"); always of kind 0.
class t_ilk_nmts : public t_ilk_vts {
public:
    explicit t_ilk_nmts(t_ref_buff& store);
    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    void write(nx_xml_writer& writer) override;
    std::string disp_name() override;
    const std::string& name_part() const { return name_part_; }

private:
    std::string name_part_;
};

} // namespace nxkit
