#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "config/config_classes.h"
#include "config/ref_editing.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/signal_texts.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_ti.h"
#include "structure/t_struct_ts.h"
#include "telemech/t_dev_104.h"
#include "telemech/t_dev_ti.h"
#include "telemech/t_dev_ts.h"
#include "telemech/telemech_classes.h"
#include "tests/support/test_support.h"
#include "tests/telemech/kp_sim_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

using namespace nxkit;
using ilktest::read_bytes;
using ilktest::station_dir;
using ilktest::write_bytes;

namespace {

// The user-interface side of the notifications: a queue the test drains.
class queue_poster : public i_update_poster {
public:
    void post_update(i_updater* updater, int generation) override {
        std::lock_guard guard(lock);
        queued.emplace_back(updater, generation);
    }
    std::vector<std::pair<i_updater*, int>> take() {
        std::lock_guard guard(lock);
        return std::exchange(queued, {});
    }
    std::mutex lock;
    std::vector<std::pair<i_updater*, int>> queued;
};

const std::string device_key = "D.0000";
const std::string ts_key = "D.0000.0000";
const std::string ts2_key = "D.0000.0001";
const std::string ti_key = "D.0000.0002";
const std::string to_key = "D.0000.0003";
const std::string ok_key = "D.0000.0004";
const std::string signal_ts = "K.0000.0000.0000";
const std::string signal_ti = "K.0000.0000.0001";

std::string structure() {
    return "<ref tp=\"40\" title=\"Структура\">\r\n<ref tp=\"41\" num=\"1\">\r\n"
           "<ref tp=\"42\" num=\"2\">\r\n<ref tp=\"1\" num=\"7\" title=\"Q1\"/>\r\n"
           "<ref tp=\"2\" num=\"9\"/>\r\n</ref>\r\n</ref>\r\n</ref>\r\n";
}

std::string device(const std::string& attributes, const std::string& objects) {
    return "<ref tp=\"50\" title=\"Оборудование\">\r\n<ref tp=\"104\"" + attributes + ">\r\n" +
           objects + "</ref>\r\n</ref>\r\n";
}

const std::string usual_objects = "<ref tp=\"51\" addr=\"10\" canal=\"1\" kp=\"2\" num=\"7\"/>\r\n"
                                  "<ref tp=\"52\" addr=\"11\" title=\"двойной\"/>\r\n"
                                  "<ref tp=\"55\" addr=\"300\" canal=\"1\" kp=\"2\" num=\"9\"/>\r\n"
                                  "<ref tp=\"56\" addr=\"400\"/>\r\n"
                                  "<ref tp=\"57\" addr=\"0\"/>\r\n";

class devices_test : public testing::Test {
protected:
    devices_test() {
        store = std::make_unique<t_ref_buff>();
        register_config_classes(*store);
        register_structure_classes(*store);
        register_telemech_classes(*store);
        store->register_class(tp_schema_root, [](t_ref_buff& s) {
            return std::make_unique<t_ref_root>(s, tp_schema_root);
        });
    }

    void load(const std::string& body) {
        write_bytes(station_dir() + "refs.ini", to_cp1251("<struct>\r\n<REFs version=\"1\">\r\n" +
                                                          body + "</REFs>\r\n</struct>\r\n"));
        store->load();
    }

    // What the main window does with the notifications, then one update pass.
    void drain() {
        for (auto [updater, generation] : poster.take())
            store->hand_over(*updater, generation);
        store->update_pass();
    }

    template <class T> T& get(const std::string& key) {
        T* p = dynamic_cast<T*>(store->get(key));
        if (p == nullptr)
            throw std::runtime_error("no component of the expected class at " + key);
        return *p;
    }
    t_dev_104& dev() { return get<t_dev_104>(device_key); }

    // Polls `done`, handing the notifications over between polls, for up to ten seconds.
    template <class F> bool wait_for(F done) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            drain();
        }
        return done();
    }

    queue_poster poster;
    std::unique_ptr<t_ref_buff> store;
};

using DevicesXml = devices_test;
using DevicesValues = devices_test;
using DevicesLink = devices_test;

