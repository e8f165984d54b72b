#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "config/config_classes.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_ts.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"
#include "tests/pki/test_pki.h"
#include "tests/support/test_support.h"
#include "tests/telemech/kp_sim_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

using namespace nxkit;
using ilktest::read_bytes;
using ilktest::station_dir;
using ilktest::test_pki;
using ilktest::write_bytes;

namespace {

class queue_poster : public i_update_poster {
public:
    void post_update(i_updater* updater, int generation) override {
        std::lock_guard guard(lock_);
        queued_.emplace_back(updater, generation);
    }
    std::vector<std::pair<i_updater*, int>> take() {
        std::lock_guard guard(lock_);
        return std::exchange(queued_, {});
    }

private:
    std::mutex lock_;
    std::vector<std::pair<i_updater*, int>> queued_;
};

const std::string structure = "<ref tp=\"40\" title=\"Структура\">\r\n<ref tp=\"41\" num=\"1\">\r\n"
                              "<ref tp=\"42\" num=\"2\">\r\n<ref tp=\"1\" num=\"7\"/>\r\n"
                              "</ref>\r\n</ref>\r\n</ref>\r\n";

class tls_device_test : public testing::Test {
protected:
    tls_device_test() {
        register_config_classes(*store);
        register_structure_classes(*store);
        register_telemech_classes(*store);
        store->register_class(tp_schema_root, [](t_ref_buff& s) {
            return std::make_unique<t_ref_root>(s, tp_schema_root);
        });
    }
    ~tls_device_test() override {
        store->start_devices(false);
        std::error_code ec;
        std::filesystem::remove_all(station_dir() + "pki", ec);
    }

    void load(const std::string& attributes) {
        std::string body = "<ref tp=\"50\" title=\"Оборудование\">\r\n<ref tp=\"104\"" +
                           attributes +
                           ">\r\n<ref tp=\"51\" addr=\"10\" canal=\"1\" kp=\"2\" num=\"7\"/>\r\n"
                           "</ref>\r\n</ref>\r\n" +
                           structure;
        write_bytes(station_dir() + "refs.ini", to_cp1251("<struct>\r\n<REFs version=\"1\">\r\n" +
                                                          body + "</REFs>\r\n</struct>\r\n"));
        store->load();
    }
    t_dev_104& dev() { return dynamic_cast<t_dev_104&>(*store->get("D.0000")); }

    template <class F> bool wait_for(F done) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            for (auto [updater, generation] : poster.take())
                store->hand_over(*updater, generation);
            store->update_pass();
        }
        return done();
    }

    queue_poster poster;
    std::unique_ptr<t_ref_buff> store = std::make_unique<t_ref_buff>();
};

using Device104Tls = tls_device_test;

std::string row(t_dev_104& device, int index) {
    std::string value;
    std::string name;
    if (!device.get_parameter(index, value, name))
        return "(none)";
    return name + "=" + value;
}

} // namespace

