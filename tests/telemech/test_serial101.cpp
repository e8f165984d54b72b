#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/settings.h"
#include "config/config_classes.h"
#include "config/ref_editing.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_ts.h"
#include "telemech/t_com_port.h"
#include "telemech/t_dev_101.h"
#include "telemech/telemech_classes.h"
#include "tests/support/test_support.h"
#include "tests/telemech/kp_sim_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
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

using steady = std::chrono::steady_clock;

class counting_poster : public i_update_poster {
public:
    void post_update(i_updater* updater, int generation) override {
        std::lock_guard guard(lock);
        queued.emplace_back(updater, generation);
        ++posted[updater];
    }
    std::vector<std::pair<i_updater*, int>> take() {
        std::lock_guard guard(lock);
        return std::exchange(queued, {});
    }
    int count(i_updater* updater) {
        std::lock_guard guard(lock);
        return posted[updater];
    }
    std::mutex lock;
    std::vector<std::pair<i_updater*, int>> queued;
    std::map<i_updater*, int> posted;
};

const std::string port_key = "D.0000";
const std::string dev2_key = "D.0000.0000";
const std::string dev10_key = "D.0000.0001";

std::string structure() {
    return "<ref tp=\"40\">\r\n<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"42\" num=\"2\">\r\n"
           "<ref tp=\"1\" num=\"7\"/>\r\n<ref tp=\"1\" num=\"8\"/>\r\n</ref>\r\n</ref>\r\n"
           "</ref>\r\n";
}

// A port with the controlled points 2 and 10 (in this order in the file), each with one
// single point: IOA 1 of point 2 feeds s1_2_7, IOA 5 of point 10 feeds s1_2_8.
std::string line_with_two_points(const std::string& port_attributes) {
    return "<ref tp=\"50\">\r\n<ref tp=\"100\"" + port_attributes +
           ">\r\n"
           "<ref tp=\"101\" addr=\"2\" p100=\"-1\">\r\n"
           "<ref tp=\"51\" addr=\"1\" canal=\"1\" kp=\"2\" num=\"7\"/>\r\n</ref>\r\n"
           "<ref tp=\"101\" addr=\"10\" p100=\"-1\">\r\n"
           "<ref tp=\"51\" addr=\"5\" canal=\"1\" kp=\"2\" num=\"8\"/>\r\n</ref>\r\n"
           "</ref>\r\n</ref>\r\n";
}

class serial_test : public testing::Test {
protected:
    serial_test() {
        store = std::make_unique<t_ref_buff>();
        register_config_classes(*store);
        register_structure_classes(*store);
        register_telemech_classes(*store);
        store->register_class(tp_schema_root, [](t_ref_buff& s) {
            return std::make_unique<t_ref_root>(s, tp_schema_root);
        });
    }
    ~serial_test() override {
        store->start_devices(false);
        store.reset();
    }

    void load(const std::string& body) {
        write_bytes(station_dir() + "refs.ini", to_cp1251("<struct>\r\n<REFs version=\"1\">\r\n" +
                                                          body + "</REFs>\r\n</struct>\r\n"));
        store->load();
    }
    void run_devices() {
        store->init(nullptr, &poster);
        store->start_devices(true);
    }
    void drain() {
        for (auto [updater, generation] : poster.take())
            store->hand_over(*updater, generation);
        store->update_pass();
    }
    template <class F> bool wait_for(F done, int seconds = 10) {
        auto until = steady::now() + std::chrono::seconds(seconds);
        while (!done() && steady::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            drain();
        }
        return done();
    }
    template <class T> T& get(const std::string& key) {
        T* p = dynamic_cast<T*>(store->get(key));
        if (p == nullptr)
            throw std::runtime_error("no component of the expected class at " + key);
        return *p;
    }
    t_com_port& port() { return get<t_com_port>(port_key); }

    counting_poster poster;
    std::unique_ptr<t_ref_buff> store;
};