TEST_F(DevicesXml, LoadedDeviceAndObjectsSaveTheSameBytes) {
    load(device(" title=\"КП &quot;1&quot;\" addr=\"5\" p100=\"600\" p103=\"-1\" lcn=\"18\" "
                "lsz=\"250\" con=\"127.0.0.1:2405\"",
                usual_objects) +
         structure());
    EXPECT_EQ(dev().display_name(), "(кп 5) 127.0.0.1:2405 КП \"1\"");
    EXPECT_EQ(dev().interrogation_period(), 600);
    EXPECT_EQ(dev().sync_period(), -1);
    EXPECT_FALSE(dev().log_on());
    EXPECT_EQ(dev().log_file(), logs_directory() + "104 5 - D.0000.log");
    EXPECT_EQ(dev().health_key(), ok_key);
    EXPECT_EQ(store->feeder("s1_2_7"), ts_key);
    EXPECT_EQ(store->feeder("i1_2_9"), ti_key);

    store->save();
    EXPECT_EQ(read_bytes(station_dir() + "refs.ini"),
              to_cp1251("<struct>\r\n"
                        "<REFs version=\"1\">\r\n"
                        "  <ref tp=\"50\" cur=\"1\" title=\"Оборудование\">\r\n"
                        "    <ref tp=\"104\" title=\"КП &quot;1&quot;\" addr=\"5\" p100=\"600\" "
                        "p103=\"-1\" lcn=\"18\" lsz=\"250\" con=\"127.0.0.1:2405\">\r\n"
                        "      <ref tp=\"51\" addr=\"10\" canal=\"1\" kp=\"2\" num=\"7\"/>\r\n"
                        "      <ref tp=\"52\" title=\"двойной\" addr=\"11\"/>\r\n"
                        "      <ref tp=\"55\" addr=\"300\" canal=\"1\" kp=\"2\" num=\"9\"/>\r\n"
                        "      <ref tp=\"56\" addr=\"400\"/>\r\n"
                        "      <ref tp=\"57\" addr=\"0\"/>\r\n"
                        "    </ref>\r\n"
                        "  </ref>\r\n"
                        "  <ref tp=\"40\" cur=\"1\" title=\"Структура\">\r\n"
                        "    <ref tp=\"41\" num=\"1\">\r\n"
                        "      <ref tp=\"42\" num=\"2\">\r\n"
                        "        <ref tp=\"1\" title=\"Q1\" num=\"7\"/>\r\n"
                        "        <ref tp=\"2\" num=\"9\"/>\r\n"
                        "      </ref>\r\n"
                        "    </ref>\r\n"
                        "  </ref>\r\n"
                        "  <ref tp=\"80\" cur=\"1\" title=\"Схемы\"/>\r\n"
                        "</REFs>\r\n"
                        "</struct>\r\n"));
}

TEST_F(DevicesXml, ParametersChoicesAndLogDefaults) {
    load(device(" addr=\"3\" con=\"127.0.0.1\"", "") + structure());
    // Without lcn: data "пакет + дамп", acknowledgements "пакет", link nothing, log on.
    EXPECT_EQ(dev().log_mode(), 50);
    EXPECT_TRUE(dev().log_on());
    std::string value, name;
    ASSERT_TRUE(dev().get_parameter(7, value, name));
    EXPECT_EQ(name + "=" + value, "• I (данные)=пакет + дамп");
    ASSERT_TRUE(dev().get_parameter(8, value, name));
    EXPECT_EQ(name + "=" + value, "• S (квитанции)=пакет");
    ASSERT_TRUE(dev().get_parameter(9, value, name));
    EXPECT_EQ(name + "=" + value, "• U (канал)= нет");
    ASSERT_TRUE(dev().get_parameter(2, value, name));
    EXPECT_EQ(name + "=" + value, "Период опроса=    старт");
    ASSERT_TRUE(dev().get_parameter(3, value, name));
    EXPECT_EQ(name + "=" + value, "Синх. время=    НЕТ");

    dev().set_parameter(6, "5");
    EXPECT_EQ(dev().log_size_kb(), 10);
    dev().set_parameter(6, "200000");
    EXPECT_EQ(dev().log_size_kb(), 100000);
    dev().set_parameter(2, " 2 часа");
    EXPECT_EQ(dev().interrogation_period(), 7200);
    dev().set_parameter(3, "через  9 часов");
    EXPECT_EQ(dev().sync_period(), 32400);
    dev().set_parameter(9, "дамп");
    EXPECT_EQ(dev().log_mode(), 54);
    choice_list choices;
    EXPECT_EQ(dev().parameter_editor(2, choices), editor_choice_only);
    ASSERT_EQ(choices.size(), 12u);
    EXPECT_EQ(choices[1].text, "   1 минута");

    // The health object has the three numbers only.
    load(device(" addr=\"3\"", "<ref tp=\"57\" addr=\"0\" canal=\"1\" kp=\"2\" num=\"7\"/>\r\n") +
         structure());
    auto& ok = get<t_dev_ts_ok>("D.0000.0000");
    ASSERT_TRUE(ok.get_parameter(2, value, name));
    EXPECT_EQ(name + "=" + value, "Номер сигнала=7");
    EXPECT_FALSE(ok.get_parameter(3, value, name));
    EXPECT_EQ(store->feeder("s1_2_7"), "D.0000.0000");
}

