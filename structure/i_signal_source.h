#pragma once

#include "base/nx_time.h"

namespace nxkit {

// What a structure signal copies from the device information object that feeds it. The
// information objects implement this next to config's i_feed.
class i_signal_source {
public:
    virtual ~i_signal_source() = default;
    // Reads the object's state from its device (at most once per update pass) and returns it:
    // 0 or 1 for a telesignal, the measured number for a measurement.
    virtual double current_value() = 0;
    // Quality and time stamp as the last current_value left them.
    virtual nx_time time_stamp() const = 0;
    virtual bool control() const = 0;
    virtual bool defined() const = 0;
    virtual bool invalid() const = 0;
};

} // namespace nxkit
