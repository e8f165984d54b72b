// The what-if engine on the demo station: it starts from the live values, follows what is set
// through the same evaluation as live operation, and never changes the live station.

#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/settings.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "interlock/controller_transfer.h"
#include "interlock/export_interlock.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/whatif/switching_program.h"
#include "interlock/whatif/whatif_state.h"
#include "schemes/ilk/t_ilk.h"
#include "schemes/t_element.h"
#include "structure/t_struct_vl.h"
#include "tests/interlock_whatif/whatif_fixture.h"

#include <filesystem>

using namespace nxkit;
using namespace ilktest;

namespace {

const std::string rows_key = "S.0000.0000.0001";

t_ilk_or& condition(t_ref_buff& store, int row, int n) {
    auto* c =
        dynamic_cast<t_ilk_or*>(store.get(rows_key + "." + key_part(row) + "." + key_part(n)));
    if (c == nullptr)
        throw std::runtime_error("no condition there");
    return *c;
}

// The projected interlocks under the scheme element with this dispatcher name.
std::vector<t_ilk*> interlocks_of(t_ref_buff& store, const std::string& name) {
    std::vector<t_ilk*> found;
    for (t_ref* r : store.refs().under("S"))
        if (auto* ilk = dynamic_cast<t_ilk*>(r))
            if (auto* e = dynamic_cast<t_element*>(ilk->parent());
                e != nullptr && e->disp_name() == name)
                found.push_back(ilk);
    return found;
}

// Flags of every component by key, without the per-pass cache bit.
std::map<std::string, std::uint32_t> all_flags(t_ref_buff& store) {
    std::map<std::string, std::uint32_t> flags;
    for (t_ref* r : store.refs().under(""))
        flags[r->key()] = r->flags() & ~static_cast<std::uint32_t>(flag_evaluated);
    return flags;
}

std::string file_or_none(const std::string& path) {
    return std::filesystem::exists(path) ? read_bytes(path) : std::string("<none>");
}

} // namespace

using WhatIf = whatif_test;

TEST_F(WhatIf, StartsFromTheLiveValuesAndEvaluatesTheTablesAsLiveDoes) {
    auto engine = whatif_engine::from_live(*live);
    t_ref_buff& copy = engine->store();
    EXPECT_TRUE(copy.detached());
    // No equipment: nothing in the copy can connect to anything.
    EXPECT_TRUE(copy.refs().under("D").empty());
    EXPECT_EQ(engine->values(), whatif_engine::read_values(*live));
    EXPECT_EQ(engine->values().at("s1_1_1"), (whatif_signal{1, true, true, false, false}));

    // The same verdicts as the live tables give for the same values.
    for (auto [row, n] : {std::pair{0, 0}, {0, 1}, {1, 0}, {2, 0}, {3, 0}, {3, 1}})
        EXPECT_EQ(condition(copy, row, n).permits(), condition(*live, row, n).permits())
            << row << "/" << n;
    EXPECT_TRUE(condition(copy, 0, 1).permits());
    EXPECT_FALSE(condition(copy, 1, 0).permits());

    // The breaker opened in the copy: the disconnectors may move there, live they may not.
    whatif_apparatus q1_apparatus;
    ASSERT_TRUE(engine->find_apparatus("Q1", q1_apparatus));
    EXPECT_EQ(q1_apparatus.open_contacts, std::vector<std::string>{"s1_1_1"});
    engine->set_position(q1_apparatus, false);
    engine->apply();
    EXPECT_TRUE(condition(copy, 1, 0).permits());
    EXPECT_TRUE(condition(copy, 2, 0).permits());
    EXPECT_FALSE(condition(*live, 1, 0).permits());
    // A signal computed from others follows: "!s1_1_1 and !s1_1_4".
    EXPECT_EQ(engine->values().at("s1_1_10").value, 1);
    EXPECT_EQ(whatif_engine::read_values(*live).at("s1_1_10").value, 0);

    // The projected interlocks of the scheme follow too.
    std::vector<t_ilk*> qs1 = interlocks_of(copy, "QS1");
    ASSERT_EQ(qs1.size(), 1u);
    style_map styles;
    styles_by_counter by_counter;
    EXPECT_TRUE(qs1[0]->evaluate(by_counter));
    engine->set_value("s1_1_1", 1);
    engine->apply();
    by_counter.clear();
    EXPECT_FALSE(qs1[0]->evaluate(by_counter));
    EXPECT_EQ(by_counter[qs1[0]->element_rtid()].count(style::ilk_no), 1u);
}

