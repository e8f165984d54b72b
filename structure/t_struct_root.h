#pragma once

#include "config/t_ref.h"

namespace nxkit {

// The root of the signal structure (key "K"): cannot be deleted and has no parameters.
class t_struct_root : public t_ref_root {
public:
    explicit t_struct_root(t_ref_buff& store);
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    void tree_images(int& icon, int& overlay, int& state) override;
};

} // namespace nxkit
