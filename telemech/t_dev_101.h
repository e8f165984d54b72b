#pragma once

#include "telemech/t_dev_asdu.h"

#include <string>

namespace nxkit {

class t_com_port;

// One controlled point on the serial line of its parent port, which polls it over IEC 101.
class t_dev_101 : public t_dev_asdu {
public:
    explicit t_dev_101(t_ref_buff& store);
    ~t_dev_101() override;

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void start(i_update_poster* window) override;
    // Names its protocol log file; the port's worker asks for it before the device's own
    // init, which follows the port's, has run.
    void prepare_log();

    // The nearest port above; null when there is none.
    t_com_port* port();

private:
    std::string log_name() const;
    // The port it registered with, by key: components refer to each other only so.
    std::string port_key_;
};

} // namespace nxkit
