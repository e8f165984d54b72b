#pragma once

// What goes into the archive and what comes back from a search. Plain C++: the journal, the
// recorder and the tests make rows without a database.

#include <cstdint>
#include <limits>
#include <string>

namespace nxkit {

enum class archive_kind : int {
    change = 1,      // a journal line: a telesignal's position or quality changed
    acknowledge = 2, // the line of this signal and time acknowledged (value: when, in ms)
    manual_on = 3,   // a value entered by hand (value: the value)
    manual_off = 4,  // manual input removed, back to automatic
    connection = 5,  // a controlled point connected (value 1) or lost (value 0)
    measurement = 6, // a telemeasurement's value
};

struct archive_row {
    // The signal key (s1_2_3, i1_2_4); for a connection the device's component key.
    std::string key;
    // The name the journal shows for it; kept once per signal, not per row.
    std::string name;
    std::int64_t time_ms = 0; // UTC, milliseconds since 1970
    archive_kind kind = archive_kind::change;
    double value = 0;
    std::uint32_t quality = 0; // bits of archive_quality (archive_series.h)
    // An event's state text ("ВКЛЮЧЕН", "нет контроля"...); empty for a measurement.
    std::string text;
    // Set by the writer: tells apart rows of one signal, kind and millisecond (a burst of
    // time-tagged changes may share a millisecond).
    int seq = 0;
};

// What the journal's archive search narrows to; empty parts match everything.
struct archive_query {
    std::int64_t from_ms = 0;
    std::int64_t to_ms = std::numeric_limits<std::int64_t>::max();
    std::string signal; // the beginning of the signal key
    std::string text;   // in the state text or the signal's name, without regard to case
    bool only_unacknowledged = false;
};

// One event found, with the position a following page starts after.
struct archive_found {
    std::int64_t time_ms = 0;
    std::int64_t signal_id = 0;
    archive_kind kind = archive_kind::change;
    int seq = 0;
    std::string key;
    std::string name;
    double value = 0;
    std::uint32_t quality = 0;
    std::string text;
    bool acknowledged = false;
};

// Where the next page starts: after this event (none: from the beginning).
struct archive_cursor {
    bool set = false;
    std::int64_t time_ms = 0;
    std::int64_t signal_id = 0;
    int kind = 0;
    int seq = 0;
    static archive_cursor after(const archive_found& f) {
        return {true, f.time_ms, f.signal_id, static_cast<int>(f.kind), f.seq};
    }
};

} // namespace nxkit
