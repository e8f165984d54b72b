#pragma once

// The topology check of interlock tables: every row is compared with the switching rules of its
// apparatus on the schemes' connectivity. The table is evaluated by its own components in the
// store given, so the store must be a private one (the command loads its own).

#include "interlock/topology/switching_topology.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace nxkit {

class t_ref_buff;

struct signal_value {
    std::string key;
    int value = 0;
    bool operator==(const signal_value&) const = default;
};

struct topology_finding {
    enum kind_t { insufficient, excessive };
    kind_t kind = insufficient;
    switching_operation op = switching_operation::close;
    // insufficient: the rule broken, the condition that permits and the apparatus that break it.
    const switching_rule* rule = nullptr;
    std::string condition_key;
    std::string condition_text;
    std::string reason;
    // The state found: apparatus name → closed, the row's own apparatus first.
    std::vector<std::pair<std::string, bool>> positions;
    // The same as signal values, as the what-if mode takes them.
    std::vector<signal_value> counter_example;
};

enum class row_status { passed, insufficient, excessive, not_checkable, no_rule };
const char* status_text(row_status status);
const char* operation_text(switching_operation op);

struct row_check {
    std::string table_key;
    std::string table_name;
    std::string row_key;
    std::string apparatus;
    row_status status = row_status::not_checkable;
    std::string note; // why it is not checkable
    std::vector<topology_finding> findings;
    // Apparatus around the row the rules read, and how many were left out at the bound.
    std::size_t variables = 0;
    std::size_t left_out = 0;
    std::size_t states = 0; // positions looked at
};

struct topology_options {
    // At most this many apparatus around a row are enumerated (2^n positions).
    std::size_t max_variables = 14;
};

struct topology_report {
    std::vector<row_check> rows;
    // Lines about the input: scheme files that are missing and the like.
    std::vector<std::string> problems;
    std::size_t count(row_status status) const;
    std::size_t bound_hits() const;
    // 1 when some row is insufficient, else 0.
    int exit_code() const;
};

// The station's scheme pages, read from `sde_folder` for every scheme of the store, with the
// dispatcher names of their scheme elements, and the position signal of each element.
struct station_pages {
    std::vector<sde_scheme> schemes;
    std::vector<named_page> pages;
    std::vector<std::pair<std::string, std::string>> position_signals; // name → signal key
    std::vector<std::string> problems;
    // A scheme file exists and cannot be read (its message is among the problems).
    bool broken = false;
};
station_pages read_station_pages(t_ref_buff& store, const std::string& sde_folder);

// Checks every active row of every table in the store.
topology_report check_topology(t_ref_buff& store, const switching_topology& topology,
                               const std::vector<std::pair<std::string, std::string>>& positions,
                               const topology_options& options = {});

// The printable report.
std::string report_text(const topology_report& report);
// One finding's lines (for the table display's tooltip and the report window).
std::string finding_text(const topology_finding& finding);

// Loads the station in `station_dir` (its refs.ini and SDE/) into a store of its own and checks
// it; false with `error` when the station or one of its scheme files cannot be read (a missing
// scheme file is only named in the report: its apparatus are not checkable).
bool check_station(const std::string& station_dir, topology_report& report, std::string& error,
                   const topology_options& options = {});

// The same, printing the report.
// 1 when some row's interlock is insufficient, 0 when only informative findings remain, 2 when
// the station cannot be read.
int run_topology_check(const std::string& station_dir, std::ostream& out,
                       const topology_options& options = {});

} // namespace nxkit
