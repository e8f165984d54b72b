// The demo station as scripts/run-demo ships it: its configuration loads with every class the
// workstation registers, its interlock table follows the apparatus, and its export fills the
// controller file, locally and through the controller's file service.
#ifdef DEMO_FOLDER

#include "base/cp1251.h"
#include "base/nx_log.h"
#include "base/nx_time.h"
#include "base/settings.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/export_interlock.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_root.h"
#include "interlock/t_ilk_tu.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "structure/structure_classes.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"
#include "tests/support/test_support.h"

#ifdef CONTROLLER_SIM_BINARY
#include "tests/interlock/controller_sim_process.h"
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace nxkit;
using namespace ilktest;

namespace {

const std::string demo_folder = DEMO_FOLDER "/";
const std::string root_key = "S.0000";
const std::string rows_key = "S.0000.0000.0001";
const char* const caption = "Экспорт в conf.ini";
const char* const caption_with_controller = "Экспорт в conf.ini с загрузкой в контроллер";

// Addresses of the demo controller's single points.
enum demo_address : int { q1 = 1, qs1 = 2, qs2 = 3, qsg1 = 4, ready = 7 };
// The readiness signal of each row, in row order.
const int row_ready[] = {16, 17, 18, 19};

// What the export appends to the demo's conf.ini: rows Q1 (on and off conditions), QS1, QS2
// (both telecontrol signals each) and QSG1 (remote, then from the drive). With ".MEK=1 1001"
// an index is the object's address.
const std::string exported_block = "$ILK=1 3 8 1 0 5 7 1 129 4 129\r\n"
                                   "$ILK=1 2 9 1 0 5 7 1 1\r\n"
                                   "$ILK=2 3 10 1 0 20 7 1 129 4 129\r\n"
                                   "$ILK=2 3 11 1 0 20 7 1 129 4 129\r\n"
                                   "$ILK=3 3 12 1 0 20 7 1 129 4 129\r\n"
                                   "$ILK=3 3 13 1 0 20 7 1 129 4 129\r\n"
                                   "$ILK=4 3 14 1 0 20 7 2 129 3 129\r\n"
                                   "$ILK=4 3 15 1 0 20 7 2 129 3 129\r\n"
                                   "$ILK=4 3 0 0 0 20 7 2 129 3 129\r\n";

// A fresh store with every class the workstation registers, on a copy of the demo station.
class demo_station : public testing::Test {
protected:
    demo_station() {
        settings_set_int("CONF", "ILKK", 0);
        log_path = station_dir() + "demo_station.log";
        nx_log::main().close();
        std::remove(log_path.c_str());
        nx_log::main().open(log_path, 10000000, 0);

        std::filesystem::remove_all(export_folder());
        write_bytes(station_dir() + "refs.ini", read_bytes(demo_folder + "refs.ini"));
        write_bytes(conf_path(), demo_conf());

        store = std::make_unique<t_ref_buff>();
        register_structure_classes(*store);
        register_telemech_classes(*store);
        register_all_scheme_classes(*store);
        store->load();
    }

    ~demo_station() override {
        store.reset();
        nx_log::main().close();
    }

    static std::string demo_conf() { return read_bytes(demo_folder + "CONF_INI/conf.ini"); }
    static std::string conf_path() { return export_folder() + "conf.ini"; }

    template <class T> T& get(const std::string& key) {
        T* p = dynamic_cast<T*>(store->get(key));
        if (p == nullptr)
            throw std::runtime_error("no component of the expected class at " + key);
        return *p;
    }

    t_ilk_tu& row(int n) { return get<t_ilk_tu>(rows_key + "." + key_part(n)); }
    t_ilk_or& condition(int r, int n) {
        return get<t_ilk_or>(rows_key + "." + key_part(r) + "." + key_part(n));
    }

    // The controlled point's single points as its worker would deliver them, then a pass.
    void deliver(std::initializer_list<std::pair<int, bool>> points) {
        auto& dev = get<t_dev_104>("D.0000");
        for (auto [addr, on] : points)
            dev.put_single(static_cast<std::uint16_t>(addr), nx_tm_time::from_time(time_now()),
                           static_cast<std::uint8_t>(on ? 1 : 0));
        store->hand_over(dev, store->generation());
        store->update_pass();
    }