TEST_F(DevicesXml, DuplicateAddressAndMissingDeviceFailInit) {
    ilktest::scripted_prompt prompt;
    prompt.expect("уже назначено компоненту", 1);
    load(device(" addr=\"3\"", "<ref tp=\"51\" addr=\"12\" title=\"первый\"/>\r\n"
                               "<ref tp=\"55\" addr=\"12\" title=\"второй\"/>\r\n") +
         structure());
    ASSERT_EQ(prompt.seen().size(), 1u);
    EXPECT_NE(prompt.seen()[0].text.find("Значение '12' параметра 'Адрес' уже назначено "
                                         "компоненту\r\n'Оборудование / (кп 3)  IEC 870-5-104 / "
                                         "ТС 12 первый'"),
              std::string::npos)
        << prompt.seen()[0].text;
    EXPECT_TRUE(store->find("D.0000.0001").has_flag(flag_locked));

    prompt.expect("не удалось найти i_changer", 1);
    load("<ref tp=\"50\">\r\n<ref tp=\"51\" addr=\"1\"/>\r\n</ref>\r\n" + structure());
    ASSERT_EQ(prompt.seen().size(), 2u);
    EXPECT_NE(
        prompt.seen()[1].text.find(
            "Для компонента 'Телесигнал однопозиционный' (D.0000) не удалось найти i_changer"),
        std::string::npos);
}

TEST_F(DevicesXml, LockedDeviceStaysStoppedAndAddedDeviceGetsHealthObject) {
    store->init(nullptr, &poster);
    store->start_devices(true);
    load(device(" addr=\"4\" lock=\"1\" con=\"127.0.0.1:1\"", "<ref tp=\"51\" addr=\"10\"/>\r\n") +
         structure());
    EXPECT_FALSE(dev().worker_running());
    // Its objects are not attached: a record for their address changes nothing.
    dev().put_single(10, nx_tm_time::from_time(time_now()), 1);
    key_set changed;
    dev().update(changed);
    EXPECT_TRUE(changed.empty());

    store->start_devices(false);
    std::vector<std::string> added = add_components(*store, "D", tp_dev_104, 1);
    ASSERT_EQ(added, std::vector<std::string>{"D.0001"});
    auto& fresh = get<t_dev_104>("D.0001");
    EXPECT_EQ(fresh.health_key(), "D.0001.0000");
    EXPECT_EQ(store->find("D.0001.0000").type(), tp_dev_ts_ok);
    EXPECT_EQ(store->refs().children("D.0001").size(), 1u);
    // A later edit of the device creates no second one.
    fresh.init();
    EXPECT_EQ(store->refs().children("D.0001").size(), 1u);
    EXPECT_EQ(fresh.log_mode(), 50);
    EXPECT_EQ(fresh.log_file(), logs_directory() + "104 0 - D.0001.log");
}