using ComPort = serial_test;
using SerialLine = serial_test;

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST_F(ComPort, PortNumberZeroReadsNothingElseAndWritesItsDefaults) {
    load("<ref tp=\"50\">\r\n<ref tp=\"100\" num=\"0\" baud=\"300\" parity=\"0\" RI=\"7\" "
         "log=\"1\" lsz=\"20\"/>\r\n<ref tp=\"100\" num=\"3\" baud=\"300\" byte=\"7\" "
         "parity=\"3\" stop=\"2\" RI=\"7\" RM=\"8\" RC=\"9\" WM=\"10\" WC=\"11\" log=\"1\" "
         "lsz=\"20\"/>\r\n</ref>\r\n");
    auto& zero = get<t_com_port>("D.0000");
    EXPECT_EQ(zero.line().baud, 9600);
    EXPECT_EQ(zero.line().parity, 2);
    EXPECT_EQ(zero.timeouts().ri, 1);
    EXPECT_FALSE(zero.log_on());
    EXPECT_EQ(zero.log_size_kb(), 1000);
    EXPECT_EQ(zero.display_name(), "COM 0 9600 бод - Последовательный порт");
    EXPECT_EQ(store->subtree_xml("D.0000"),
              "<REFs version=\"1\">\r\n  <ref tp=\"100\" num=\"0\" baud=\"9600\" byte=\"8\" "
              "parity=\"2\" stop=\"0\" RI=\"1\" "
              "RM=\"1\" RC=\"1\" WM=\"1\" WC=\"1\" lsz=\"1000\"/>\r\n</REFs>\r\n");

    auto& three = get<t_com_port>("D.0001");
    EXPECT_EQ(store->subtree_xml("D.0001"),
              "<REFs version=\"1\">\r\n  <ref tp=\"100\" num=\"3\" baud=\"300\" byte=\"7\" "
              "parity=\"3\" stop=\"2\" RI=\"7\" "
              "RM=\"8\" RC=\"9\" WM=\"10\" WC=\"11\" log=\"1\" lsz=\"20\"/>\r\n</REFs>\r\n");
    EXPECT_EQ(three.log_file(), logs_directory() + "com 3 - D.0001.log");
    std::string value;
    std::string name;
    ASSERT_TRUE(three.get_parameter(4, value, name));
    EXPECT_EQ(name, "Паритет");
    EXPECT_EQ(value, "Маркер");
    ASSERT_TRUE(three.get_parameter(5, value, name));
    EXPECT_EQ(name + "=" + value, "Стоп биты=2   бита");
    ASSERT_TRUE(three.get_parameter(6, value, name));
    EXPECT_EQ(name + "=" + value, "тамаут RI (мс)=7");
}

TEST_F(ComPort, EvenParityChoiceWritesTwoAndSizeIsLimited) {
    load("<ref tp=\"50\">\r\n<ref tp=\"100\" num=\"4\" parity=\"0\"/>\r\n</ref>\r\n");
    ASSERT_TRUE(port().set_parameter(4, "Четный"));
    ASSERT_TRUE(port().set_parameter(2, "  1200 бод"));
    ASSERT_TRUE(port().set_parameter(12, "5"));
    EXPECT_EQ(port().line().parity, 2);
    EXPECT_EQ(port().line().baud, 1200);
    EXPECT_EQ(port().log_size_kb(), 10);
    const std::string xml = store->subtree_xml(port_key);
    EXPECT_NE(xml.find(" baud=\"1200\" byte=\"8\" parity=\"2\" "), std::string::npos) << xml;
    choice_list choices;
    EXPECT_EQ(port().parameter_editor(4, choices), editor_choice_only);
    ASSERT_EQ(choices.size(), 5u);
    EXPECT_EQ(choices[2].text, "Четный");
}

