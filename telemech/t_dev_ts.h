#pragma once

#include "config/ref_types.h"
#include "telemech/t_dev_change.h"

#include <cstdint>

namespace nxkit {

// A single-point telesignal ("ТС").
class t_dev_ts : public t_dev_change {
public:
    explicit t_dev_ts(t_ref_buff& store, int type = tp_dev_ts);

    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    std::string signal_key() const override { return make_signal_key('s'); }
    nx_time time_stamp() const override { return time_; }

    int state() const { return state_; }
    // The single- or double-point changes of its address, decoded as read_from decodes them.
    std::vector<reported_state> take_reported_states() override;

protected:
    void read_from(t_dev_asdu* device) override;
    double cached_value() const override { return state_; }
    // "[1]", "[?]" or nothing without control.
    std::string state_text() const;

    std::uint8_t state_ = 0;
    nx_time time_ = 0;
};

// A double-point telesignal ("ТС2").
class t_dev_ts2 : public t_dev_ts {
public:
    explicit t_dev_ts2(t_ref_buff& store);

protected:
    void read_from(t_dev_asdu* device) override;
};

// The health telesignal ("ТСИ"): the device's connection state. Created by the device only.
class t_dev_ts_ok : public t_dev_ts {
public:
    explicit t_dev_ts_ok(t_ref_buff& store);
    ~t_dev_ts_ok() override;

    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    void init() override;
    std::string display_name() override;
    std::vector<reported_state> take_reported_states() override { return {}; }

protected:
    void read_from(t_dev_asdu* device) override;
    int first_number_index() const override { return 0; }
};

} // namespace nxkit