TEST_F(Device104Tls, SettingsRowsSaveOnlyWhatDiffersFromPlainTcp) {
    load(" addr=\"5\" lcn=\"0\" con=\"127.0.0.1:2405\"");
    EXPECT_FALSE(dev().tls_on());
    EXPECT_EQ(row(dev(), 11), "TLS (IEC 62351-3)=нет");
    EXPECT_EQ(row(dev(), 12), "• файл УЦ=");
    EXPECT_EQ(row(dev(), 15), "• проверка имени=да");
    EXPECT_EQ(row(dev(), 17), "• список отзыва (CRL)=");
    EXPECT_EQ(row(dev(), 18), "• смена ключей, мин=60");
    EXPECT_EQ(row(dev(), 19), "• смена ключей, МБ=100");
    EXPECT_EQ(row(dev(), 20), "(none)");
    EXPECT_EQ(dev().tls().key_update_ms, 3600000);
    EXPECT_EQ(dev().tls().key_update_bytes, 100LL * 1024 * 1024);
    EXPECT_EQ(dev().tls().crl_file, "");
    choice_list choices;
    EXPECT_EQ(dev().parameter_editor(11, choices), editor_choice_only);
    ASSERT_EQ(choices.size(), 2u);
    EXPECT_EQ(choices[0].text, "да");
    EXPECT_EQ(dev().parameter_editor(13, choices), editor_free_text);

    dev().set_parameter(11, "да");
    dev().set_parameter(12, " pki/ca.pem ");
    dev().set_parameter(13, "pki/station.pem");
    dev().set_parameter(14, "/etc/ilk/station-key.pem");
    dev().set_parameter(15, "нет");
    dev().set_parameter(16, "kp5.example");
    dev().set_parameter(17, "pki/ca.crl");
    dev().set_parameter(18, "30");
    dev().set_parameter(19, " 0 ");
    for (const char* bad : {"", "-1", "1.5", "100001", "x"}) {
        try {
            dev().set_parameter(18, bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const nx_exception& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Смена ключей TLS, мин: целое число от 0 до 100000 (0 - не по этой мере)");
        }
    }
    EXPECT_EQ(row(dev(), 18), "• смена ключей, мин=30");
    EXPECT_EQ(row(dev(), 12), "• файл УЦ=pki/ca.pem");
    EXPECT_EQ(row(dev(), 14), "• ключ=/etc/ilk/station-key.pem");
    EXPECT_EQ(row(dev(), 16), "• имя КП=kp5.example");
    // Relative files are the station folder's.
    tls_settings settings = dev().tls();
    EXPECT_EQ(settings.ca_file, station_dir() + "pki/ca.pem");
    EXPECT_EQ(settings.certificate, station_dir() + "pki/station.pem");
    EXPECT_EQ(settings.key, "/etc/ilk/station-key.pem");
    EXPECT_FALSE(settings.check_name);
    EXPECT_EQ(settings.peer_name, "kp5.example");
    EXPECT_EQ(settings.crl_file, station_dir() + "pki/ca.crl");
    EXPECT_EQ(settings.key_update_ms, 30 * 60000);
    EXPECT_EQ(settings.key_update_bytes, 0);

    store->save();
    std::string saved = from_cp1251(read_bytes(station_dir() + "refs.ini"));
    EXPECT_NE(
        saved.find("<ref tp=\"104\" addr=\"5\" p100=\"-1\" p103=\"-2\" lcn=\"0\" lsz=\"1000\" "
                   "con=\"127.0.0.1:2405\" tls=\"1\" "
                   "tca=\"pki/ca.pem\" tcrt=\"pki/station.pem\" "
                   "tkey=\"/etc/ilk/station-key.pem\" tchk=\"0\" tname=\"kp5.example\" "
                   "tcrl=\"pki/ca.crl\" tkum=\"30\" tkub=\"0\">"),
        std::string::npos)
        << saved;
    store->load();
    EXPECT_TRUE(dev().tls_on());
    EXPECT_EQ(row(dev(), 15), "• проверка имени=нет");
    EXPECT_EQ(row(dev(), 13), "• сертификат=pki/station.pem");
    EXPECT_EQ(row(dev(), 17), "• список отзыва (CRL)=pki/ca.crl");
    EXPECT_EQ(row(dev(), 19), "• смена ключей, МБ=0");

    // Switched off again, the device's line is the plain one.
    dev().set_parameter(11, "нет");
    dev().set_parameter(12, "");
    dev().set_parameter(13, "");
    dev().set_parameter(14, "");
    dev().set_parameter(15, "да");
    dev().set_parameter(16, "");
    dev().set_parameter(17, "");
    dev().set_parameter(18, "60");
    dev().set_parameter(19, "100");
    store->save();
    saved = from_cp1251(read_bytes(station_dir() + "refs.ini"));
    EXPECT_NE(saved.find("lsz=\"1000\" con=\"127.0.0.1:2405\">\r\n"), std::string::npos) << saved;
}

#ifdef KP_SIM_BINARY
TEST_F(Device104Tls, ConnectsWithStationFilesAndNamesTheRefusalInItsProtocolLog) {
    std::filesystem::create_directories(station_dir() + "pki");
    test_pki pki(station_dir() + "pki", "station");
    test_pki::issued station = pki.issue("station", "ilkstation");
    test_pki::issued good = pki.issue("kp-good", "127.0.0.1");
    test_pki::issued expired = pki.issue("kp-expired", "127.0.0.1", -7200, -3600);
    auto sim_with = [&](const test_pki::issued& server) {
        return std::make_unique<ilktest::kp_sim_process>(std::vector<std::string>{
            "--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "1:10=1", "--tls-cert",
            server.certificate, "--tls-key", server.key, "--tls-ca", pki.ca_file()});
    };
    auto good_sim = sim_with(good);
    auto expired_sim = sim_with(expired);
    const std::string files = " tls=\"1\" tca=\"pki/station-ca.pem\" tcrt=\"pki/station.pem\" "
                              "tkey=\"pki/station-key.pem\"";

    store->init(nullptr, &poster);
    store->start_devices(true);
    load(" addr=\"5\" con=\"127.0.0.1:" + std::to_string(good_sim->port()) + "\"" + files);
    auto& signal = dynamic_cast<t_struct_ts&>(*store->get("K.0000.0000.0000"));
    ASSERT_TRUE(wait_for([&] { return signal.control(); }));
    EXPECT_EQ(signal.value(), 1);
    EXPECT_EQ(dev().connection_failure(), "");

    load(" addr=\"5\" con=\"127.0.0.1:" + std::to_string(expired_sim->port()) + "\"" + files);
    ASSERT_TRUE(wait_for([&] { return !dev().connection_failure().empty(); }));
    EXPECT_EQ(dev().connection_failure(), "TLS: сертификат просрочен");
    EXPECT_FALSE(dev().is_connected());
    // The load made the signal anew.
    EXPECT_FALSE(dynamic_cast<t_struct_ts&>(*store->get("K.0000.0000.0000")).control());
    store->start_devices(false);
    // The device's protocol log (on by default) has the line as the program log has it.
    std::string protocol = from_cp1251(read_bytes(dev().log_file()));
    EXPECT_NE(
        protocol.find("5: не удалось создать соединение 127.0.0.1. TLS: сертификат просрочен"),
        std::string::npos)
        << protocol;
}
#endif
