#include "structure/manual_values.h"

#include "base/settings_keys.h"

namespace nxkit {

void save_manual_value(const std::string& signal_key, int value) {
    if (read_setting(setting::hand_load) == 0)
        return;
    // A signal without a key has nothing to be found by after the next load.
    if (signal_key.empty())
        return;
    write_setting(setting::hand_value, value, signal_key);
}

void cancel_all_manual_settings() {
    int load = read_setting(setting::hand_load);
    settings_clear_section(setting::hand_load.section);
    write_setting(setting::hand_load, load != 0 ? 1 : 0);
}

} // namespace nxkit
