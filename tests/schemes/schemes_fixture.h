#pragma once

#include "base/cp1251.h"
#include "base/nx_log.h"
#include "base/settings.h"
#include "config/config_classes.h"
#include "config/interfaces.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/scheme_classes.h"
#include "schemes/t_el_disp.h"
#include "schemes/t_el_expr.h"
#include "schemes/t_el_onof.h"
#include "schemes/t_element.h"
#include "schemes/t_schema_modus50.h"
#include "structure/i_signal_source.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_ts.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace ilktest {

// A device information object feeding the signal key of its attribute "sk" with whatever the
// test puts into it.
class scheme_source : public nxkit::t_ref, public nxkit::i_feed, public nxkit::i_signal_source {
public:
    explicit scheme_source(nxkit::t_ref_buff& store) : t_ref(store, nxkit::tp_dev_ts) {}

    void on_start(const nxkit::nx_xml_element& element) override {
        t_ref::on_start(element);
        if (element.name == "ref")
            signal_key = element.attr("sk");
    }
    std::string feed_signal_key() const override { return signal_key; }
    double current_value() override { return value; }
    nxkit::nx_time time_stamp() const override { return 0; }
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
    bool has_control = false;
    bool is_defined = false;
    bool is_invalid = false;
};

// The host's part in the tests: computes every element the update pass reports changed.
class element_host : public nxkit::i_observer {
public:
    explicit element_host(nxkit::t_ref_buff& s) : store(s) { store.subscribe_subtree("S", this); }
    ~element_host() override { store.unsubscribe_subtree("", this); }

    void on_changed(const std::string& key) override {
        if (auto* element = dynamic_cast<nxkit::t_element*>(store.get(key))) {
            element->compute(properties[key], styles[key]);
            ++computed[key];
        }
    }

    nxkit::t_ref_buff& store;
    std::map<std::string, nxkit::property_map> properties;
    std::map<std::string, nxkit::style_map> styles;
    std::map<std::string, int> computed;
};

// A fresh store with the configuration, structure and scheme classes and fake device objects;
// configurations are read from refs.ini text through the real loader.
class scheme_test : public testing::Test {
protected:
    scheme_test() {
        store = std::make_unique<nxkit::t_ref_buff>();
        nxkit::register_config_classes(*store);
        nxkit::register_structure_classes(*store);
        nxkit::register_schemes_classes(*store);
        store->register_class(nxkit::tp_dev_root, [](nxkit::t_ref_buff& s) {
            return std::make_unique<nxkit::t_ref_root>(s, nxkit::tp_dev_root);
        });
        store->register_class(nxkit::tp_dev_ts, [](nxkit::t_ref_buff& s) {
            return std::make_unique<scheme_source>(s);
        });
        nxkit::settings_clear_section("HAND");
    }

    // Loads refs.ini holding `body` (UTF-8, CR LF) inside REFs.
    void load(const std::string& body) {
        write_bytes(station_dir() + "refs.ini",
                    nxkit::to_cp1251("<struct>\r\n<REFs version=\"1\">\r\n" + body +
                                     "</REFs>\r\n</struct>\r\n"));
        store->load();
    }

    // Equipment with one fake object per signal key.
    static std::string objects(std::initializer_list<const char*> keys) {
        std::string text = "<ref tp=\"50\">\r\n";
        for (const char* k : keys)
            text += std::string("<ref tp=\"51\" sk=\"") + k + "\"/>\r\n";
        return text + "</ref>\r\n";
    }

    // Channel 1, section 2 with `signals` inside.
    static std::string section(const std::string& signals) {
        return "<ref tp=\"40\">\r\n<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"42\" num=\"2\">\r\n" +
               signals + "</ref>\r\n</ref>\r\n</ref>\r\n";
    }

    // Root, scheme "ps1", page 1 and one group holding `elements`.
    static std::string scheme(const std::string& elements, const std::string& root_attrs = {}) {
        return "<ref tp=\"80\"" + root_attrs +
               ">\r\n<ref tp=\"81\" name=\"ps1\">\r\n<ref tp=\"85\" rtid=\"1\" disp=\"Стр1\">\r\n"
               "<ref tp=\"86\" title=\"выключатель\">\r\n" +
               elements + "</ref>\r\n</ref>\r\n</ref>\r\n</ref>\r\n";
    }

    template <class T> T& get(const std::string& key) {
        T* p = dynamic_cast<T*>(store->get(key));
        if (p == nullptr)
            throw std::runtime_error("no component of the expected class at " + key);
        return *p;
    }

    nxkit::t_element& element(const std::string& key = first_element) {
        return get<nxkit::t_element>(key);
    }
    scheme_source& source(const std::string& key) { return get<scheme_source>(key); }

    // Computes an element afresh, as the host does after an update pass.
    nxkit::style_map styles_of(const std::string& key = first_element) {
        nxkit::t_element& e = element(key);
        e.set_flag(false, nxkit::flag_evaluated);
        nxkit::property_map properties;
        nxkit::style_map styles;
        e.compute(properties, styles);
        last_properties = properties;
        return styles;
    }

    // The style names that are on, joined with ',' in name order.
    nxkit::property_map last_properties;
    std::string on_styles(const std::string& key = first_element) {
        std::string text;
        for (const auto& [name, on] : styles_of(key))
            if (on)
                text += (text.empty() ? "" : ",") + name;
        return text;
    }

    std::unique_ptr<nxkit::t_ref_buff> store;

public:
    static inline const std::string scheme_key = "S.0000";
    static inline const std::string group_key = "S.0000.0000.0000";
    static inline const std::string first_element = "S.0000.0000.0000.0000";
    static inline const std::string second_element = "S.0000.0000.0000.0001";
    static inline const std::string first_rule = "S.0000.0000.0000.0000.0000";
    static inline const std::string second_rule = "S.0000.0000.0000.0000.0001";
};

// The program log of the test process, opened afresh in the station folder.
inline std::string open_scheme_log() {
    std::string path = station_dir() + "schemes_test.log";
    nxkit::nx_log::main().close();
    std::remove(path.c_str());
    nxkit::nx_log::main().open(path, 10000000, 0);
    return path;
}

} // namespace ilktest