TEST_F(WhatIf, QualitySetByHandRefusesAsLiveQualityDoes) {
    auto engine = whatif_engine::from_live(*live);
    t_ref_buff& copy = engine->store();
    // Q1 off: the disconnector QS1 may move while QSG1's contact is sound.
    engine->set_value("s1_1_1", 0);
    engine->apply();
    ASSERT_TRUE(condition(copy, 1, 0).permits());

    whatif_signal invalid{0, true, true, true, false};
    engine->set_signal("s1_1_4", invalid);
    engine->apply();
    EXPECT_FALSE(condition(copy, 1, 0).permits());

    whatif_signal no_control{0, false, true, false, false};
    engine->set_signal("s1_1_4", no_control);
    engine->apply();
    EXPECT_FALSE(condition(copy, 1, 0).permits());

    // Manual input counts as valid.
    whatif_signal manual{0, true, true, false, true};
    engine->set_signal("s1_1_4", manual);
    engine->apply();
    EXPECT_TRUE(condition(copy, 1, 0).permits());
    EXPECT_EQ(engine->values().at("s1_1_4"), manual);

    EXPECT_THROW(engine->set_value("s9_9_9", 1), nx_exception);
    // A list with an unknown key changes nothing.
    EXPECT_THROW(engine->set_values({{"s1_1_4", {}}, {"s9_9_9", {}}}), nx_exception);
    EXPECT_EQ(engine->values().at("s1_1_4"), manual);
}

// Everything the what-if mode could reach is tried; afterwards the live store, refs.ini, the
// settings, mes.log and the controller file are what they are for a store that never
// entered the mode.
TEST_F(WhatIf, LeavesTheLiveStationAsIfItHadNeverBeenEntered) {
    settings_set_int("HAND", "LOAD", 1);
    std::filesystem::create_directories(station_dir() + "CONF_INI");
    write_bytes(station_dir() + "CONF_INI/conf.ini", read_bytes(demo_folder + "CONF_INI/conf.ini"));
    const std::string refs_before = read_bytes(station_dir() + "refs.ini");
    const std::string settings_before = read_bytes(settings_path());
    const std::string conf_before = read_bytes(station_dir() + "CONF_INI/conf.ini");
    const std::string mes_before = file_or_none(station_dir() + "mes.log");

    auto twin = make_live_store();
    deliver_line_in_service(*twin);

    {
        auto engine = whatif_engine::from_live(*live);
        t_ref_buff& copy = engine->store();
        whatif_apparatus a;
        ASSERT_TRUE(engine->find_apparatus("QSG1", a));
        engine->set_position(a, true);
        engine->set_signal("s1_1_2", {1, true, true, true, true});
        engine->set_signal("s1_1_5", {0, false, false, false, false});
        engine->apply();
        check_switching_program(*engine, read_switching_program("отключить Q1\nотключить QS1\n"));
        // Whatever asks the copy to reach a file or a controller is refused.
        EXPECT_THROW(copy.save(), nx_exception);
        EXPECT_THROW(copy.backup(), nx_exception);
        EXPECT_THROW(copy.save_as_backup(), nx_exception);
        copy.start_devices(true);
        EXPECT_FALSE(copy.devices_running());
        EXPECT_FALSE(export_interlock(copy, "S.0000", "Экспорт в conf.ini с загрузкой в контроллер",
                                      true, transfer_options{}));
        EXPECT_THROW(transfer_with_device(copy, "D.0000", station_dir() + "CONF_INI/conf.ini",
                                          false, transfer_options{}),
                     nx_exception);
        // The live station meanwhile goes on: the same delivery reaches both live stores.
        deliver(*live, {{q1, false}});
        deliver(*twin, {{q1, false}});
    }
    // Every position changes after the excursion: a signal the mode left held would stay.
    for (t_ref_buff* store : {live.get(), twin.get()})
        deliver(*store, {{q1, true}, {qs1, false}, {qs2, false}, {qsg1, true}, {ready, false}});

    EXPECT_EQ(whatif_engine::read_values(*live), whatif_engine::read_values(*twin));
    EXPECT_EQ(all_flags(*live), all_flags(*twin));
    EXPECT_EQ(live->subtree_xml(""), twin->subtree_xml(""));
    EXPECT_FALSE(live->state().changed());
    for (auto [row, n] : {std::pair{0, 0}, {0, 1}, {1, 0}, {2, 0}, {3, 0}, {3, 1}})
        EXPECT_EQ(condition(*live, row, n).permits(), condition(*twin, row, n).permits());
    EXPECT_EQ(read_bytes(station_dir() + "refs.ini"), refs_before);
    EXPECT_EQ(read_bytes(settings_path()), settings_before);
    EXPECT_EQ(read_bytes(station_dir() + "CONF_INI/conf.ini"), conf_before);
    EXPECT_EQ(file_or_none(station_dir() + "mes.log"), mes_before);
    EXPECT_FALSE(std::filesystem::exists(station_dir() + "REFS"));
    EXPECT_NE(
        from_cp1251(read_bytes(log_path)).find("в режиме проверки блокировок экспорт невозможен"),
        std::string::npos);
}

