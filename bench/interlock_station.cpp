#include "bench/interlock_station.h"

#include "base/cp1251.h"
#include "base/nx_time.h"
#include "config/config_classes.h"
#include "config/t_ref_buff.h"
#include "interlock/interlock_classes.h"
#include "schemes/scheme_classes.h"
#include "structure/structure_classes.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"

#include <cstdio>
#include <fstream>

namespace nxbench {

using nxkit::to_cp1251;

// The key of the structure signal fed by object `address` (1-based) of point `point`.
std::string signal_key(int point, int address) {
    return "s" + std::to_string(point) + "_" +
           std::to_string((address - 1) / signals_per_section + 1) + "_" +
           std::to_string((address - 1) % signals_per_section + 1);
}

// Apparatus names of the usual kinds: breaker, earthing switch, disconnector, other.
std::string apparatus_title(int point, int address) {
    static const char* const kinds[] = {"В-", "ЗН-", "1ШР-", "QF"};
    return kinds[address % 4] + std::to_string(point) + "." + std::to_string(address);
}

int table_point(int table) {
    return table % points + 1;
}

// Address of signal `n` of the window of `table`.
int window_address(int table, int n) {
    return ((table / points) * window_step + n) % objects_per_point + 1;
}

// The objects that change in a round: every fifth object of every point, a different fifth
// each round, so every table sees some of its signals change.
std::size_t changed_object(int round, int n) {
    constexpr int stride = points * objects_per_point / changes_per_round;
    return static_cast<std::size_t>(n * stride + round % stride);
}

std::string generate(int tables) {
    std::string text =
        "<struct>\r\n<REFs version=\"1\">\r\n<ref tp=\"50\" title=\"Оборудование\">\r\n";
    for (int p = 1; p <= points; ++p) {
        text += "<ref tp=\"104\" addr=\"" + std::to_string(p) + "\" title=\"КП" +
                std::to_string(p) + "\" con=\"127.0.0.1:2404\">\r\n";
        for (int a = 1; a <= objects_per_point; ++a)
            text += "<ref tp=\"51\" addr=\"" + std::to_string(a) + "\" canal=\"" +
                    std::to_string(p) + "\" kp=\"" +
                    std::to_string((a - 1) / signals_per_section + 1) + "\" num=\"" +
                    std::to_string((a - 1) % signals_per_section + 1) + "\"/>\r\n";
        text += "</ref>\r\n";
    }
    text += "</ref>\r\n<ref tp=\"40\" title=\"Структура\">\r\n";
    for (int p = 1; p <= points; ++p) {
        text += "<ref tp=\"41\" num=\"" + std::to_string(p) + "\">\r\n";
        for (int s = 0; s < objects_per_point / signals_per_section; ++s) {
            text += "<ref tp=\"42\" num=\"" + std::to_string(s + 1) + "\">\r\n";
            for (int n = 1; n <= signals_per_section; ++n)
                text += "<ref tp=\"1\" num=\"" + std::to_string(n) + "\" title=\"" +
                        apparatus_title(p, s * signals_per_section + n) + "\"/>\r\n";
            text += "</ref>\r\n";
        }
        text += "</ref>\r\n";
    }
    text += "</ref>\r\n<ref tp=\"80\" title=\"Схемы\">\r\n";
    for (int t = 0; t < tables; ++t) {
        const int p = table_point(t);
        auto sig = [&](int n) { return signal_key(p, window_address(t, n)); };
        char conf[24];
        std::snprintf(conf, sizeof conf, "conf%02d.ini", t);
        text += "<ref tp=\"72\" title=\"Блокировка " + std::to_string(t + 1) + "\" conf=\"" + conf +
                "\">\r\n<ref tp=\"79\" name=\"T" + std::to_string(t + 1) +
                "\">\r\n<ref tp=\"77\">\r\n";
        // Column numbers are unique over the configuration.
        const int first_uid = t * columns_per_table + 1;
        for (int c = 0; c < columns_per_table; ++c)
            text += "<ref tp=\"75\" nof=\"" + sig(2 * c) + "\" non=\"" + sig(2 * c + 1) +
                    "\" uid=\"" + std::to_string(first_uid + c) + "\"/>\r\n";
        text += "</ref>\r\n<ref tp=\"78\">\r\n";
        const int row_base = 2 * columns_per_table;
        for (int r = 0; r < rows_per_table; ++r) {
            text += "<ref tp=\"76\" tu=\"" + std::to_string(r + 1) + "\" ts=\"" +
                    sig(row_base + r) + "\" dop=\"" + sig(row_base + rows_per_table + r) +
                    "\" tu_on=\"" + sig(row_base + 2 * rows_per_table + r) + "\" tu_of=\"" +
                    sig(row_base + 3 * rows_per_table + r) + "\" tm_of=\"20\">\r\n";
            // A local and a remote condition, each over ten different columns.
            for (int m = 0; m < conditions_per_row; ++m) {
                text += "<ref tp=\"74\" control=\"" + std::to_string(m) + "\">\r\n";
                for (int j = 0; j < permissions_per_condition; ++j) {
                    int c = (r + 7 * j + 3 * m) % columns_per_table;
                    text += "<ref tp=\"73\" uid=\"" + std::to_string(first_uid + c) + "\" on=\"" +
                            ((r + j + m) % 2 == 0 ? "1" : "0") + "\"/>\r\n";
                }
                text += "</ref>\r\n";
            }
            text += "</ref>\r\n";
        }
        text += "</ref>\r\n</ref>\r\n</ref>\r\n";
    }
    text += "</ref>\r\n</REFs>\r\n</struct>\r\n";
    return to_cp1251(text);
}

bool write_station(const std::string& home, int tables, const char* program) {
    std::ofstream file(home + "refs.ini", std::ios::binary);
    file << generate(tables);
    if (!file) {
        std::fprintf(stderr, "%s: cannot write %srefs.ini\n", program, home.c_str());
        return false;
    }
    return true;
}

void register_station_classes(nxkit::t_ref_buff& store) {
    nxkit::register_config_classes(store);
    nxkit::register_structure_classes(store);
    nxkit::register_telemech_classes(store);
    nxkit::register_schemes_classes(store);
    nxkit::register_interlock_classes(store);
}

station_feed::station_feed(nxkit::t_ref_buff& store)
    : store_(store), state_(static_cast<std::size_t>(points) * objects_per_point) {
    for (nxkit::t_ref* r : store.refs().under("D"))
        if (auto* d = dynamic_cast<nxkit::t_dev_104*>(r))
            devices_.push_back(d);
    for (std::size_t i = 0; i < state_.size(); ++i)
        state_[i] = static_cast<std::uint8_t>((i * 7 / 3) % 2);
}

void station_feed::deliver(std::size_t object) {
    devices_[object / objects_per_point]->put_single(
        static_cast<std::uint16_t>(object % objects_per_point + 1),
        nxkit::nx_tm_time::from_time(nxkit::time_now()), state_[object]);
}

void station_feed::hand_over() {
    for (nxkit::t_dev_104* d : devices_)
        store_.hand_over(*d, store_.generation());
}

void station_feed::deliver_all() {
    for (std::size_t i = 0; i < state_.size(); ++i)
        deliver(i);
    hand_over();
    store_.update_pass();
}

void station_feed::change_round(int round) {
    for (int n = 0; n < changes_per_round; ++n) {
        std::size_t i = changed_object(round, n);
        state_[i] ^= 1;
        deliver(i);
    }
    hand_over();
}

} // namespace nxbench