TEST_F(DevicesValues, TablesFeedObjectsAndSignals) {
    store->init(nullptr, &poster);
    load(device(" addr=\"5\"", usual_objects) + structure());
    drain();
    auto& ts = get<t_dev_ts>(ts_key);
    EXPECT_EQ(ts.display_name(), "ТС 10 (s1_2_7)(Q1) ");
    EXPECT_FALSE(get<t_struct_ts>(signal_ts).control());

    nx_tm_time now = nx_tm_time::from_time(time_now());
    dev().link_up();
    dev().put_single(10, now, 0x81);
    dev().put_double(11, now, 0x03);
    dev().put_measured(300, now, -32768, 0x01);
    dev().put_step(400, now, 0x85, 0);
    dev().put_single(99, now, 1); // no object there
    dev().notify();
    drain();

    EXPECT_EQ(ts.display_name(), "[1]ТС 10 (s1_2_7)(Q1) ");
    EXPECT_TRUE(ts.invalid());
    EXPECT_EQ(get<t_dev_ts2>(ts2_key).display_name(), "[?]ТС2 11 двойной");
    EXPECT_EQ(get<t_dev_ti>(ti_key).display_name(), "[-32 768]ти-м 300 (i1_2_9) ");
    EXPECT_FALSE(get<t_dev_ti>(ti_key).defined());
    EXPECT_FALSE(get<t_dev_to>(to_key).defined());
    EXPECT_EQ(get<t_dev_ts_ok>(ok_key).display_name(), "[1] ТС исправности");
    auto& signal = get<t_struct_ts>(signal_ts);
    EXPECT_TRUE(signal.control());
    EXPECT_EQ(signal.value(), 1);
    EXPECT_EQ(get<t_struct_ti>(signal_ti).value(), -32768);

    dev().put_double(11, now, 0x02);
    dev().put_step(400, now, 0x05, 0);
    dev().notify();
    drain();
    EXPECT_EQ(get<t_dev_ts2>(ts2_key).display_name(), "[1]ТС2 11 двойной");
    EXPECT_EQ(get<t_dev_to>(to_key).current_value(), 5);
    EXPECT_TRUE(get<t_dev_to>(to_key).defined());

    dev().link_down();
    drain();
    EXPECT_EQ(ts.display_name(), "ТС 10 (s1_2_7)(Q1) ");
    EXPECT_FALSE(signal.control());
    EXPECT_FALSE(get<t_dev_ti>(ti_key).control());
    EXPECT_EQ(get<t_dev_ts_ok>(ok_key).display_name(), "[0] ТС исправности");
    EXPECT_TRUE(get<t_dev_ts_ok>(ok_key).control());

    // A notification stamped with an older generation is dropped.
    dev().put_single(10, now, 1);
    for (auto [updater, generation] : poster.take())
        store->hand_over(*updater, generation + 1);
    store->update_pass();
    EXPECT_FALSE(signal.control());
}

#ifdef KP_SIM_BINARY
TEST_F(DevicesLink, InterrogationFillsSignalsAndLossTakesControlAway) {
    ilktest::kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "1:10=1",
                                 "--object", "11:300=-120"});
    ASSERT_TRUE(sim.running());
    store->init(nullptr, &poster);
    store->start_devices(true);
    load(device(" addr=\"5\" con=\"127.0.0.1:" + std::to_string(sim.port()) + "\"", usual_objects) +
         structure());
    EXPECT_TRUE(dev().worker_running());
    EXPECT_TRUE(dev().has_flag(flag_no_delete));

    auto& signal = get<t_struct_ts>(signal_ts);
    auto& measure = get<t_struct_ti>(signal_ti);
    auto wait_for = [&](auto done) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            drain();
        }
        return done();
    };
    ASSERT_TRUE(wait_for([&] { return signal.control() && measure.control(); }));
    EXPECT_EQ(signal.value(), 1);
    EXPECT_EQ(measure.value(), -120);
    EXPECT_TRUE(dev().is_connected());

    sim.terminate();
    ASSERT_TRUE(wait_for([&] { return !signal.control(); }));
    EXPECT_FALSE(measure.control());
    EXPECT_EQ(get<t_dev_ts_ok>(ok_key).state(), 0);
    EXPECT_NE(signal.value_text(form_long).find("нет контроля"), std::string::npos)
        << signal.value_text(form_long);

    store->start_devices(false);
    EXPECT_FALSE(dev().worker_running());
    EXPECT_FALSE(dev().has_flag(flag_no_delete));
}

