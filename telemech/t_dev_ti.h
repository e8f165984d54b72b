#pragma once

#include "config/ref_types.h"
#include "telemech/t_dev_change.h"

namespace nxkit {

// A scaled measurement ("ти-м").
class t_dev_ti : public t_dev_change {
public:
    explicit t_dev_ti(t_ref_buff& store, int type = tp_dev_ti);

    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    std::string signal_key() const override { return make_signal_key('i'); }

    double value() const { return value_; }

protected:
    void read_from(t_dev_asdu* device) override;
    double cached_value() const override { return value_; }
    // The record's value and quality; false when the address has none.
    virtual bool read_record(t_dev_asdu& device, double& value, bool& defined);

    double value_ = 0;
};

// A tap position ("ти-о").
class t_dev_to : public t_dev_ti {
public:
    explicit t_dev_to(t_ref_buff& store);

protected:
    bool read_record(t_dev_asdu& device, double& value, bool& defined) override;
};

} // namespace nxkit
