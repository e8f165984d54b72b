#pragma once

// The generated station of the interlock benchmarks: 5 IEC 104 controlled points of 1,000
// telesignals each, and interlock tables of 40 rows and 60 columns bound to them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nxkit {
class t_dev_104;
class t_ref_buff;
} // namespace nxkit

namespace nxbench {

inline constexpr int points = 5;
inline constexpr int objects_per_point = 1000;
inline constexpr int signals_per_section = 100;
inline constexpr int rows_per_table = 40;
inline constexpr int columns_per_table = 60;
inline constexpr int conditions_per_row = 2;
inline constexpr int permissions_per_condition = 10;
// A table takes its signals from a window of one point's objects: two contacts per column,
// then the permission, ready and two telecontrol signals of every row. Four tables share a
// point and their windows overlap a little, as neighbouring bays share apparatus.
inline constexpr int window = 2 * columns_per_table + 4 * rows_per_table;
inline constexpr int window_step = objects_per_point / 4;
inline constexpr int changes_per_round = 1000;

// The key of the structure signal fed by object `address` (1-based) of point `point`.
std::string signal_key(int point, int address);
// Apparatus names of the usual kinds: breaker, earthing switch, disconnector, other.
std::string apparatus_title(int point, int address);
// The controlled point whose signals table `table` uses.
int table_point(int table);
// Address of signal `n` of the window of `table`.
int window_address(int table, int n);
// The objects that change in a round: every fifth object of every point, a different fifth
// each round, so every table sees some of its signals change.
std::size_t changed_object(int round, int n);
// The text of refs.ini (Windows-1251) with `tables` interlock tables.
std::string generate(int tables);

// Writes the station of `tables` tables as refs.ini into `home`; false, with a line naming
// `program`, when it cannot.
bool write_station(const std::string& home, int tables, const char* program);
// Registers the classes the station is made of.
void register_station_classes(nxkit::t_ref_buff& store);

// The controlled points of a loaded station and the state last put into each object.
class station_feed {
public:
    explicit station_feed(nxkit::t_ref_buff& store);
    std::size_t device_count() const { return devices_.size(); }
    // Every object once, as after a station interrogation, then one update pass.
    void deliver_all();
    // Flips the objects that change in `round` and hands them over (no pass).
    void change_round(int round);
    // The state last put into object `address` (1-based) of point `point`.
    bool is_on(int point, int address) const {
        return state_[static_cast<std::size_t>(point - 1) * objects_per_point +
                      static_cast<std::size_t>(address - 1)] != 0;
    }

private:
    void deliver(std::size_t object);
    void hand_over();

    nxkit::t_ref_buff& store_;
    std::vector<nxkit::t_dev_104*> devices_;
    std::vector<std::uint8_t> state_;
};

} // namespace nxbench
