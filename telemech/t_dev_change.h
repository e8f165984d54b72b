#pragma once

#include "config/interfaces.h"
#include "structure/i_signal_source.h"
#include "telemech/t_dev.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nxkit {

class t_dev_asdu;

// A state an object reported with its own time tag (sequence of events).
struct reported_state {
    double value = 0;
    bool defined = true;
    bool invalid = false;
    nx_time time = 0;
};

// An information object: what an address of its device means and which structure signal it
// feeds. The device is found by key, so a device gone first leaves nothing dangling.
class t_dev_change : public t_dev, public i_feed, public i_signal_source {
public:
    t_dev_change(t_ref_buff& store, int type);
    ~t_dev_change() override;

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    void init() override;
    void write(nx_xml_writer& writer) override;
    std::string log_file() override;
    void tree_images(int& icon, int& overlay, int& state) override;

    virtual std::string signal_key() const = 0;
    // Reads the device's table once per update pass (the evaluated bit) and returns the state.
    double current_value() override;

    std::string feed_signal_key() const override { return signal_key(); }
    nx_time time_stamp() const override { return 0; }
    bool control() const override { return has_flag(flag_control); }
    bool defined() const override { return has_flag(flag_defined); }
    bool invalid() const override { return has_flag(flag_invalid); }

    // The states reported with time tags since the last call, in the order of their time tags
    // (received order among equal tags). The tables, and so the update pass, keep only the
    // last; the journal and the archive take every one. None for objects without them.
    virtual std::vector<reported_state> take_reported_states() { return {}; }

    std::uint16_t canal() const { return canal_; }
    std::uint16_t kp() const { return kp_; }
    std::uint16_t num() const { return num_; }
    // The device it is attached to (null when none).
    t_dev_asdu* device() const;

protected:
    // Reads the object's record from `device`, or notes that there is no device.
    virtual void read_from(t_dev_asdu* device) = 0;
    virtual double cached_value() const = 0;
    // The index of the parameter "Номер канала"; the signal number follows two after it.
    virtual int first_number_index() const { return 2; }
    // "s1_2_3" for prefix 's'; empty when a number is 0.
    std::string make_signal_key(char prefix) const;
    // " (key)" and "(structure signal title)" of the tree texts.
    std::string key_text() const;
    std::string struct_title_text() const;
    // Fails when another object feeds this signal key already.
    void check_signal_key();
    void set_device_key(const std::string& key) { device_key_ = key; }

private:
    std::string device_key_;
    std::uint16_t canal_ = 0;
    std::uint16_t kp_ = 0;
    std::uint16_t num_ = 0;
};

} // namespace nxkit
