#pragma once

#include "base/nx_time.h"
#include "structure/signal_texts.h"
#include "structure/t_struct.h"

#include <string>

namespace nxkit {

// A value-carrying signal: value, time stamp and quality, fed by a device information object
// with the same signal key, computed by an expression, or set by hand.
class t_struct_vl : public t_struct {
public:
    t_struct_vl(t_ref_buff& store, int type);

    void on_text(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void write(nx_xml_writer& writer) override;
    // Copies value, time and quality from the device information object with that key.
    virtual void pull_from_device(const std::string& object_key) = 0;

    // i_struct_element
    double* value_slot() override { return &value_; }
    const std::string& expression() const override { return expression_; }
    void link(bool fed) override;
    void refresh() override;
    void set_manual(double value, bool manual) override;

    // The quality a held value carries.
    struct held_quality {
        bool control = true;
        bool defined = true;
        bool invalid = false;
        bool manual = false;
    };
    // Holds the signal at `value` with `quality`: no device, expression or manual input
    // changes it until release_hold. Only copies made for checking hold signals.
    void hold(double value, const held_quality& quality);
    void release_hold();
    bool held() const { return held_; }

    void set_expression(const std::string& expression);
    double value() const { return value_; }
    nx_time time() const { return time_; }

    bool defined() const { return has_flag(flag_defined); }
    bool control() const { return has_flag(flag_control); }
    bool invalid() const { return has_flag(flag_invalid); }
    bool manual() const { return has_flag(flag_manual); }
    bool entered_by_hand() const { return entered_by_hand_; }
    bool forced() const { return has_flag(flag_forced); }
    bool unacknowledged() const { return has_flag(flag_unacknowledged); }
    bool linked() const { return has_flag(flag_linked); }
    bool normally_closed() const { return has_flag(flag_normally_closed); }

    // The state text after a refresh: contact kind, state, invalid mark and input mode.
    std::string value_text(int form);
    // One line for lists and hints: "[ state ]<TAB>title - (key) type name".
    std::string listing_text();

    // The captions of the signal's own parameters.
    static const char* title_caption();
    static const char* expression_caption();

protected:
    void derive_state() override;
    // "s" for a telesignal, "i" for a telemeasurement.
    virtual const char* key_prefix() const = 0;
    // The tree icon for the current value.
    virtual int value_icon() const = 0;
    std::string compute_signal_key() override;
    void write_expression(nx_xml_writer& writer);

    double value_ = 0;
    nx_time time_ = 100.0;

private:
    std::string expression_;
    // The operator's own manual input, as opposed to the manual mark a computed signal takes
    // over from its sources: only the former freezes the value.
    bool entered_by_hand_ = false;
    bool held_ = false;
};

} // namespace nxkit
