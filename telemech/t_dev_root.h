#pragma once

#include "config/t_ref.h"

namespace nxkit {

// The equipment root ("D").
class t_dev_root : public t_ref_root {
public:
    explicit t_dev_root(t_ref_buff& store);
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    void tree_images(int& icon, int& overlay, int& state) override;
};

} // namespace nxkit
