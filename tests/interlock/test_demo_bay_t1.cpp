// Bay Т-1 of the demo station: its interlock table follows its apparatus by the usual rules
// (a disconnector moves only with the breaker open and closes only with the earthing switches
// of its node open; an earthing switch closes only with both disconnectors open), and its
// export fills the bay controller's own file.
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

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

using namespace nxkit;
using namespace ilktest;

namespace {

const std::string demo_folder = DEMO_FOLDER "/";
const std::string root_key = "S.0002";
const std::string rows_key = "S.0002.0000.0001";

// Addresses of the bay's single points in the demo's controlled point.
enum address : int { q5 = 21, qs5 = 22, qs6 = 23, qsg5 = 24, qsg6 = 25, bay_ready = 27 };
const int row_ready[] = {38, 39, 40, 41, 42};
enum row_index : int { row_q5, row_qs5, row_qs6, row_qsg5, row_qsg6 };
enum { switch_on = 0, switch_off = 1 };

// Rows Q5 (on: itself, QSG5 and QSG6 off; off: itself on), QS5 and QS6 (on: itself, Q5 and
// the earthing switch of its node off; off: itself on and Q5 off), QSG5 and QSG6 (QS5 and QS6
// off, remote for each telecontrol signal, then from the drive). Addresses are the objects'.
const std::string exported_block = "$ILK=5 4 28 1 0 5 27 21 129 24 129 25 129\r\n"
                                   "$ILK=5 2 29 1 0 5 27 21 1\r\n"
                                   "$ILK=6 4 30 1 0 20 27 22 129 21 129 24 129\r\n"
                                   "$ILK=6 3 31 1 0 20 27 22 1 21 129\r\n"
                                   "$ILK=7 4 32 1 0 20 27 23 129 21 129 25 129\r\n"
                                   "$ILK=7 3 33 1 0 20 27 23 1 21 129\r\n"
                                   "$ILK=8 3 34 1 0 20 27 22 129 23 129\r\n"
                                   "$ILK=8 3 35 1 0 20 27 22 129 23 129\r\n"
                                   "$ILK=8 3 0 0 0 20 27 22 129 23 129\r\n"
                                   "$ILK=9 3 36 1 0 20 27 22 129 23 129\r\n"
                                   "$ILK=9 3 37 1 0 20 27 22 129 23 129\r\n"
                                   "$ILK=9 3 0 0 0 20 27 22 129 23 129\r\n";

class demo_bay_t1 : public testing::Test {
protected:
    demo_bay_t1() {
        settings_set_int("CONF", "ILKK", 0);
        log_path = station_dir() + "demo_bay_t1.log";
        nx_log::main().close();
        std::remove(log_path.c_str());
        nx_log::main().open(log_path, 10000000, 0);
        std::filesystem::remove_all(export_folder());
        write_bytes(station_dir() + "refs.ini", read_bytes(demo_folder + "refs.ini"));
        write_bytes(export_folder() + "conf_t1.ini", bay_conf());
        store = std::make_unique<t_ref_buff>();
        register_structure_classes(*store);
        register_telemech_classes(*store);
        register_all_scheme_classes(*store);
        store->load();
    }
    ~demo_bay_t1() override {
        store.reset();
        nx_log::main().close();
    }

    static std::string bay_conf() { return read_bytes(demo_folder + "CONF_INI/conf_t1.ini"); }

    template <class T> T& get(const std::string& key) {
        T* p = dynamic_cast<T*>(store->get(key));
        if (p == nullptr)
            throw std::runtime_error("no component of the expected class at " + key);
        return *p;
    }
    t_ilk_tu& row(int n) { return get<t_ilk_tu>(rows_key + "." + key_part(n)); }
    bool permits(int r, int n) {
        return get<t_ilk_or>(rows_key + "." + key_part(r) + "." + key_part(n)).permits();
    }