TEST_F(ComPort, PortWithoutActiveDevicesDoesNotStart) {
    run_devices();
    load("<ref tp=\"50\">\r\n"
         "<ref tp=\"100\" num=\"5\"/>\r\n"
         "<ref tp=\"100\" num=\"5\">\r\n<ref tp=\"101\" addr=\"0\"/>\r\n"
         "<ref tp=\"101\" addr=\"3\" lock=\"1\"/>\r\n</ref>\r\n"
         "<ref tp=\"100\" num=\"5\">\r\n<ref tp=\"101\" addr=\"3\"/>\r\n</ref>\r\n"
         "</ref>\r\n");
    EXPECT_FALSE(get<t_com_port>("D.0000").worker_running());
    EXPECT_FALSE(get<t_com_port>("D.0001").worker_running());
    EXPECT_TRUE(get<t_com_port>("D.0002").worker_running());
    EXPECT_TRUE(get<t_com_port>("D.0002").has_flag(flag_no_delete));
    // The device of port 5 is the default one, written back for the operator to change.
    EXPECT_EQ(settings_get_string("COM", "5", "", false), "/dev/ttyS4");
    store->start_devices(false);
    EXPECT_FALSE(get<t_com_port>("D.0002").worker_running());
}

TEST_F(ComPort, DuplicateAddressFailsWithTheMessageAndDeviceOutsidePortFails) {
    ilktest::scripted_prompt prompt;
    prompt.expect("уже занят", 1);
    load("<ref tp=\"50\">\r\n<ref tp=\"100\" num=\"6\">\r\n"
         "<ref tp=\"101\" addr=\"4\" title=\"первый\"/>\r\n"
         "<ref tp=\"101\" addr=\"4\" title=\"второй\"/>\r\n</ref>\r\n</ref>\r\n");
    ASSERT_FALSE(prompt.seen().empty());
    EXPECT_NE(prompt.seen().back().text.find(
                  "Адрес 4 уже занят 'Оборудование / COM 6 9600 бод - Последовательный порт / "
                  "(кп 4) второй'"),
              std::string::npos)
        << prompt.seen().back().text;
    EXPECT_TRUE(store->find("D.0000.0001").has_flag(flag_locked));
    EXPECT_EQ(port().registered().at(4), "D.0000.0000");
    auto& first = get<t_dev_101>("D.0000.0000");
    EXPECT_EQ(first.log_file(), logs_directory() + "101 4 - D.0000.0000.log");
    EXPECT_TRUE(first.log_on());
    EXPECT_EQ(first.log_mode(), 3);
    std::string value;
    std::string name;
    ASSERT_TRUE(first.get_parameter(6, value, name));
    EXPECT_EQ(name + "=" + value, "• данные=пакет + дамп");
    ASSERT_TRUE(first.set_parameter(8, "пакет"));
    EXPECT_EQ(first.log_mode(), 0x23);
    EXPECT_EQ(first.display_name(), "(кп 4) первый");

    // Re-addressing the first one frees 4 for the second.
    first.set_addr(9);
    first.init();
    store->find("D.0000.0001").set_flag(false, flag_locked);
    EXPECT_NO_THROW(get<t_dev_101>("D.0000.0001").init());
    EXPECT_EQ(port().registered(),
              (std::map<std::uint16_t, std::string>{{4, "D.0000.0001"}, {9, "D.0000.0000"}}));

    t_dev_101 stray(*store);
    try {
        stray.init();
        ADD_FAILURE() << "a device outside a port initialised";
    } catch (const nx_exception& e) {
        EXPECT_STREQ(e.what(),
                     "Для компонента 'IEC 870-5-101 небал.перв.' () не удалось найти t_com_port");
    }
}

