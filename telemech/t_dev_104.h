#pragma once

#include "telemech/nx_m104_act.h"
#include "telemech/t_dev_asdu.h"

#include <string>

namespace nxkit {

// A controlled point reached over IEC 60870-5-104 by a connection worker of its own.
class t_dev_104 : public t_dev_asdu {
public:
    explicit t_dev_104(t_ref_buff& store);
    ~t_dev_104() override;

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    void write(nx_xml_writer& writer) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;

    void start(i_update_poster* window) override;
    void stop() override;

    std::string connection_failure() override { return act_.last_failure(); }

    const std::string& endpoint() const { return endpoint_; }
    // How long a frame sent may stay unconfirmed before the connection ends (seconds).
    int t1_seconds() const { return t1_seconds_; }
    static constexpr int default_t1_seconds = 15;
    bool tls_on() const { return tls_on_; }
    // The TLS settings the worker gets, files resolved against the station folder.
    tls_settings tls() const;
    bool worker_running() const { return act_.is_running(); }
    // Timing of the worker from the next start on (tests shorten it).
    void set_link_settings(const nx_m104_settings& settings) { settings_ = settings; }

private:
    std::string endpoint_;
    int t1_seconds_ = default_t1_seconds;
    // IEC 62351-3 over the connection; plain TCP unless switched on.
    bool tls_on_ = false;
    std::string tls_ca_;
    std::string tls_certificate_;
    std::string tls_key_;
    bool tls_check_name_ = true;
    std::string tls_peer_name_;
    std::string tls_crl_;
    int tls_key_minutes_ = 60;
    int tls_key_megabytes_ = 100;
    nx_m104_settings settings_;
    nx_m104_act act_;
};

} // namespace nxkit
