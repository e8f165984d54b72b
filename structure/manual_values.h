#pragma once

#include <string>

namespace nxkit {

// Manual values survive a restart through the settings section HAND while HAND/LOAD is not 0;
// the store restores them after every load.

// Writes HAND/<signal_key> = value (0 or 1; -1 for back to automatic) when HAND/LOAD is not 0.
void save_manual_value(const std::string& signal_key, int value);

// Forgets every persistent manual value: the section HAND keeps only LOAD (1 or 0).
void cancel_all_manual_settings();

} // namespace nxkit