TEST_F(ComPort, DeviceGoingAwayStopsTheWorkerThatPollsItEvenAfterAMove) {
    settings_set_string("COM", "8", station_dir() + "no-such-tty");
    run_devices();
    load("<ref tp=\"50\">\r\n<ref tp=\"100\" num=\"0\"/>\r\n<ref tp=\"100\" num=\"8\">\r\n"
         "<ref tp=\"101\" addr=\"2\"/>\r\n<ref tp=\"101\" addr=\"3\"/>\r\n</ref>\r\n"
         "</ref>\r\n");
    ASSERT_TRUE(get<t_com_port>("D.0001").worker_running());
    // The running port moves up: it and its devices are re-keyed under the worker.
    ASSERT_TRUE(move(*store, "D.0001", "D.0000"));
    auto& running = get<t_com_port>("D.0000");
    ASSERT_TRUE(running.worker_running());
    ASSERT_EQ(get<t_dev_101>("D.0000.0001").addr(), 3);
    // A device it polls goes away: the worker must not go on writing into it.
    store->refs().take("D.0000.0001").reset();
    EXPECT_FALSE(running.worker_running());
    // Port 0 polls nothing and lost nothing.
    EXPECT_FALSE(get<t_com_port>("D.0001").worker_running());
}

#ifdef KP_SIM_BINARY
TEST_F(SerialLine, TwoPointsPolledTenThenTwoAndASilentOneLosesControlAlone) {
    ilktest::kp_sim_process sim({"--serial", "pty", "--link", "2", "--object", "1:1=1", "--link",
                                 "10", "--object", "1:5=0"});
    ASSERT_TRUE(sim.running());
    ASSERT_FALSE(sim.serial_line().empty());
    settings_set_string("COM", "7", sim.serial_line());
    run_devices();
    load(line_with_two_points(" num=\"7\" baud=\"9600\" log=\"1\"") + structure());
    ASSERT_TRUE(port().worker_running());

    auto& s7 = get<t_struct_ts>("K.0000.0000.0000");
    auto& s8 = get<t_struct_ts>("K.0000.0000.0001");
    ASSERT_TRUE(wait_for([&] { return s7.control() && s8.control(); }))
        << read_bytes(port().log_file()) << read_bytes(get<t_dev_101>(dev2_key).log_file());
    EXPECT_EQ(s7.value(), 1);
    EXPECT_EQ(s8.value(), 0);
    EXPECT_TRUE(get<t_dev_101>(dev2_key).is_connected());

    // The port log: the line, then point 10 before point 2 in every cycle.
    const std::string port_log = read_bytes(port().log_file());
    const std::string start = to_cp1251("MES | старт 101 " + sim.serial_line() + " ====");
    ASSERT_NE(port_log.find(start), std::string::npos);
    EXPECT_NE(port_log.find(to_cp1251("MES | COM7, 9600 бод, 8 бит, стоп бит 1, паритет Четный")),
              std::string::npos);
    const std::size_t first10 = port_log.find(to_cp1251("MES | <• 10 49 0A 53 16"));
    const std::size_t first2 = port_log.find(to_cp1251("MES | <• 10 49 02 4B 16"));
    ASSERT_NE(first10, std::string::npos);
    ASSERT_NE(first2, std::string::npos);
    EXPECT_LT(first10, first2);
    EXPECT_NE(port_log.find("MES | -> 10 0B 0A 15 16"), std::string::npos);

    // A change at point 10 arrives as class 1 data.
    ASSERT_TRUE(sim.command("set 5 1"));
    ASSERT_TRUE(wait_for([&] { return s8.value() == 1; }));

    ASSERT_TRUE(sim.command("fault silent 2"));
    ASSERT_TRUE(wait_for([&] { return !s7.control(); }));
    EXPECT_FALSE(get<t_dev_101>(dev2_key).is_connected());
    ASSERT_TRUE(sim.command("set 5 0"));
    ASSERT_TRUE(wait_for([&] { return s8.value() == 0; }));
    EXPECT_TRUE(s8.control());
    EXPECT_TRUE(get<t_dev_101>(dev10_key).is_connected());

    // Stop ends the worker at once, even while it waits for the silent point.
    auto before = steady::now();
    store->start_devices(false);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(steady::now() - before);
    EXPECT_FALSE(port().worker_running());
    EXPECT_LT(took.count(), 1000);
    EXPECT_NE(read_bytes(port().log_file()).find(to_cp1251("MES | стоп 101 " + sim.serial_line())),
              std::string::npos);
}