    void deliver(std::initializer_list<std::pair<int, bool>> points) {
        auto& dev = get<t_dev_104>("D.0000");
        for (auto [addr, on] : points)
            dev.put_single(static_cast<std::uint16_t>(addr), nx_tm_time::from_time(time_now()),
                           static_cast<std::uint8_t>(on ? 1 : 0));
        store->hand_over(dev, store->generation());
        store->update_pass();
    }

    std::unique_ptr<t_ref_buff> store;
    std::string log_path;
};

using DemoBayT1 = demo_bay_t1;

TEST_F(DemoBayT1, TableFollowsTheUsualRules) {
    EXPECT_EQ(get<t_ilk_root>(root_key).full_path_text(), "Схемы / Блокировка Т-1");
    EXPECT_EQ(get<t_ilk_root>(root_key).export_file(), "conf_t1.ini");
    const char* names[] = {"Q5", "QS5", "QS6", "QSG5", "QSG6"};
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(row(r).disp_name(), names[r]);
    EXPECT_EQ(get<t_ilk_or>(rows_key + ".0001.0000").direction(), t_ilk_or::direction_on);
    EXPECT_EQ(get<t_ilk_or>(rows_key + ".0001.0001").direction(), t_ilk_or::direction_off);

    // As kp-sim starts: the transformer in service, the earthing switches off, all ready.
    deliver(
        {{q5, true}, {qs5, true}, {qs6, true}, {qsg5, false}, {qsg6, false}, {bay_ready, true}});
    for (int r : row_ready)
        deliver({{r, true}});
    for (int r = 0; r < 5; ++r)
        EXPECT_TRUE(row(r).enabled()) << r;
    EXPECT_FALSE(permits(row_q5, switch_on));
    EXPECT_TRUE(permits(row_q5, switch_off));
    // Under load no disconnector moves and nothing is earthed.
    EXPECT_FALSE(permits(row_qs5, switch_off));
    EXPECT_FALSE(permits(row_qs6, switch_off));
    EXPECT_FALSE(permits(row_qsg5, 0));
    EXPECT_FALSE(permits(row_qsg6, 0));

    // Breaker open: the disconnectors may open; earthing still waits for them.
    deliver({{q5, false}});
    EXPECT_TRUE(permits(row_q5, switch_on));
    EXPECT_TRUE(permits(row_qs5, switch_off));
    EXPECT_TRUE(permits(row_qs6, switch_off));
    EXPECT_FALSE(permits(row_qsg5, 0));
    deliver({{qs5, false}});
    EXPECT_FALSE(permits(row_qsg5, 0)) << "QS6 still closed";
    EXPECT_TRUE(permits(row_qs5, switch_on));

    // Both disconnectors open: both earthing switches may close, from afar and at the drive.
    deliver({{qs6, false}});
    EXPECT_TRUE(permits(row_qsg5, 0));
    EXPECT_TRUE(permits(row_qsg5, 1));
    EXPECT_TRUE(permits(row_qsg6, 0));

    // QSG5 earthed: QS5 and the breaker may not close; QS6, whose node QSG5 is not in, may.
    deliver({{qsg5, true}});
    EXPECT_FALSE(permits(row_qs5, switch_on));
    EXPECT_FALSE(permits(row_q5, switch_on));
    EXPECT_TRUE(permits(row_qs6, switch_on));
    deliver({{qsg6, true}});
    EXPECT_FALSE(permits(row_qs6, switch_on));

    // A disconnector never moves with the breaker closed.
    deliver({{qsg5, false}, {qsg6, false}, {q5, true}});
    EXPECT_FALSE(permits(row_qs5, switch_on));
    EXPECT_FALSE(permits(row_qs6, switch_on));
}

TEST_F(DemoBayT1, ExportFillsTheBayControllerFile) {
    scripted_prompt prompt;
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    ASSERT_TRUE(export_interlock(*store, root_key, "Экспорт в conf.ini", false));
    EXPECT_EQ(read_bytes(export_folder() + "conf_t1.ini"), bay_conf() + to_cp1251(exported_block));
    EXPECT_FALSE(std::filesystem::exists(export_folder() + "conf.ini"));
}

} // namespace

#endif