TEST_F(DevicesLink, SpontaneousChangeReachesSignalUnacknowledgedWithObjectTime) {
    // Single point with a CP56 time: kp-sim stamps it when it is set. Interrogation reports it
    // untimed, so its first time is that of the reception.
    ilktest::kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "30:10=0",
                                 "--object", "11:300=-120"});
    ASSERT_TRUE(sim.running());
    store->init(nullptr, &poster);
    store->start_devices(true);
    nx_time received_from = time_now();
    load(device(" addr=\"5\" con=\"127.0.0.1:" + std::to_string(sim.port()) + "\"", usual_objects) +
         structure());

    auto& signal = get<t_struct_ts>(signal_ts);
    auto& object = get<t_dev_ts>(ts_key);
    ASSERT_TRUE(
        wait_for([&] { return signal.control() && get<t_struct_ti>(signal_ti).control(); }));
    // The interrogated value is the first one: no change to acknowledge.
    EXPECT_EQ(signal.value(), 0);
    EXPECT_FALSE(signal.unacknowledged());
    EXPECT_GE(signal.time(), received_from - time_ms(1));
    EXPECT_LE(signal.time(), time_now());

    nx_time set_from = time_now();
    ASSERT_TRUE(sim.command("set 10 1"));
    ASSERT_TRUE(wait_for([&] { return signal.value() == 1; }));
    nx_time set_to = time_now();
    EXPECT_TRUE(signal.control());
    EXPECT_TRUE(signal.unacknowledged());
    EXPECT_FALSE(signal.invalid());
    // The time of the set command (CP56 keeps milliseconds).
    EXPECT_GE(signal.time(), set_from - time_ms(1)) << time_format(signal.time(), "%H:%M:%S.%V");
    EXPECT_LE(signal.time(), set_to) << time_format(signal.time(), "%H:%M:%S.%V");
    EXPECT_EQ(signal.time(), object.time_stamp());
    EXPECT_EQ(object.display_name(), "[1]ТС 10 (s1_2_7)(Q1) ");
    // The other signal of the device did not change.
    EXPECT_EQ(get<t_struct_ti>(signal_ti).value(), -120);

    // A second change back is again a change.
    ASSERT_TRUE(sim.command("set 10 0"));
    ASSERT_TRUE(wait_for([&] { return signal.value() == 0; }));
    EXPECT_TRUE(signal.unacknowledged());
    EXPECT_TRUE(signal.control());

    store->start_devices(false);
}

TEST_F(DevicesLink, ListFormsNewTypesTestFramesAndInvalidTimesReachSignalsAsTheyShould) {
    ilktest::kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "30:10=0",
                                 "--object", "36:300=1.5", "--form", "list"});
    ASSERT_TRUE(sim.running());
    // A log of its own: the lines of earlier tests are not this test's.
    std::remove((logs_directory() + "104 5 - D.0000.log").c_str());
    store->init(nullptr, &poster);
    store->start_devices(true);
    // No lcn: the protocol log is on with the I-frames as text and dump.
    load(device(" addr=\"5\" con=\"127.0.0.1:" + std::to_string(sim.port()) + "\"", usual_objects) +
         structure());
    auto& signal = get<t_struct_ts>(signal_ts);
    auto& measure = get<t_struct_ti>(signal_ti);
    ASSERT_EQ(dev().log_file(), logs_directory() + "104 5 - D.0000.log");
    auto log = [&] { return from_cp1251(read_bytes(dev().log_file())); };
    auto logged = [&](const std::string& text) {
        return wait_for([&] { return log().find(text) != std::string::npos; });
    };

    // Interrogation answers untimed: the short float arrives as type 13 and feeds the
    // telemeasurement as it is.
    ASSERT_TRUE(wait_for([&] { return signal.control() && measure.control(); }));
    EXPECT_EQ(signal.value(), 0);
    EXPECT_EQ(measure.value(), 1.5);
    EXPECT_TRUE(logged("--> <1> COUNT=1,ПР=20,ASDU=5 [0010: 0 q00]")) << log();
    EXPECT_TRUE(logged("--> <13> COUNT=1,ПР=20,ASDU=5 [0300: 1.5 q00]")) << log();

    // A test frame is logged with its cause and changes nothing.
    ASSERT_TRUE(sim.command("test on"));
    ASSERT_TRUE(sim.command("set 10 1"));
    ASSERT_TRUE(logged("--> <30> COUNT=1,ПР=131,ASDU=5 тест [0010: 1 q00 CP56=")) << log();
    drain();
    EXPECT_EQ(signal.value(), 0);
    EXPECT_FALSE(signal.unacknowledged());

    // An invalid time tag: the value counts, the time is the reception's.
    ASSERT_TRUE(sim.command("test off"));
    ASSERT_TRUE(sim.command("timetag iv"));
    nx_time before = time_now();
    ASSERT_TRUE(sim.command("set 10 1"));
    ASSERT_TRUE(wait_for([&] { return signal.value() == 1; }));
    nx_time after = time_now();
    EXPECT_TRUE(signal.unacknowledged());
    EXPECT_GE(signal.time(), before - time_ms(1)) << time_format(signal.time(), "%d.%m.%Y %H:%M");
    EXPECT_LE(signal.time(), after + time_ms(1)) << time_format(signal.time(), "%d.%m.%Y %H:%M");
    EXPECT_TRUE(logged(" недостоверно]")) << log();

    // Spontaneous changes in the list form, and the measured forms with time.
    ASSERT_TRUE(sim.command("asdu 01 02 03 05 0A 00 00 14 00 01"));
    ASSERT_TRUE(wait_for([&] { return signal.value() == 0; }));
    EXPECT_TRUE(logged("--> <1> COUNT=2,ПР=3,ASDU=5 [0010: 0 q00] [0020: 1 q00]")) << log();
    // The frame that used to be rejected for its element count.
    ASSERT_TRUE(sim.command("asdu 01 03 14 05 14 00 01 16 00 80 19 00 41"));
    EXPECT_TRUE(logged("--> 68 11 0E 00 02 00 01 03 14 05 14 00 01 16 00 80 19 00 41")) << log();
    EXPECT_TRUE(logged("--> <1> COUNT=3,ПР=20,ASDU=5 [0020: 1 q00] [0022: 0 q80] "
                       "[0025: 1 q40]"))
        << log();
    EXPECT_EQ(log().find("неверное количество"), std::string::npos);
    ASSERT_TRUE(sim.command("asdu 22 01 03 05 2C 01 00 40 00 39 30 0F 0A 05 03 18"));
    ASSERT_TRUE(wait_for([&] { return measure.value() == 16384; }));
    EXPECT_TRUE(logged("--> <34> COUNT=1,ПР=3,ASDU=5 [0300: 16384 q00 CP56=2024.03.05 "
                       "10:15:12.345]"))
        << log();
    ASSERT_TRUE(sim.command("asdu 21 01 03 05 2C 01 78 56 34 12 01 39 30 0F 0A 05 03 18"));
    ASSERT_TRUE(wait_for([&] { return measure.value() == 305419896; }));
    EXPECT_FALSE(measure.defined());
    store->start_devices(false);
}