TEST_F(SerialLine, StrictPointIsReadThanksToTheMends) {
    // A point that follows IEC 60870-5-2 to the letter: "no data" with ACD, repetitions get the
    // previous answer. Its data still arrive, and its changes keep arriving.
    ilktest::kp_sim_process sim(
        {"--serial", "pty", "--mode", "strict", "--link", "10", "--object", "1:5=1"});
    settings_set_string("COM", "9", sim.serial_line());
    run_devices();
    load("<ref tp=\"50\">\r\n<ref tp=\"100\" num=\"9\" baud=\"115200\">\r\n"
         "<ref tp=\"101\" addr=\"10\" p100=\"-1\" log=\"1\" lcn=\"32\">\r\n"
         "<ref tp=\"51\" addr=\"5\" canal=\"1\" kp=\"2\" num=\"8\"/>\r\n</ref>\r\n</ref>\r\n"
         "</ref>\r\n" +
         structure());
    auto& s8 = get<t_struct_ts>("K.0000.0000.0001");
    ASSERT_TRUE(wait_for([&] { return s8.control() && s8.value() == 1; }));
    for (int v : {0, 1, 0}) {
        ASSERT_TRUE(sim.command("set 5 " + std::to_string(v)));
        ASSERT_TRUE(wait_for([&] { return s8.value() == v; })) << v;
    }
    // Its "no data" answers are logged as what they are.
    auto log = [&] { return from_cp1251(read_bytes(get<t_dev_101>(dev2_key).log_file())); };
    EXPECT_TRUE(wait_for([&] {
        return log().find("MES | --> FC=9 - нет данных") != std::string::npos;
    })) << log();
    EXPECT_EQ(log().find("инициализация"), std::string::npos);
}

