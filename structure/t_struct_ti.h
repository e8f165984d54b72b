#pragma once

#include "structure/t_struct_vl.h"

namespace nxkit {

// A telemeasurement (ТИ): the value is the measured number.
class t_struct_ti : public t_struct_vl {
public:
    explicit t_struct_ti(t_ref_buff& store);

    std::string display_name() override;
    void pull_from_device(const std::string& object_key) override;

protected:
    const char* key_prefix() const override { return "i"; }
    int value_icon() const override;
};

} // namespace nxkit
