#pragma once

#include "base/cp1251.h"
#include "base/settings.h"
#include "config/interfaces.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/i_signal_source.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_ti.h"
#include "structure/t_struct_ts.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace ilktest {

// A device information object as the store and the signals see one: it feeds the signal key
// of its attribute "sk" and hands out whatever the test puts into it.
class fake_source : public nxkit::t_ref, public nxkit::i_feed, public nxkit::i_signal_source {
public:
    explicit fake_source(nxkit::t_ref_buff& store) : t_ref(store, nxkit::tp_dev_ts) {}

    void on_start(const nxkit::nx_xml_element& element) override {
        t_ref::on_start(element);
        if (element.name == "ref")
            signal_key = element.attr("sk");
    }
    std::string feed_signal_key() const override { return signal_key; }
    double current_value() override { return value; }
    nxkit::nx_time time_stamp() const override { return time; }
    bool control() const override { return has_control; }
    bool defined() const override { return is_defined; }
    bool invalid() const override { return is_invalid; }

    void set(double v, bool control = true, bool defined = true, bool invalid = false) {
        value = v;
        has_control = control;
        is_defined = defined;
        is_invalid = invalid;
    }

    std::string signal_key;
    double value = 0;
    nxkit::nx_time time = 0;
    bool has_control = false;
    bool is_defined = false;
    bool is_invalid = false;
};

// A fresh store with the structure classes, plain equipment and scheme roots and fake device
// objects (type 51); configurations are read from refs.ini text through the real loader.
class struct_test : public testing::Test {
protected:
    struct_test() { make_store(nullptr); }

    void make_store(nxkit::i_manual_input* manual_input) {
        store = std::make_unique<nxkit::t_ref_buff>();
        nxkit::register_structure_classes(*store, manual_input);
        for (int root : {nxkit::tp_dev_root, nxkit::tp_schema_root})
            store->register_class(root, [root](nxkit::t_ref_buff& s) {
                return std::make_unique<nxkit::t_ref_root>(s, root);
            });
        store->register_class(nxkit::tp_dev_ts, [](nxkit::t_ref_buff& s) {
            return std::make_unique<fake_source>(s);
        });
    }

    void SetUp() override { nxkit::settings_clear_section("HAND"); }

    // The station's refs.ini holding `body` (UTF-8, lines ended by CR LF) inside REFs.
    static void write_refs(const std::string& body) {
        write_bytes(station_dir() + "refs.ini",
                    nxkit::to_cp1251("<struct>\r\n<REFs version=\"1\">\r\n" + body +
                                     "</REFs>\r\n</struct>\r\n"));
    }

    void load(const std::string& body) {
        write_refs(body);
        store->load();
    }

    // The usual structure: channel 1, section 2, then `signals` inside the section.
    static std::string section_with(const std::string& signals) {
        return "<ref tp=\"40\">\r\n<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"42\" num=\"2\">\r\n" +
               signals + "</ref>\r\n</ref>\r\n</ref>\r\n";
    }

    static std::string equipment_with(const std::string& objects) {
        return "<ref tp=\"50\">\r\n" + objects + "</ref>\r\n";
    }

    template <class T> T& get(const std::string& key) {
        T* p = dynamic_cast<T*>(store->get(key));
        if (p == nullptr)
            throw std::runtime_error("no component of the expected class at " + key);
        return *p;
    }

    nxkit::t_struct_ts& ts(const std::string& key) { return get<nxkit::t_struct_ts>(key); }
    nxkit::t_struct_ti& ti(const std::string& key) { return get<nxkit::t_struct_ti>(key); }
    fake_source& source(const std::string& key) { return get<fake_source>(key); }

    std::unique_ptr<nxkit::t_ref_buff> store;
};

// Keys of the usual structure.
inline const std::string section_key = "K.0000.0000";
inline const std::string first_signal = "K.0000.0000.0000";
inline const std::string second_signal = "K.0000.0000.0001";
inline const std::string third_signal = "K.0000.0000.0002";

} // namespace ilktest