TEST_F(WhatIf, StateFileKeepsValuesAndQualities) {
    auto engine = whatif_engine::from_live(*live);
    engine->set_signal("s1_1_2", {0, true, true, true, false});
    engine->set_signal("s1_1_3", {1, false, true, false, false});
    engine->set_signal("s1_1_4", {1, true, false, false, true});
    engine->set_signal("i1_1_1", {12.5, true, true, false, false});
    std::string text = whatif_state_text(engine->values());
    EXPECT_NE(text.find("\ns1_1_2 = 0 недостоверно\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\ns1_1_3 = 1 нет_контроля\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\ns1_1_4 = 1 не_определено ручной\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\ni1_1_1 = 12.5\n"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("# ", 0), 0u);

    // Loaded into a fresh copy, the state is the one saved.
    auto again = whatif_engine::from_live(*live);
    again->set_values(read_whatif_state(text));
    again->apply();
    EXPECT_EQ(again->values(), engine->values());

    EXPECT_EQ(read_whatif_state("# comment\r\n\r\ns1_1_1 = 1 # on\r\n").at("s1_1_1"),
              (whatif_signal{1, true, true, false, false}));
    auto fails_with = [](const std::string& t) {
        try {
            read_whatif_state(t);
        } catch (const nx_exception& e) {
            return std::string(e.what());
        }
        return std::string("no failure");
    };
    EXPECT_EQ(fails_with("s1_1_1 = 1\ns1_1_2 1\n"), "строка 2: нет знака \"=\": s1_1_2 1");
    EXPECT_EQ(fails_with("s1_1_1 = x\n"), "строка 1: значение не число: s1_1_1 = x");
    EXPECT_EQ(fails_with("s1_1_1 = 1 плохо\n"),
              "строка 1: неизвестный признак \"плохо\": s1_1_1 = 1 плохо");
    EXPECT_EQ(fails_with("s1_1_1 = 1\ns1_1_1 = 0\n"),
              "строка 2: сигнал s1_1_1 уже задан: s1_1_1 = 0");
}

// The copy is made ahead and entered again and again: each entry is the state of a copy made
// just then from the live station, whatever the visit before did.
TEST_F(WhatIf, EnteringAgainTakesTheLiveStateAfresh) {
    auto engine = whatif_engine::from_live(*live);
    EXPECT_TRUE(engine->same_configuration(*live));
    // A visit: positions, a quality, and a computed signal held by hand.
    engine->set_value("s1_1_1", 0);
    engine->set_signal("s1_1_4", {1, true, true, true, false});
    engine->set_value("s1_1_10", 0);
    engine->apply();
    // Live acquisition went on meanwhile.
    deliver(*live, {{q1, false}, {qs2, false}});

    engine->take_live_values(*live);
    auto fresh = whatif_engine::from_live(*live);
    EXPECT_EQ(engine->values(), fresh->values());
    EXPECT_EQ(engine->values().at("s1_1_10").value, 1); // computes again: Q1 and QSG1 off
    for (auto [row, n] : {std::pair{0, 0}, {0, 1}, {1, 0}, {2, 0}, {3, 0}, {3, 1}})
        EXPECT_EQ(condition(engine->store(), row, n).permits(),
                  condition(fresh->store(), row, n).permits())
            << row << "/" << n;

    // An edit of the live configuration makes the copy stale; so does a new load.
    live->state().mark_changed();
    EXPECT_FALSE(engine->same_configuration(*live));
    auto fresh_again = whatif_engine::from_live(*live);
    live->load();
    EXPECT_FALSE(fresh_again->same_configuration(*live));
}
