#pragma once

#include "structure/t_struct.h"

namespace nxkit {

// A channel: its signal key is its own number.
class t_struct_canal : public t_struct {
public:
    explicit t_struct_canal(t_ref_buff& store);
    void tree_images(int& icon, int& overlay, int& state) override;

protected:
    std::string compute_signal_key() override;
};

} // namespace nxkit