// The program log in a file of its own for one test.
struct program_log {
    std::string path = station_dir() + "program.log";
    program_log() {
        std::remove(path.c_str());
        nx_log::main().open(path, 10000000, 0);
    }
    ~program_log() { nx_log::main().close(); }
    program_log(const program_log&) = delete;
    program_log& operator=(const program_log&) = delete;

    // The lines of the connection with the address `prefix`, without their time stamps.
    std::vector<std::string> lines(const std::string& prefix) const {
        std::vector<std::string> result;
        std::string text = from_cp1251(read_bytes(path));
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(at, end - at);
            at = end + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            // "time | KIND | text"
            auto bar = line.find(" | ");
            if (bar == std::string::npos)
                continue;
            std::string entry = line.substr(bar + 3);
            if (entry.compare(3, prefix.size() + 3, " | " + prefix) == 0)
                result.push_back(entry);
        }
        return result;
    }
};

TEST_F(DevicesLink, MutePointLosesControlAfterItsT1) {
    program_log log;
    ilktest::kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "1:10=1",
                                 "--object", "11:300=-120"});
    ASSERT_TRUE(sim.running());
    store->init(nullptr, &poster);
    store->start_devices(true);
    load(device(" addr=\"5\" con=\"127.0.0.1:" + std::to_string(sim.port()) + "\" t1=\"1\"",
                usual_objects) +
         structure());
    EXPECT_EQ(dev().t1_seconds(), 1);
    auto& signal = get<t_struct_ts>(signal_ts);
    ASSERT_TRUE(wait_for([&] { return signal.control() && dev().is_connected(); }));

    // The socket stays open, nothing more comes: after t3 a test frame, after t1 the end.
    ASSERT_TRUE(sim.command("fault silent"));
    ASSERT_TRUE(wait_for([&] { return !signal.control(); }));
    EXPECT_FALSE(dev().is_connected());
    EXPECT_NE(signal.value_text(form_long).find("нет контроля"), std::string::npos);
    std::vector<std::string> lines = log.lines("5: ");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "ERR | 5: истек таймаут t1: нет подтверждения от контроллера");
    EXPECT_EQ(lines[2],
              "MES | 5: стоп 104 127.0.0.1 ------------------------------------------------");
    store->start_devices(false);
}