TEST_F(SerialLine, LongFramesTestFramesAndInvalidTimesFromAStation) {
    // 81 scaled values in one sequence make a 249-octet ASDU: a frame with L = FBH.
    ilktest::kp_sim_process sim({"--serial", "pty", "--asdu-max", "249", "--link", "12", "--object",
                                 "1:5=1", "--object", "11:100-180=-3"});
    settings_set_string("COM", "11", sim.serial_line());
    // A log of its own: the lines of earlier tests are not this test's.
    std::remove((logs_directory() + "101 12 - D.0000.0000.log").c_str());
    run_devices();
    load("<ref tp=\"50\">\r\n<ref tp=\"100\" num=\"11\" baud=\"9600\" log=\"1\">\r\n"
         "<ref tp=\"101\" addr=\"12\" p100=\"-1\" log=\"1\" lcn=\"15\">\r\n"
         "<ref tp=\"51\" addr=\"5\" canal=\"1\" kp=\"2\" num=\"8\"/>\r\n</ref>\r\n</ref>\r\n"
         "</ref>\r\n" +
         structure());
    auto& device = get<t_dev_101>(dev2_key);
    ASSERT_EQ(device.log_file(), logs_directory() + "101 12 - D.0000.0000.log");
    auto& s8 = get<t_struct_ts>("K.0000.0000.0001");
    auto log = [&] { return from_cp1251(read_bytes(device.log_file())); };
    measured_record last;
    ASSERT_TRUE(wait_for([&] { return s8.control() && device.get_measured(180, last); })) << log();
    EXPECT_EQ(last.value, -3);
    EXPECT_EQ(s8.value(), 1);
    // The frame's line is written once its objects are stored.
    ASSERT_TRUE(wait_for([&] { return log().find("[0180: -3 q00]") != std::string::npos; }))
        << log();
    const std::string text = log();
    EXPECT_NE(text.find("--> <11> COUNT=81,ПР=20,ASDU=12 [0100: -3 q00] [0101: -3 q00]"),
              std::string::npos)
        << text;
    EXPECT_NE(read_bytes(port().log_file()).find("MES | -> 68 FB FB 68"), std::string::npos);
    // Taken whole the first time: no fault, no second link reset.
    EXPECT_EQ(text.find("ERR"), std::string::npos) << text;
    EXPECT_EQ(count_of(text, "<•• сброс канала"), 1u) << text;

    // A test frame is logged and changes nothing.
    ASSERT_TRUE(sim.command("test on"));
    ASSERT_TRUE(sim.command("set 5 0"));
    ASSERT_TRUE(wait_for([&] {
        return log().find("--> <1> COUNT=1,ПР=131,ASDU=12 тест [0005: 0 q00]") != std::string::npos;
    })) << log();
    drain();
    EXPECT_EQ(s8.value(), 1);

    // An all-zero time with IV: the value counts, the time is the reception's.
    nx_time before = time_now();
    ASSERT_TRUE(sim.command("asdu 1E 01 03 0C 05 00 00 00 00 80 00 00 00 00"));
    ASSERT_TRUE(wait_for([&] { return s8.value() == 0; }));
    nx_time after = time_now();
    EXPECT_GE(s8.time(), before - time_ms(1)) << time_format(s8.time(), "%d.%m.%Y %H:%M");
    EXPECT_LE(s8.time(), after + time_ms(1)) << time_format(s8.time(), "%d.%m.%Y %H:%M");
    EXPECT_TRUE(wait_for([&] {
        return log().find("--> <30> COUNT=1,ПР=3,ASDU=12 [0005: 0 q00 CP56=2000.00.00 "
                          "00:00:00.000 недостоверно]") != std::string::npos;
    })) << log();

    // A list-form change, and a short float with its time.
    ASSERT_TRUE(sim.command("asdu 01 02 03 0C 05 00 01 07 00 00"));
    ASSERT_TRUE(wait_for([&] { return s8.value() == 1; }));
    // The line is written when the frame is done, after its objects are stored.
    auto logged = [&](const std::string& text) {
        return wait_for([&] { return log().find(text) != std::string::npos; });
    };
    EXPECT_TRUE(logged("--> <1> COUNT=2,ПР=3,ASDU=12 [0005: 1 q00] [0007: 0 q00]")) << log();
    ASSERT_TRUE(sim.command("asdu 24 01 03 0C 64 00 00 00 C0 3F 00 39 30 0F 0A 05 03 18"));
    ASSERT_TRUE(wait_for([&] { return device.get_measured(100, last) && last.value == 1.5; }));
    EXPECT_EQ(time_format(last.time.to_time(), "%Y.%m.%d %H:%M:%S.%V"), "2024.03.05 10:15:12.345");
    EXPECT_TRUE(logged("--> <36> COUNT=1,ПР=3,ASDU=12 [0100: 1.5 q00 CP56=2024.03.05 "
                       "10:15:12.345]"))
        << log();
}

