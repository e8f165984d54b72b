#pragma once

#include "structure/t_struct.h"

namespace nxkit {

// A section of a channel: signal key "channel_section".
class t_struct_kp : public t_struct {
public:
    explicit t_struct_kp(t_ref_buff& store);
    void tree_images(int& icon, int& overlay, int& state) override;

protected:
    std::string compute_signal_key() override;
};

} // namespace nxkit
