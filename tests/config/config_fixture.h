#pragma once

#include "base/cp1251.h"
#include "base/nx_log.h"
#include "base/nx_xml_client.h"
#include "config/interfaces.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref.h"
#include "config/t_ref_buff.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace cfgtest {

using namespace nxkit;

// A value signal as the store's tables see one: attribute sk is its signal key, ex its
// expression, src makes it a source under control. Counts its refreshes.
class value_signal : public t_ref, public i_struct_element {
public:
    explicit value_signal(t_ref_buff& store, int type = tp_struct_ts) : t_ref(store, type) {}

    void on_start(const nx_xml_element& e) override {
        t_ref::on_start(e);
        if (e.name != "ref")
            return;
        signal_ = e.attr("sk");
        expression_ = e.attr("ex");
        value_ = e.attr_double("v");
        if (e.attr_int("src") != 0)
            set_flag(true, flag_control | flag_defined);
        if (expression_.find("self") != std::string::npos)
            set_flag(true, flag_uses_self);
    }
    void write(nx_xml_writer& writer) override;

    const std::string& signal_key() const override { return signal_; }
    double* value_slot() override { return &value_; }
    const std::string& expression() const override { return expression_; }
    void link(bool fed) override { fed_ = fed; }
    void refresh() override {
        ++refreshes;
        if (!expression_.empty()) {
            set_flag(true, flag_control | flag_defined);
            store().calc(expression_, *this, value_);
        }
    }
    void set_manual(double value, bool manual) override {
        value_ = value;
        set_flag(manual, flag_manual);
        manual_calls.push_back(value);
    }

    double value() const { return value_; }
    void set_value(double v) {
        value_ = v;
        store().mark_changed(key());
    }
    bool fed() const { return fed_; }

    int refreshes = 0;
    std::vector<double> manual_calls;

private:
    std::string signal_;
    std::string expression_;
    double value_ = 0;
    bool fed_ = false;
};

// A device information object: feeds the signal key in its attribute sk.
class feed_object : public t_ref, public i_feed {
public:
    explicit feed_object(t_ref_buff& store) : t_ref(store, tp_dev_ts) {}
    void on_start(const nx_xml_element& e) override {
        t_ref::on_start(e);
        if (e.name == "ref")
            signal_ = e.attr("sk");
    }
    std::string feed_signal_key() const override { return signal_; }

private:
    std::string signal_;
};

// Records what it is told.
class recording_observer : public i_observer {
public:
    void on_changed(const std::string& key) override { keys.push_back(key); }
    void on_changes_done() override { ++done; }
    std::vector<std::string> keys;
    int done = 0;
};

// Registers the test classes: plain roots, 1 and 2 value signals, 51 feed objects, plain
// components for channels, sections and devices.
inline void register_test_classes(t_ref_buff& store) {
    store.register_class(tp_struct_ts,
                         [](t_ref_buff& s) { return std::make_unique<value_signal>(s); });
    store.register_class(tp_struct_ti, [](t_ref_buff& s) {
        return std::make_unique<value_signal>(s, tp_struct_ti);
    });
    store.register_class(tp_dev_ts, [](t_ref_buff& s) { return std::make_unique<feed_object>(s); });
    for (int type : {tp_dev_root, tp_struct_root, tp_schema_root})
        store.register_class(
            type, [type](t_ref_buff& s) { return std::make_unique<t_ref_root>(s, type); });
    for (int type : {tp_struct_canal, tp_struct_kp, tp_dev_104, tp_com_port, tp_dev_101})
        store.register_class(type,
                             [type](t_ref_buff& s) { return std::make_unique<t_ref>(s, type); });
}

// The program log of the test process, opened afresh in the station folder.
inline std::string open_test_log() {
    std::string path = ilktest::station_dir() + "config_test.log";
    nx_log::main().close();
    std::remove(path.c_str());
    nx_log::main().open(path, 10000000, 0);
    return path;
}

inline std::string log_text(const std::string& path) {
    return from_cp1251(ilktest::read_bytes(path));
}

inline int count_of(const std::string& text, const std::string& piece) {
    int n = 0;
    for (auto pos = text.find(piece); pos != std::string::npos; pos = text.find(piece, pos + 1))
        ++n;
    return n;
}

inline std::string refs_file() {
    return ilktest::station_dir() + "refs.ini";
}

// No configuration file and no backups in the station folder.
inline void remove_refs() {
    std::remove(refs_file().c_str());
    std::error_code ec;
    std::filesystem::remove_all(ilktest::station_dir() + "REFS", ec);
}

// A store loaded from the given refs.ini text (UTF-8, stored as Windows-1251).
inline void load_text(t_ref_buff& store, const std::string& text) {
    ilktest::write_bytes(refs_file(), to_cp1251(text));
    store.load();
}

} // namespace cfgtest
