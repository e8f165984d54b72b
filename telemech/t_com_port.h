#pragma once

#include "config/interfaces.h"
#include "config/t_ref.h"
#include "platform/serial_port.h"
#include "telemech/nx_m101_act.h"

#include <cstdint>
#include <map>
#include <string>

namespace nxkit {

class t_dev_101;

// A serial line with the IEC 101 controlled points below it. Its worker polls them in turn.
class t_com_port : public t_ref, public t_device {
public:
    explicit t_com_port(t_ref_buff& store);
    ~t_com_port() override;

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;
    std::string log_file() override;

    // t_device.
    void start(i_update_poster* window) override;
    void stop() override;
    bool is_connected() override { return has_flag(flag_control); }

    // Called by a device's init: a second device with the same non-zero address fails with
    // "Адрес %d уже занят '%s'".
    void register_device(t_dev_101& device);
    void unregister_device(t_dev_101& device);
    // A device going away: the worker must not keep polling into it.
    void device_gone(t_dev_101& device);
    // Address → device key.
    const std::map<std::uint16_t, std::string>& registered() const { return registered_; }

    int port_number() const { return port_number_; }
    const serial_line& line() const { return line_; }
    const serial_timeouts& timeouts() const { return timeouts_; }
    bool log_on() const { return log_on_; }
    int log_size_kb() const { return log_size_; }
    bool worker_running() const { return act_.is_running(); }
    // The device of the port number: settings COM/N, "/dev/ttyS{N-1}" by default.
    std::string device_path() const;
    // Timing of the worker from the next start on (tests shorten it).
    void set_worker_settings(const nx_m101_settings& settings) { worker_settings_ = settings; }

    static const choice_list& baud_choices();
    static const choice_list& data_bits_choices();
    static const choice_list& parity_choices();
    static const choice_list& stop_bits_choices();

private:
    int port_number_ = 0;
    serial_line line_;
    serial_timeouts timeouts_;
    bool log_on_ = false;
    int log_size_ = 1000;
    std::string log_file_;
    std::map<std::uint16_t, std::string> registered_;
    nx_m101_settings worker_settings_;
    nx_m101_act act_;
};

} // namespace nxkit
