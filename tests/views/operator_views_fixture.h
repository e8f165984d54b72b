#pragma once

#include "base/settings.h"
#include "platform/desktop_services.h"
#include "tests/structure/structure_fixture.h"

#include <QApplication>
#include <QSqlDatabase>

#include <atomic>
#include <cstdlib>

namespace ilktest {

// One application object for the whole test process, on the offscreen platform.
inline QApplication& operator_views_app() {
    static int argc = 1;
    static char name[] = "test_views";
    static char* argv[] = {name, nullptr};
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt SQL's list of connections is emptied when the application object ends: made first,
    // it outlives it at the process's exit.
    QSqlDatabase::connectionNames();
    static QApplication app(argc, argv);
    return app;
}

// A base that makes sure of the application object before any widget member is built.
struct qt_app_user {
    qt_app_user() { operator_views_app(); }
};

// Counts the tones instead of sounding them.
struct counting_beep : nxkit::i_beep {
    void beep(int frequency_hz, int duration_ms) override {
        ++count;
        last_frequency = frequency_hz;
        last_duration = duration_ms;
    }
    std::atomic<int> count{0};
    std::atomic<int> last_frequency{0};
    std::atomic<int> last_duration{0};
};

// The structure store of the structure tests, with an application object, a counted beep and
// the journal's settings at known values (beep without pause).
class operator_views_test : public struct_test {
protected:
    operator_views_test() {
        operator_views_app();
        nxkit::set_beep(&beeps);
        nxkit::settings_set_int("LOG", "BEEP_FREC", 1000);
        nxkit::settings_set_int("LOG", "BEEP_DUR", 20);
        nxkit::settings_set_int("LOG", "BEEP_SLEEP", 0);
        nxkit::settings_set_int("LOG", "MES_SIZE", 1000000);
        std::remove((station_dir() + "mes.log").c_str());
    }
    ~operator_views_test() override { nxkit::set_beep(nullptr); }

    // The changed source's signal goes through an update pass, as the shell would drive it.
    void deliver(const std::string& source_key, double value, bool control = true,
                 bool defined = true, bool invalid = false) {
        source(source_key).set(value, control, defined, invalid);
        source(source_key).time = nxkit::time_encode(2026, 12, 9, 14, 5, 6, 789);
        for (nxkit::t_ref* r : store->refs().under("K"))
            store->mark_changed(r->key());
        store->update_pass();
    }

    counting_beep beeps;
};

} // namespace ilktest
