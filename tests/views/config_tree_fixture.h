#pragma once

#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "config/config_classes.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref.h"
#include "config/t_ref_buff.h"
#include "platform/desktop_services.h"
#include "tests/support/test_support.h"
#include "views/nx_ref_editor.h"
#include "views/nx_view_tree.h"

#include <QApplication>
#include <QTreeView>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace treetest {

using namespace nxkit;

// One application object for the whole test process, on the offscreen platform.
inline void ensure_application() {
    if (QApplication::instance() != nullptr)
        return;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "test_views";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// A component with one row of every editor kind:
// 0 title (text), 1 "Число" (text, refuses what is not a number), 2 "Режим" (list),
// 3 "Адрес" (list or text), 4 "Схема" (button), 5 "Код" (read-only).
// Commands: "Проверить" (available) and "Сбросить" (greyed). Attribute "sk" is its key.
class probe : public t_ref, public i_feed {
public:
    explicit probe(t_ref_buff& store) : t_ref(store, tp_dev_104) {}

    void on_start(const nx_xml_element& e) override {
        t_ref::on_start(e);
        if (e.name != "ref")
            return;
        amount = e.attr("n");
        mode = e.attr("m");
        address = e.attr("a");
        signal = e.attr("sk");
    }
    void write(nx_xml_writer& writer) override;
    bool set_parameter(int index, const std::string& text) override {
        switch (index) {
        case 1:
            if (text.find_first_not_of("0123456789") != std::string::npos)
                throw nx_exception("Значение '" + text + "' не число");
            amount = text;
            return true;
        case 2:
            mode = text;
            return true;
        case 3:
            address = text;
            return true;
        case 4:
        case 5:
            return true;
        default:
            return t_ref::set_parameter(index, text);
        }
    }
    bool get_parameter(int index, std::string& value, std::string& name) override {
        switch (index) {
        case 1:
            name = "Число";
            value = amount;
            return true;
        case 2:
            name = "Режим";
            value = mode;
            return true;
        case 3:
            name = "Адрес";
            value = address;
            return true;
        case 4:
            name = "Схема";
            value = "...";
            return true;
        case 5:
            name = "Код";
            value = "X" + std::to_string(number());
            return true;
        default:
            return t_ref::get_parameter(index, value, name);
        }
    }
    int parameter_editor(int index, choice_list& choices) override {
        switch (index) {
        case 2:
            choices = {{" один", 1}, {" два", 2}};
            return editor_choice_only;
        case 3:
            choices = {{"10.0.0.1", 1}, {"10.0.0.2", 2}};
            return editor_choice_or_text;
        case 4:
            return editor_button;
        case 5:
            return editor_read_only;
        default:
            return editor_free_text;
        }
    }
    bool on_parameter_enter(int index) override {
        entered.push_back(index);
        title_before_enter = title();
        return true;
    }
    int command(bool query, int index, std::string& arg) override {
        if (index > 1)
            return 0;
        if (query) {
            arg = index == 0 ? "Проверить" : "Сбросить";
            return index == 0 ? 1 : 2;
        }
        ++commands_run;
        return 1;
    }
    std::string feed_signal_key() const override { return signal; }
    void init() override {
        ++inits;
        t_ref::init();
    }
    std::string amount;
    std::string mode;
    std::string address;
    std::string signal;
    std::vector<int> entered;
    std::string title_before_enter;
    int commands_run = 0;
    int inits = 0;
};

// The clipboard of a test: plain text in memory.
class memory_clipboard : public i_clipboard {
public:
    std::string text() override { return text_; }
    void set_text(const std::string& text) override { text_ = text; }

private:
    std::string text_;
};

void register_tree_classes(t_ref_buff& store);

// A store on a temporary refs.ini, a tree control and its view, an editor panel bound to it.
class tree_test : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Loads refs.ini text (the REFs contents, UTF-8).
    void load(const std::string& refs);
    // The standard station: D with a folder of five probes and a second folder, K and S.
    void load_station();
    void pass() { store.update_pass(); }
    probe& probe_at(const std::string& key) { return dynamic_cast<probe&>(store.find(key)); }
    std::vector<std::string> child_texts(const std::string& key);

    t_ref_buff store;
    ilktest::scripted_prompt prompt;
    memory_clipboard clipboard;
    std::unique_ptr<nx_ref_editor> editor;
    std::unique_ptr<nx_view_tree> view;
    int saves = 0;
    std::string log_path;
};

std::string log_text(const std::string& path);

} // namespace treetest