TEST_F(SerialLine, NoiseAndBrokenAnswersNeverBringThePointUp) {
    ilktest::kp_sim_process sim({"--serial", "pty", "--link", "2", "--object", "1:1=1"});
    settings_set_string("COM", "10", sim.serial_line());
    ASSERT_TRUE(sim.command("fault noise"));
    // Started once every component is initialised: a worker started by the port's own init
    // may read the device's log settings before the device has set them.
    store->init(nullptr, &poster);
    load(line_with_two_points(" num=\"10\"") + structure());
    store->start_devices(true);
    auto& device = get<t_dev_101>(dev2_key);
    // Waited for by what the log shows, not by the clock: a busy machine polls slower.
    bool came_up = false;
    auto logged = [&](const char* text) {
        return wait_for([&] {
            came_up = came_up || device.is_connected();
            return read_bytes(device.log_file()).find(to_cp1251(text)) != std::string::npos;
        }, 30);
    };
    EXPECT_TRUE(logged("ERR | НЕОЖИДАННЫЙ БАЙТ"))
        << device.log_file() << ":\n"
        << read_bytes(device.log_file()) << port().log_file() << ":\n"
        << read_bytes(port().log_file()) << "worker running: " << port().worker_running();
    ASSERT_TRUE(sim.command("fault bad-crc"));
    EXPECT_TRUE(logged("ERR | ОШИБКА crc8 (0D <> 0E)")) << read_bytes(device.log_file());
    drain();
    EXPECT_FALSE(came_up || device.is_connected());
    // Healed, the point comes up.
    ASSERT_TRUE(sim.command("fault none"));
    ASSERT_TRUE(wait_for([&] { return device.is_connected(); }));
}
#endif

TEST_F(SerialLine, MissingDeviceIsTriedEverySecondAndKeepsPointsOutOfControl) {
    settings_set_string("COM", "8", station_dir() + "no-such-tty");
    ASSERT_TRUE(nx_log::main().open("", 1000000, 0));
    // Only what this run writes counts: the logs outlive a repeated test.
    auto fresh = [](const std::string& file, std::size_t from) {
        std::string text = read_bytes(file);
        return from < text.size() ? text.substr(from) : std::string();
    };
    const std::string port_file = logs_directory() + "com 8 - D.0000.log";
    const std::string dev_file = logs_directory() + "101 2 - D.0000.0000.log";
    const std::size_t port_from = read_bytes(port_file).size();
    const std::size_t dev_from = read_bytes(dev_file).size();
    const std::size_t main_from = read_bytes(nx_log::main().file_name()).size();
    run_devices();
    load(line_with_two_points(" num=\"8\" log=\"1\"") + structure());
    ASSERT_TRUE(port().worker_running());
    auto* dev2 = static_cast<i_updater*>(&get<t_dev_101>(dev2_key));
    auto* dev10 = static_cast<i_updater*>(&get<t_dev_101>(dev10_key));
    const std::string failure = to_cp1251("ERR | не удалось открыть порт " + station_dir() +
                                          "no-such-tty. GetLastError: 2 (2) ");
    // Three attempts are awaited however busy the machine is; they must not come faster than
    // one a second after the first.
    const auto started = steady::now();
    const auto until = started + std::chrono::seconds(30);
    while (count_of(fresh(port_file, port_from), failure) < 3 && steady::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(steady::now() - started).count();
    store->start_devices(false);
    EXPECT_EQ(port().log_file(), port_file);
    const std::string log = fresh(port_file, port_from);
    const std::size_t attempts = count_of(log, failure);
    EXPECT_GE(attempts, 3u) << log;
    EXPECT_GE(waited, 1500) << log;
    EXPECT_LE(attempts, static_cast<std::size_t>(waited / 1000 + 2)) << log;
    // Every attempt tells both points that they are out of control.
    EXPECT_GE(poster.count(dev2), static_cast<int>(attempts));
    EXPECT_GE(poster.count(dev10), static_cast<int>(attempts));
    drain();
    EXPECT_FALSE(get<t_dev_101>(dev2_key).is_connected());
    EXPECT_EQ(get<t_dev_101>(dev2_key).log_file(), dev_file);
    // The first attempt may come before the device's own init (which follows the port's)
    // gave it its log file; every later one is in it.
    const std::size_t in_device_log = count_of(fresh(dev_file, dev_from), failure);
    EXPECT_LE(in_device_log, attempts);
    EXPECT_GE(in_device_log + 1, attempts);
    EXPECT_EQ(count_of(fresh(nx_log::main().file_name(), main_from), failure), attempts);
}
