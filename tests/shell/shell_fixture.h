#pragma once

#include "base/cp1251.h"
#include "base/nx_log.h"
#include "base/settings.h"
#include "config/t_ref_buff.h"
#include "platform/desktop_services.h"
#include "shell/main_window.h"
#include "tests/support/test_support.h"
#include "ui/ui_resources.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace shelltest {

// One application object for the whole test process (offscreen unless told otherwise).
inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_shell";
    static char* argv[] = {name, nullptr};
    static QApplication* the_app = [] {
        qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty()
                                       ? QByteArray("offscreen")
                                       : qgetenv("QT_QPA_PLATFORM"));
        return new QApplication(argc, argv);
    }();
    return *the_app;
}

// The edit-mode keys, pressed by the test.
class fake_hot_key : public nxkit::i_hot_key {
public:
    bool grant = true;
    std::string sequence;
    std::function<void()> pressed;
    bool register_key(const std::string& seq, std::function<void()> on_press) override {
        if (!grant)
            return false;
        sequence = seq;
        pressed = std::move(on_press);
        return true;
    }
    void unregister_key() override { pressed = nullptr; }
    void press() {
        ASSERT_TRUE(pressed) << "hot key not registered";
        pressed();
    }
};

// A fresh station for every test: no settings, no configuration, no backups, an empty log.
class shell_test : public testing::Test {
protected:
    void SetUp() override {
        app();
        namespace fs = std::filesystem;
        nxkit::nx_log::main().close();
        std::error_code ec;
        for (const char* name : {"ilkstation.ini", "refs.ini", "ilkstation.log"})
            fs::remove(dir() + name, ec);
        fs::remove_all(dir() + "REFS", ec);
        nxkit::nx_log::main().open("", 1000000, 0);
    }

    void TearDown() override {
        window.reset();
        resources.reset();
    }

    static std::string dir() { return ilktest::station_dir(); }
    static std::string settings() {
        return nxkit::from_cp1251(ilktest::read_bytes(nxkit::settings_path()));
    }
    static std::string log_text() {
        return nxkit::from_cp1251(ilktest::read_bytes(dir() + "ilkstation.log"));
    }
    void write_settings(const std::string& text) {
        ilktest::write_bytes(nxkit::settings_path(), nxkit::to_cp1251(text));
    }

    // Builds the window and its contents as start-up does, without showing it.
    void open_window() {
        resources = nxkit::init_ui_resources();
        window = std::make_unique<nxkit::nx_dlg_mod>(store, *resources, -1, &hot_key);
        window->create_contents();
    }

    QAction* button(nxkit::toolbar_button b) { return window->button(b); }

    ilktest::scripted_prompt prompt;
    fake_hot_key hot_key;
    nxkit::t_ref_buff store;
    std::unique_ptr<nxkit::ui_resources> resources;
    std::unique_ptr<nxkit::nx_dlg_mod> window;
};

} // namespace shelltest