    std::string log_text() { return from_cp1251(read_bytes(log_path)); }

    std::unique_ptr<t_ref_buff> store;
    std::string log_path;
};

using DemoStation = demo_station;

TEST_F(DemoStation, LoadsWithoutComplaintAndIsWrittenBackByteForByte) {
    EXPECT_EQ(log_text().find(" | ERR | "), std::string::npos) << log_text();
    EXPECT_EQ(log_text().find(" | WAR | "), std::string::npos) << log_text();
    EXPECT_EQ(get<t_ilk_root>(root_key).full_path_text(), "Схемы / Блокировка ОРУ-110");
    EXPECT_EQ(get<t_ilk_root>(root_key).export_file(), "conf.ini");
    // Any attribute the classes do not keep, or keep differently, would show here.
    store->save();
    EXPECT_EQ(read_bytes(station_dir() + "refs.ini"), read_bytes(demo_folder + "refs.ini"));
}

TEST_F(DemoStation, TableFollowsTheApparatus) {
    // The dispatcher names the scheme's elements carry, so the table reaches the scheme.
    const char* names[] = {"Q1", "QS1", "QS2", "QSG1"};
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(row(r).disp_name(), names[r]);
    // Q1's conditions require its own state, so they are for switching on and off.
    EXPECT_EQ(condition(0, 0).direction(), t_ilk_or::direction_on);
    EXPECT_EQ(condition(0, 1).direction(), t_ilk_or::direction_off);
    EXPECT_EQ(condition(1, 0).direction(), t_ilk_or::direction_none);

    // Each row is enabled by its own readiness signal (or the cell's), never by the position
    // of its apparatus.
    deliver({{q1, true}, {qs1, true}, {qs2, true}, {qsg1, true}, {ready, false}});
    for (int r = 0; r < 4; ++r)
        deliver({{row_ready[r], false}});
    for (int r = 0; r < 4; ++r)
        EXPECT_FALSE(row(r).enabled()) << r;
    deliver({{row_ready[1], true}});
    EXPECT_FALSE(row(0).enabled());
    EXPECT_TRUE(row(1).enabled());

    // As kp-sim starts: the line in service, the earthing switch off, every row ready.
    deliver({{q1, true}, {qs1, true}, {qs2, true}, {qsg1, false}, {ready, true}});
    for (int r = 0; r < 4; ++r)
        deliver({{row_ready[r], true}});
    for (int r = 0; r < 4; ++r) {
        EXPECT_TRUE(row(r).enabled()) << r;
        EXPECT_TRUE(row(r).has_flag(flag_control)) << r;
    }
    EXPECT_FALSE(condition(0, 0).permits());
    EXPECT_TRUE(condition(0, 1).permits());
    EXPECT_TRUE(condition(0, 1).has_flag(flag_control));
    EXPECT_TRUE(condition(0, 1).has_flag(flag_defined));
    EXPECT_FALSE(condition(1, 0).permits());
    EXPECT_FALSE(condition(2, 0).permits());
    EXPECT_FALSE(condition(3, 0).permits());
    EXPECT_FALSE(condition(3, 1).permits());

    // Breaker off: the disconnectors may move, the earthing switch not yet.
    deliver({{q1, false}});
    EXPECT_TRUE(condition(0, 0).permits());
    EXPECT_FALSE(condition(0, 1).permits());
    EXPECT_TRUE(condition(1, 0).permits());
    EXPECT_TRUE(condition(2, 0).permits());
    EXPECT_FALSE(condition(3, 0).permits());

    // Both disconnectors open: earthing is allowed, from afar and at the drive.
    deliver({{qs1, false}, {qs2, false}});
    EXPECT_TRUE(condition(3, 0).permits());
    EXPECT_TRUE(condition(3, 1).permits());

    // Earthed: nothing else may close.
    deliver({{qsg1, true}});
    EXPECT_FALSE(condition(0, 0).permits());
    EXPECT_FALSE(condition(1, 0).permits());
    EXPECT_FALSE(condition(2, 0).permits());
    EXPECT_TRUE(condition(3, 0).permits());
}

TEST_F(DemoStation, ExportFillsTheControllerFile) {
    scripted_prompt prompt;
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    ASSERT_TRUE(export_interlock(*store, root_key, caption, false));
    ASSERT_EQ(prompt.seen().size(), 1u);
    EXPECT_EQ(prompt.seen()[0].text, "Экспортировать конфигурацию блокировки:\r\nСхемы / "
                                     "Блокировка ОРУ-110\r\n\r\nв файл:\r\n" +
                                         conf_path() + " ?");
    // The row of QS1: one line per telecontrol signal (ВКЛ 10, ОТКЛ 11), each with the
    // breaker and the earthing switch required off (single points 1 and 4, inverted).
    std::string file = from_cp1251(read_bytes(conf_path()));
    std::vector<std::string> qs1_lines;
    for (std::size_t at = 0; (at = file.find("\r\n$ILK=2 ", at)) != std::string::npos; at += 2)
        qs1_lines.push_back(file.substr(at + 2, file.find("\r\n", at + 2) - at - 2));
    EXPECT_EQ(qs1_lines, (std::vector<std::string>{"$ILK=2 3 10 1 0 20 7 1 129 4 129",
                                                   "$ILK=2 3 11 1 0 20 7 1 129 4 129"}))
        << file;
    // Everything before the block stays as it was.
    EXPECT_EQ(read_bytes(conf_path()), demo_conf() + to_cp1251(exported_block));

    // A second export replaces the block instead of adding another.
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    ASSERT_TRUE(export_interlock(*store, root_key, caption, false));
    EXPECT_EQ(read_bytes(conf_path()), demo_conf() + to_cp1251(exported_block));
    EXPECT_EQ(prompt.pending(), 0u);
}

#ifdef CONTROLLER_SIM_BINARY
TEST_F(DemoStation, ExportWithTheControllerLoadsItsFile) {
    // The controller holds the demo's file; the station has no copy yet.
    temp_dir controller;
    write_bytes(controller.path() + "conf.ini", demo_conf());
    std::filesystem::remove(conf_path());
    controller_sim_process sim({"--port", "0", "--dir", controller.path()});
    transfer_options options;
    options.port = sim.port();
    options.receive_timeout_ms = 2000;
    options.read_answer_timeout_ms = 2000;

    scripted_prompt prompt;
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    ASSERT_TRUE(export_interlock(*store, root_key, caption_with_controller, true, options));
    ASSERT_EQ(prompt.seen().size(), 1u);
    EXPECT_EQ(prompt.seen()[0].caption, caption_with_controller);
    const std::string expected = demo_conf() + to_cp1251(exported_block);
    EXPECT_EQ(read_bytes(conf_path()), expected);
    EXPECT_TRUE(sim.wait_line("stored conf.ini " + std::to_string(expected.size()), 5000));
    EXPECT_EQ(read_bytes(controller.path() + "conf.ini"), expected);
}

// With the review the engineer sees the controller's file against the new one; declining it
// writes nothing and sends nothing to the controller.
TEST_F(DemoStation, DecliningTheReviewSendsNothingToTheController) {
    ilktest::temp_dir controller;
    write_bytes(controller.path() + "conf.ini", demo_conf());
    std::filesystem::remove(conf_path());
    controller_sim_process sim({"--port", "0", "--dir", controller.path()});
    transfer_options options;
    options.port = sim.port();
    options.receive_timeout_ms = 2000;
    options.read_answer_timeout_ms = 2000;
    options.review = true;

    scripted_prompt prompt;
    prompt.expect("Изменения в файле", answer_no);
    EXPECT_FALSE(export_interlock(*store, root_key, caption_with_controller, true, options));
    ASSERT_EQ(prompt.seen().size(), 1u);
    const std::string& text = prompt.seen()[0].text;
    EXPECT_EQ(text.rfind("Изменения в файле " + conf_path() + " (из контроллера):\r\n\r\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("+ ILK $ILK=1 3 8 1 0 5 7 1 129 4 129\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("+ ILK $ILK=4 3 0 0 0 20 7 2 129 3 129\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nЗагрузить новый файл в контроллер ?"), std::string::npos);
    EXPECT_FALSE(sim.wait_line("stored", 1000));
    EXPECT_EQ(read_bytes(controller.path() + "conf.ini"), demo_conf());
    // The local copy is the controller's file as it was fetched, not the new one.
    EXPECT_EQ(read_bytes(conf_path()), demo_conf());
}
#endif

} // namespace

#endif
