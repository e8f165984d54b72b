#pragma once

// What the archive takes from the update pass besides the journal's lines: telemeasurement
// values (a deadband per signal, and at least one value per period), manual input set and
// removed, connections of the controlled points won and lost. An observer of "K" and "D".

#include "archive/archive_sink.h"
#include "config/interfaces.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace nxkit {

class t_ref_buff;

struct archive_recorder_settings {
    // Of the measuring range; a signal without a range set: of its last stored value.
    double deadband_percent = 0.5;
    // At least one value of every telemeasurement per period, in seconds.
    int period_s = 900;
    // UTC milliseconds (tests give their own). A telemeasurement carries no time of its own:
    // its rows take the time of the pass that saw the value.
    std::function<std::int64_t()> clock;
};

// A signal's range and deadband as the settings give them ("lo;hi" or "lo;hi;percent").
struct archive_range {
    bool set = false;
    double low = 0;
    double high = 0;
    double percent = -1; // below 0: the general deadband
};
archive_range parse_archive_range(const std::string& text);

class archive_recorder : public i_observer {
public:
    archive_recorder(t_ref_buff& store, i_archive_sink& sink, archive_recorder_settings settings);
    ~archive_recorder() override;

    // Subscribes to the structure and equipment roots (after every configuration load).
    void attach();

    void on_changed(const std::string& key) override;
    void on_changes_done() override;

    // Called once a second: the values due by the period. `now_ms` UTC.
    void tick(std::int64_t now_ms);

    // The range of a signal, as a test or the settings give it.
    void set_range(const std::string& signal_key, const archive_range& range);

private:
    struct measured_state {
        std::string component_key;
        double value = 0;
        std::uint32_t quality = 0;
        std::int64_t time_ms = 0;
        bool stored = false;
    };
    void record_measurement(const std::string& key, measured_state& state, double value,
                            std::uint32_t quality, std::int64_t time_ms, const std::string& name);
    double deadband(const std::string& signal_key, double last) const;
    std::int64_t now_ms() const;

    t_ref_buff& store_;
    i_archive_sink& sink_;
    archive_recorder_settings settings_;
    std::unordered_map<std::string, measured_state> measured_;
    std::unordered_map<std::string, bool> manual_;
    std::unordered_map<std::string, bool> connected_;
    std::unordered_map<std::string, archive_range> ranges_;
    std::int64_t next_sweep_ms_ = 0;
};

} // namespace nxkit
