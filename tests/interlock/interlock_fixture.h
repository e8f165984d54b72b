#pragma once

#include "base/cp1251.h"
#include "base/nx_log.h"
#include "base/nx_time.h"
#include "config/config_classes.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/interlock_classes.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_nodes.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_root.h"
#include "interlock/t_ilk_tab.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "schemes/scheme_classes.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_ts.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace ilktest {

// Pieces of refs.ini text for interlocks.
namespace ilk_xml {

// A column ("Разрешающий КА") with its contacts and number.
inline std::string column_xml(int uid, const std::string& no, const std::string& nc,
                              const std::string& more = {}) {
    return "<ref tp=\"75\" nof=\"" + no + "\" non=\"" + nc + "\" uid=\"" + std::to_string(uid) +
           "\"" + more + "/>\r\n";
}

inline std::string permission_xml(int uid, bool on) {
    return "<ref tp=\"73\" uid=\"" + std::to_string(uid) + "\" on=\"" + (on ? "1" : "0") +
           "\"/>\r\n";
}

// A condition of mode 0 local, 1 remote, 2 manual.
inline std::string condition_xml(int mode, const std::string& permissions,
                                 const std::string& more = {}) {
    return "<ref tp=\"74\" control=\"" + std::to_string(mode) + "\"" + more + ">\r\n" +
           permissions + "</ref>\r\n";
}

// A row; `attributes` begins with a blank.
inline std::string row_xml(const std::string& attributes, const std::string& conditions) {
    return "<ref tp=\"76\"" + attributes + ">\r\n" + conditions + "</ref>\r\n";
}

// An interlock root with one table: columns node, rows node, then `more` (same-name columns).
inline std::string interlock_xml(const std::string& columns, const std::string& rows,
                                 const std::string& more = {},
                                 const std::string& root_attributes = {}) {
    return "<ref tp=\"72\"" + root_attributes + ">\r\n<ref tp=\"79\" name=\"T1\">\r\n" +
           "<ref tp=\"77\">\r\n" + columns + "</ref>\r\n<ref tp=\"78\">\r\n" + rows + "</ref>\r\n" +
           more + "</ref>\r\n</ref>\r\n";
}

} // namespace ilk_xml

// Keys of the interlock written by ilk_xml::interlock_xml as the first child of "S".
inline const std::string root_key = "S.0000";
inline const std::string table_key = "S.0000.0000";
inline const std::string columns_key = "S.0000.0000.0000";
inline const std::string rows_key = "S.0000.0000.0001";
inline std::string column_key(int n) {
    return columns_key + "." + nxkit::key_part(n);
}
inline std::string row_key(int n) {
    return rows_key + "." + nxkit::key_part(n);
}
inline std::string condition_key(int row, int n) {
    return row_key(row) + "." + nxkit::key_part(n);
}
inline std::string permission_key(int row, int condition, int n) {
    return condition_key(row, condition) + "." + nxkit::key_part(n);
}

// A store with every model class, one IEC 104 controller "D.0000" (not started) whose
// objects feed the structure signals of channel 1, section 2, and the program log in the
// station folder. Signal values arrive as the device's worker would deliver them.
class interlock_test : public testing::Test {
protected:
    interlock_test() {
        store = std::make_unique<nxkit::t_ref_buff>();
        nxkit::register_config_classes(*store);
        nxkit::register_structure_classes(*store);
        nxkit::register_telemech_classes(*store);
        nxkit::register_schemes_classes(*store);
        nxkit::register_interlock_classes(*store);
        log_path = station_dir() + "interlock_test.log";
        nxkit::nx_log::main().close();
        std::remove(log_path.c_str());
        nxkit::nx_log::main().open(log_path, 10000000, 0);
    }

    ~interlock_test() override {
        store.reset();
        nxkit::nx_log::main().close();
    }

    // A telesignal of the structure: signal key s1_2_<num>.
    static std::string signal(int num, const std::string& title) {
        return "<ref tp=\"1\" num=\"" + std::to_string(num) + "\" title=\"" + title + "\"/>\r\n";
    }

    static std::string structure(const std::string& signals) {
        return "<ref tp=\"40\">\r\n<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"42\" num=\"2\">\r\n" +
               signals + "</ref>\r\n</ref>\r\n</ref>\r\n";
    }

    // An information object of `type` (51 or 52) at `addr` feeding s1_2_<num>.
    static std::string object(int type, int addr, int num) {
        return "<ref tp=\"" + std::to_string(type) + "\" addr=\"" + std::to_string(addr) +
               "\" canal=\"1\" kp=\"2\" num=\"" + std::to_string(num) + "\"/>\r\n";
    }

    static std::string device(const std::string& title, const std::string& objects) {
        return "<ref tp=\"104\" addr=\"5\" title=\"" + title + "\" con=\"127.0.0.1:2404\">\r\n" +
               objects + "</ref>\r\n";
    }

    void load(const std::string& devices, const std::string& signals, const std::string& schemes) {
        write_bytes(station_dir() + "refs.ini",
                    nxkit::to_cp1251("<struct>\r\n<REFs version=\"1\">\r\n<ref tp=\"50\">\r\n" +
                                     devices + "</ref>\r\n" + structure(signals) +
                                     "<ref tp=\"80\">\r\n" + schemes +
                                     "</ref>\r\n</REFs>\r\n</struct>\r\n"));
        store->load();
    }

    nxkit::t_dev_104& dev() { return get<nxkit::t_dev_104>("D.0000"); }

    // A single-point record at `addr` as the worker stores it.
    void put(int addr, bool on, bool invalid = false) {
        dev().put_single(static_cast<std::uint16_t>(addr),
                         nxkit::nx_tm_time::from_time(nxkit::time_now()),
                         static_cast<std::uint8_t>((on ? 1 : 0) | (invalid ? 0x80 : 0)));
    }

    // The device's notification handed to the store, then one update pass.
    void pass() {
        store->hand_over(dev(), store->generation());
        store->update_pass();
    }

    template <class T> T& get(const std::string& key) {
        T* p = dynamic_cast<T*>(store->get(key));
        if (p == nullptr)
            throw std::runtime_error("no component of the expected class at " + key);
        return *p;
    }

    nxkit::t_ilk_vts& column(int n) { return get<nxkit::t_ilk_vts>(column_key(n)); }
    nxkit::t_ilk_tu& row(int n) { return get<nxkit::t_ilk_tu>(row_key(n)); }
    nxkit::t_ilk_or& condition(int r, int n) { return get<nxkit::t_ilk_or>(condition_key(r, n)); }
    nxkit::t_ilk_and& permission(int r, int c, int n) {
        return get<nxkit::t_ilk_and>(permission_key(r, c, n));
    }

    static int state_index(nxkit::t_ref& component) {
        int icon = 0;
        int overlay = 0;
        int state = 0;
        component.tree_images(icon, overlay, state);
        return state;
    }

    std::string log_text() { return nxkit::from_cp1251(read_bytes(log_path)); }

    std::unique_ptr<nxkit::t_ref_buff> store;
    std::string log_path;
};

} // namespace ilktest
