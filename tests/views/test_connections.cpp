// The connections view: the alarm picture of the "Подключение" button and the list of devices
// without connection, against real IEC 104 devices and kp-sim.
#include "tests/views/operator_views_fixture.h"

#include "config/config_classes.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"
#include "views/nx_view_con.h"

#ifdef KP_SIM_BINARY
#include "tests/pki/test_pki.h"
#include "tests/telemech/kp_sim_process.h"
#endif

#include <QAction>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

using namespace nxkit;

namespace ilktest {
namespace {

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

// A port nobody listens on (tcpmux: refused on any test machine).
int closed_port() {
    return 1;
}

class connections_test : public testing::Test, protected qt_app_user {
protected:
    connections_test() {
        button = new QAction(&anchor);
        button->setCheckable(true);
        button->setChecked(true);
        store = std::make_unique<t_ref_buff>();
        register_config_classes(*store);
        register_structure_classes(*store);
        register_telemech_classes(*store);
        store->register_class(tp_schema_root, [](t_ref_buff& s) {
            return std::make_unique<t_ref_root>(s, tp_schema_root);
        });
        view = std::make_unique<nx_view_con>(*store, button);
        view->set_anchor(&anchor);
        store->add_viewer(view.get());
        store->init(nullptr, &poster);
    }
    ~connections_test() override {
        store->start_devices(false);
        store->remove_viewer(view.get());
        view.reset();
        store.reset();
    }

    static std::string device(int addr, int port, const std::string& more = {}) {
        return "<ref tp=\"104\" addr=\"" + std::to_string(addr) + "\" title=\"КП " +
               std::to_string(addr) + "\" con=\"127.0.0.1:" + std::to_string(port) + "\"" + more +
               "/>\r\n";
    }

    void load(const std::string& devices) {
        write_bytes(station_dir() + "refs.ini",
                    to_cp1251("<struct>\r\n<REFs version=\"1\">\r\n<ref tp=\"50\">\r\n" + devices +
                              "</ref>\r\n</REFs>\r\n</struct>\r\n"));
        store->load();
    }

    void drain() {
        for (auto [updater, generation] : poster.take())
            store->hand_over(*updater, generation);
        store->update_pass();
    }

    template <class F> bool wait_for(F done, int seconds = 15) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            drain();
        }
        return done();
    }

    static std::vector<std::string> texts(const std::vector<menu_item>& items) {
        std::vector<std::string> out;
        for (const menu_item& item : items)
            out.push_back(item.text);
        return out;
    }

    QWidget anchor;
    QAction* button = nullptr;
    queue_poster poster;
    std::unique_ptr<t_ref_buff> store;
    std::unique_ptr<nx_view_con> view;
};

using Connections = connections_test;

TEST_F(Connections, DevicesWithoutConnectionRaiseTheAlarmAndFillTheList) {
    QPixmap blue(16, 16);
    blue.fill(Qt::blue);
    button->setIcon(QIcon(blue));
    load(device(3, closed_port()) + device(4, closed_port(), " lock=\"1\"") +
         device(5, closed_port()));
    store->start_devices(true);
    ASSERT_TRUE(wait_for([&] { return view->disconnected().size() == 2; }));
    EXPECT_TRUE(view->alarm_shown());
    // A locked device is never listed.
    EXPECT_EQ(view->disconnected().count("D.0001"), 0U);

    scripted_prompt prompt;
    prompt.expect_menu(1);
    view->show_disconnected();
    ASSERT_EQ(prompt.menus().size(), 1U);
    EXPECT_EQ(prompt.menu_anchors()[0], &anchor);
    const auto& items = prompt.menus()[0];
    ASSERT_EQ(items.size(), 3U);
    EXPECT_EQ(items[0].text, "Нет подключения:");
    EXPECT_EQ(items[1].text, store->find("D.0000").display_name());
    EXPECT_EQ(items[1].text.rfind("(кп 3) 127.0.0.1:1 ", 0), 0U) << items[1].text;
    EXPECT_EQ(items[2].command, 2);
    EXPECT_EQ(items[2].text, store->find("D.0002").display_name());
    EXPECT_FALSE(view->list_open());

    // Pressed: the alarm picture; released: the button's own.
    QImage pressed = button->icon().pixmap(16, 16, QIcon::Normal, QIcon::On).toImage();
    QImage released = button->icon().pixmap(16, 16, QIcon::Normal, QIcon::Off).toImage();
    // Inside the alarm picture's frame, clear of its mark.
    EXPECT_EQ(QColor(pressed.pixel(4, 4)), QColor(255, 200, 0));
    EXPECT_EQ(QColor(released.pixel(4, 4)), QColor(Qt::blue));

    // While the button is released the pictures stay; pressing it again shows the state.
    button->setChecked(false);
    view->on_unload();
    EXPECT_TRUE(view->alarm_shown());
    button->setChecked(true);
    EXPECT_FALSE(view->alarm_shown());
    EXPECT_EQ(QColor(button->icon().pixmap(16, 16, QIcon::Normal, QIcon::On).toImage().pixel(4, 4)),
              QColor(Qt::blue));
}