TEST_F(DevicesXml, T1IsASettingOfTheDeviceWithinTheStandardRange) {
    load(device(" addr=\"3\" con=\"127.0.0.1\"", "") + structure());
    std::string value, name;
    ASSERT_TRUE(dev().get_parameter(10, value, name));
    EXPECT_EQ(name + "=" + value, "Таймаут t1, с=15");
    // The TLS rows follow it.
    ASSERT_TRUE(dev().get_parameter(11, value, name));
    EXPECT_EQ(name, "TLS (IEC 62351-3)");
    for (const char* refused : {"0", "256", "1.5", "", "x"}) {
        try {
            dev().set_parameter(10, refused);
            ADD_FAILURE() << "accepted '" << refused << "'";
        } catch (const nx_exception& e) {
            EXPECT_STREQ(e.what(), "Таймаут t1 задается в секундах, от 1 до 255");
        }
    }
    EXPECT_EQ(dev().t1_seconds(), 15);
    // The standard value is not written; another one is, and read back.
    store->save();
    EXPECT_EQ(from_cp1251(read_bytes(station_dir() + "refs.ini")).find("t1="), std::string::npos);
    ASSERT_TRUE(dev().set_parameter(10, " 40"));
    store->save();
    EXPECT_NE(
        from_cp1251(read_bytes(station_dir() + "refs.ini")).find("con=\"127.0.0.1\" t1=\"40\""),
        std::string::npos);
    store->load();
    EXPECT_EQ(dev().t1_seconds(), 40);
}

TEST_F(DevicesLink, EndpointEditRestartsConnectionToNewPoint) {
    program_log log;
    ilktest::kp_sim_process old_point({"-v", "--endpoint", "127.0.0.1:0", "--ca", "5", "--object",
                                       "30:10=0", "--object", "11:300=-120"});
    ilktest::kp_sim_process new_point(
        {"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "30:10=1", "--object", "11:300=77"});
    ASSERT_TRUE(old_point.running());
    ASSERT_TRUE(new_point.running());
    ASSERT_NE(old_point.port(), new_point.port());
    store->init(nullptr, &poster);
    store->start_devices(true);
    load(device(" addr=\"5\" con=\"127.0.0.1:" + std::to_string(old_point.port()) + "\"",
                usual_objects) +
         structure());

    auto& signal = get<t_struct_ts>(signal_ts);
    auto& measure = get<t_struct_ti>(signal_ti);
    ASSERT_TRUE(wait_for([&] { return signal.control() && measure.control(); }));
    EXPECT_EQ(signal.value(), 0);
    EXPECT_EQ(measure.value(), -120);
    const std::string started =
        "MES | 5: старт 104 127.0.0.1 ================================================";
    const std::string stopped =
        "MES | 5: стоп 104 127.0.0.1 ------------------------------------------------";
    EXPECT_EQ(log.lines("5: "), std::vector<std::string>{started});

    // What the configuration editor does with an edited parameter.
    std::string endpoint = "127.0.0.1:" + std::to_string(new_point.port());
    ASSERT_TRUE(dev().set_parameter(4, endpoint));
    dev().init();
    EXPECT_EQ(dev().endpoint(), endpoint);
    EXPECT_TRUE(dev().worker_running());
    EXPECT_TRUE(dev().has_flag(flag_no_delete));

    // The old worker has ended its connection by the time init returns.
    std::vector<std::string> after_stop = log.lines("5: ");
    ASSERT_GE(after_stop.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(after_stop.begin(), after_stop.begin() + 3),
              (std::vector<std::string>{started, "MES | 5: принудительное завершение соединения",
                                        stopped}));
    EXPECT_TRUE(
        old_point.wait_line("127.0.0.1:" + std::to_string(old_point.port()) + " #1 close:", 5000));

    // The new point's values arrive over the new connection.
    ASSERT_TRUE(wait_for([&] {
        return signal.control() && measure.control() && signal.value() == 1 &&
               measure.value() == 77;
    }));
    EXPECT_EQ(log.lines("5: "),
              (std::vector<std::string>{started, "MES | 5: принудительное завершение соединения",
                                        stopped, started}));
    EXPECT_EQ(dev().display_name(), "(кп 5) " + endpoint + " IEC 870-5-104");
    // Later changes at the new point are followed.
    ASSERT_TRUE(new_point.command("set 300 78"));
    ASSERT_TRUE(wait_for([&] { return measure.value() == 78; }));

    store->start_devices(false);
    EXPECT_FALSE(dev().worker_running());
}
#endif

} // namespace
