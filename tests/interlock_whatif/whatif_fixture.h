#pragma once

// A live store on a copy of the demo station, fed as its controlled point's worker would feed
// it, and what-if engines made from it.

#include "base/nx_log.h"
#include "base/nx_time.h"
#include "config/t_ref_buff.h"
#include "interlock/whatif/whatif_engine.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "structure/structure_classes.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

namespace ilktest {

inline const std::string demo_folder = DEMO_FOLDER "/";

// Addresses of the demo controller's single points.
enum demo_address : int { q1 = 1, qs1 = 2, qs2 = 3, qsg1 = 4, ready = 7 };

inline std::unique_ptr<nxkit::t_ref_buff> make_live_store() {
    auto store = std::make_unique<nxkit::t_ref_buff>();
    nxkit::register_structure_classes(*store);
    nxkit::register_telemech_classes(*store);
    nxkit::register_all_scheme_classes(*store);
    store->load();
    return store;
}

// The point's single points as its worker delivers them, then one pass.
inline void deliver(nxkit::t_ref_buff& store, std::initializer_list<std::pair<int, bool>> points,
                    bool invalid = false) {
    auto* dev = dynamic_cast<nxkit::t_dev_104*>(store.get("D.0000"));
    if (dev == nullptr)
        throw std::runtime_error("the demo's controlled point is missing");
    for (auto [addr, on] : points)
        dev->put_single(static_cast<std::uint16_t>(addr),
                        nxkit::nx_tm_time::from_time(nxkit::time_now()),
                        static_cast<std::uint8_t>((on ? 1 : 0) | (invalid ? 0x80 : 0)));
    store.hand_over(*dev, store.generation());
    store.update_pass();
}

// The line in service as kp-sim starts it: breaker and disconnectors on, earthing switch off,
// every readiness signal on.
inline void deliver_line_in_service(nxkit::t_ref_buff& store) {
    deliver(store, {{q1, true}, {qs1, true}, {qs2, true}, {qsg1, false}, {ready, true}});
    deliver(store, {{16, true}, {17, true}, {18, true}, {19, true}});
}

class whatif_test : public testing::Test {
protected:
    whatif_test() {
        log_path = station_dir() + "whatif_test.log";
        nxkit::nx_log::main().close();
        std::remove(log_path.c_str());
        nxkit::nx_log::main().open(log_path, 10000000, 0);
        write_bytes(station_dir() + "refs.ini", read_bytes(demo_folder + "refs.ini"));
        live = make_live_store();
        deliver_line_in_service(*live);
    }
    ~whatif_test() override {
        live.reset();
        nxkit::nx_log::main().close();
    }

    std::unique_ptr<nxkit::t_ref_buff> live;
    std::string log_path;
};

} // namespace ilktest