TEST_F(Connections, AllConnectedOpensNothing) {
    load(device(4, closed_port(), " lock=\"1\""));
    store->start_devices(true);
    drain();
    scripted_prompt prompt;
    view->show_disconnected();
    EXPECT_TRUE(prompt.menus().empty());
    EXPECT_FALSE(view->alarm_shown());
}

#ifdef KP_SIM_BINARY
TEST_F(Connections, AlarmFollowsKpSimStoppedAndStarted) {
    auto sim = std::make_unique<kp_sim_process>(
        std::vector<std::string>{"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "1:10=1"});
    ASSERT_TRUE(sim->running());
    int port = sim->port();
    load(device(5, port));
    store->start_devices(true);
    ASSERT_TRUE(
        wait_for([&] { return dynamic_cast<t_dev_104&>(store->find("D.0000")).is_connected(); }));
    ASSERT_TRUE(wait_for([&] { return view->disconnected().empty(); }));
    EXPECT_FALSE(view->alarm_shown());

    sim->terminate();
    ASSERT_TRUE(wait_for([&] { return view->alarm_shown(); }));
    EXPECT_EQ(view->disconnected().count("D.0000"), 1U);

    // The list is open while the point comes back: it follows at once.
    sim = std::make_unique<kp_sim_process>(std::vector<std::string>{
        "--endpoint", "127.0.0.1:" + std::to_string(port), "--ca", "5", "--object", "1:10=1"});
    ASSERT_TRUE(sim->running());
    scripted_prompt prompt;
    prompt.expect_menu(0);
    bool back = false;
    prompt.while_menu_open([&] { back = wait_for([&] { return !view->alarm_shown(); }, 30); });
    view->show_disconnected();
    EXPECT_TRUE(back);
    ASSERT_FALSE(prompt.menu_updates().empty());
    EXPECT_EQ(texts(prompt.menu_updates().back()), std::vector<std::string>{"Нет подключения:"});
}

TEST_F(Connections, RefusedTlsConnectionIsListedWithItsReason) {
    temp_dir dir;
    test_pki pki(dir.path(), "station");
    test_pki::issued station = pki.issue("station", "ilkstation");
    test_pki::issued other_name = pki.issue("kp", "10.20.30.40");
    kp_sim_process sim({"--endpoint", "127.0.0.1:0", "--ca", "5", "--object", "1:10=1",
                        "--tls-cert", other_name.certificate, "--tls-key", other_name.key});
    ASSERT_TRUE(sim.running());
    load(device(5, sim.port(),
                " tls=\"1\" tca=\"" + pki.ca_file() + "\" tcrt=\"" + station.certificate +
                    "\" tkey=\"" + station.key + "\""));
    store->start_devices(true);
    auto& point = dynamic_cast<t_dev_104&>(store->find("D.0000"));
    ASSERT_TRUE(wait_for([&] { return !point.connection_failure().empty(); }));

    scripted_prompt prompt;
    prompt.expect_menu(0);
    view->show_disconnected();
    ASSERT_EQ(prompt.menus().size(), 1U);
    EXPECT_EQ(texts(prompt.menus()[0]),
              (std::vector<std::string>{"Нет подключения:",
                                        point.display_name() +
                                            " — TLS: имя в сертификате не совпадает с 127.0.0.1"}));
}
#endif

} // namespace
} // namespace ilktest
