#pragma once

#include "config/t_ref.h"

namespace nxkit {

// A component that carries the counter of a drawn object of its scheme.
class t_rtid : public t_ref {
public:
    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    void write(nx_xml_writer& writer) override;

    int rtid() const { return rtid_; }
    void set_rtid(int rtid) { rtid_ = rtid; }

protected:
    t_rtid(t_ref_buff& store, int type);

private:
    int rtid_ = 0;
};

// A component that can be found on its scheme by its counter (elements, blocking elements).
class t_rtid_sel : public t_rtid {
protected:
    using t_rtid::t_rtid;
};

} // namespace nxkit
