// Sequence of events: every telesignal change a controlled point reports with its own time tag
// reaches the journal, mes.log and the archive, in the order of the tags, while the update
// pass works on the settled state.
#include "tests/views/operator_views_fixture.h"

#include "archive/archive_recorder.h"
#include "archive/archive_sink.h"
#include "base/cp1251.h"
#include "config/config_classes.h"
#include "telemech/t_dev_104.h"
#include "telemech/telemech_classes.h"
#include "views/nx_view_mes.h"

#include <QAction>
#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QWidget>

using namespace nxkit;

namespace ilktest {
namespace {

struct row_list : i_archive_sink {
    void add(archive_row row) override { rows.push_back(std::move(row)); }
    void end_pass() override { ++passes; }
    std::vector<archive_row> rows;
    int passes = 0;
};

std::int64_t utc_ms(int h, int m, int s, int ms) {
    return QDateTime(QDate(2026, 12, 9), QTime(h, m, s, ms), Qt::LocalTime).toMSecsSinceEpoch();
}

nx_tm_object double_point(std::uint16_t ioa, std::uint8_t diq, int s, int ms, bool tagged = true) {
    nx_tm_object o;
    o.what = nx_tm_object::kind::double_point;
    o.octet = diq;
    o.ioa = ioa;
    o.time = nx_tm_time::from_time(time_encode(2026, 12, 9, 10, 0, s, ms));
    o.tagged = tagged;
    return o;
}

class journal_sequence_test : public testing::Test, protected qt_app_user {
protected:
    journal_sequence_test() {
        settings_set_int("LOG", "BEEP_FREC", 0);
        std::remove((station_dir() + "mes.log").c_str());
        for (auto& a : actions)
            a = new QAction(&owner);
        store = std::make_unique<t_ref_buff>();
        register_config_classes(*store);
        register_structure_classes(*store);
        register_telemech_classes(*store);
        store->register_class(tp_schema_root, [](t_ref_buff& s) {
            return std::make_unique<t_ref_root>(s, tp_schema_root);
        });
        view = std::make_unique<nx_view_mes>(
            *store, &owner, nx_view_mes::buttons{actions[0], actions[1], actions[2], actions[3]});
        view->set_archive(&archive);
        store->add_viewer(view.get());
        write_bytes(station_dir() + "refs.ini",
                    to_cp1251("<struct>\r\n<REFs version=\"1\">\r\n<ref tp=\"50\">\r\n"
                              "<ref tp=\"104\" addr=\"5\" con=\"127.0.0.1:1\">\r\n"
                              "<ref tp=\"52\" addr=\"11\" canal=\"1\" kp=\"2\" num=\"7\"/>\r\n"
                              "<ref tp=\"52\" addr=\"12\" canal=\"1\" kp=\"2\" num=\"8\"/>\r\n"
                              "</ref>\r\n</ref>\r\n"
                              "<ref tp=\"40\">\r\n<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"42\" "
                              "num=\"2\" title=\"Ячейка Л-1\">\r\n<ref tp=\"1\" num=\"7\" "
                              "title=\"Q1\"/>\r\n<ref tp=\"1\" num=\"8\" title=\"QS1\"/>\r\n"
                              "</ref>\r\n</ref>\r\n</ref>\r\n</REFs>\r\n</struct>\r\n"));
        store->load();
    }
    ~journal_sequence_test() override {
        store->remove_viewer(view.get());
        view.reset();
        store.reset();
    }

    t_dev_104& device() { return dynamic_cast<t_dev_104&>(store->find("D.0000")); }

    // What the worker does with one ASDU, then the hand-over and one update pass.
    void receive(std::vector<nx_tm_object> objects) {
        device().put_objects(objects.data(), objects.size());
        store->hand_over(device(), store->generation());
    }
    void pass() { store->update_pass(); }

    std::vector<std::string> lines() {
        std::vector<std::string> out;
        for (int r = 0; r < view->model().rowCount(); ++r) {
            const journal_line& l = view->model().line(r);
            out.push_back((l.key + " " + l.state + " " + l.time_text).toStdString());
        }
        return out;
    }

    QWidget owner;
    QAction* actions[4] = {};
    row_list archive;
    std::unique_ptr<t_ref_buff> store;
    std::unique_ptr<nx_view_mes> view;
};

using JournalSequence = journal_sequence_test;

TEST_F(JournalSequence, ABurstInsideOnePassGivesEveryChangeInTheOrderOfItsTags) {
    receive({double_point(11, 2, 0, 0), double_point(12, 1, 0, 0)});
    pass();
    ASSERT_TRUE(lines().empty()) << "the first state after start only records the signal";

    // A trip, a reclose and a second trip of Q1 in one ASDU, and a trip and reclose of QS1 that
    // leave it where it was: one pass.
    receive({double_point(11, 1, 1, 100), double_point(11, 2, 1, 350), double_point(12, 2, 1, 400),
             double_point(11, 1, 1, 600)});
    receive({double_point(12, 1, 1, 700)});
    pass();
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "s1_2_7 ОТКЛЮЧЕН 10:00:01.100 09.12.26",
                           "s1_2_7 ВКЛЮЧЕН 10:00:01.350 09.12.26",
                           "s1_2_8 ВКЛЮЧЕН 10:00:01.400 09.12.26",
                           "s1_2_7 ОТКЛЮЧЕН 10:00:01.600 09.12.26",
                           "s1_2_8 ОТКЛЮЧЕН 10:00:01.700 09.12.26",
                       }));
    // The displays work on the settled state.
    auto& q1 = dynamic_cast<t_struct_ts&>(store->find("K.0000.0000.0000"));
    EXPECT_EQ(q1.value(), 0);

    // Numbers follow the new order.
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(view->model().line(r).number, r + 1);
    // mes.log holds the same lines, one each, in the same order.
    std::string mes = from_cp1251(read_bytes(station_dir() + "mes.log"));
    std::size_t at = 0;
    for (const char* part :
         {"\ts1_2_7\tОТКЛЮЧЕН\t10:00:01.100 09.12.26\tавто\tнр [0] (s1_2_7) Q1 (Ячейка Л-1)\r\n",
          "\ts1_2_7\tВКЛЮЧЕН\t10:00:01.350 09.12.26\tавто\t",
          "\ts1_2_8\tВКЛЮЧЕН\t10:00:01.400 09.12.26\tавто\t",
          "\ts1_2_7\tОТКЛЮЧЕН\t10:00:01.600 09.12.26\tавто\t",
          "\ts1_2_8\tОТКЛЮЧЕН\t10:00:01.700 09.12.26\tавто\t"}) {
        std::size_t found = mes.find(part, at);
        EXPECT_NE(found, std::string::npos) << part;
        at = found == std::string::npos ? at : found + 1;
    }
    EXPECT_EQ(mes.find("10:00:01.100", mes.find("10:00:01.100") + 1), std::string::npos);

    // The archive got them all, with the tags as times, in the same order.
    ASSERT_EQ(archive.rows.size(), 5u);
    struct expected_row {
        const char* key;
        std::int64_t t;
        double value;
        const char* text;
    };
    const expected_row expected[] = {{"s1_2_7", utc_ms(10, 0, 1, 100), 0, "ОТКЛЮЧЕН"},
                                     {"s1_2_7", utc_ms(10, 0, 1, 350), 1, "ВКЛЮЧЕН"},
                                     {"s1_2_8", utc_ms(10, 0, 1, 400), 1, "ВКЛЮЧЕН"},
                                     {"s1_2_7", utc_ms(10, 0, 1, 600), 0, "ОТКЛЮЧЕН"},
                                     {"s1_2_8", utc_ms(10, 0, 1, 700), 0, "ОТКЛЮЧЕН"}};
    for (std::size_t i = 0; i < 5; ++i) {
        const archive_row& r = archive.rows[i];
        EXPECT_EQ(r.key, expected[i].key) << i;
        EXPECT_EQ(r.time_ms, expected[i].t) << i;
        EXPECT_EQ(r.value, expected[i].value) << i;
        EXPECT_EQ(r.text, expected[i].text) << i;
        EXPECT_EQ(r.kind, archive_kind::change);
        EXPECT_EQ(r.quality, 0u);
    }
    EXPECT_EQ(archive.rows[0].name, "Q1 (Ячейка Л-1)");
    EXPECT_GE(archive.passes, 2);

    // Untagged objects keep the old way: the pass sees the last of them only.
    archive.rows.clear();
    receive({double_point(11, 2, 2, 0, false), double_point(11, 1, 2, 10, false),
             double_point(11, 2, 2, 20, false)});
    pass();
    ASSERT_EQ(lines().size(), 6u);
    EXPECT_EQ(lines().back(), "s1_2_7 ВКЛЮЧЕН 10:00:02.020 09.12.26");
    EXPECT_EQ(archive.rows.size(), 1u);
}

TEST_F(JournalSequence, AcknowledgementGoesIntoTheArchiveNamingItsLine) {
    receive({double_point(11, 2, 0, 0)});
    pass();
    receive({double_point(11, 1, 3, 250)});
    pass();
    ASSERT_EQ(lines().size(), 1u);
    archive.rows.clear();
    const int passes = archive.passes;
    view->run(1, 0);
    ASSERT_EQ(archive.rows.size(), 1u);
    const archive_row& ack = archive.rows[0];
    EXPECT_EQ(ack.key, "s1_2_7");
    EXPECT_EQ(ack.kind, archive_kind::acknowledge);
    EXPECT_EQ(ack.time_ms, utc_ms(10, 0, 3, 250));
    EXPECT_NEAR(ack.value, static_cast<double>(QDateTime::currentMSecsSinceEpoch()), 60000.0);
    EXPECT_EQ(ack.text, "квитировано");
    EXPECT_EQ(archive.passes, passes + 1) << "an acknowledgement is sent at once";
    view->run(1, 0);
    EXPECT_EQ(archive.rows.size(), 1u) << "a line acknowledged again is not archived again";
}

TEST_F(JournalSequence, ConnectionsWonAndLostGoIntoTheArchive) {
    row_list rows;
    archive_recorder_settings settings;
    settings.clock = [] { return std::int64_t{1796810400000}; };
    archive_recorder recorder(*store, rows, settings);
    recorder.attach();
    device().link_up();
    store->hand_over(device(), store->generation());
    pass();
    device().link_down();
    store->hand_over(device(), store->generation());
    pass();
    std::vector<std::string> seen;
    for (const archive_row& r : rows.rows)
        seen.push_back(r.key + " " + std::to_string(static_cast<int>(r.kind)) + " " +
                       std::to_string(static_cast<int>(r.value)) + " q" +
                       std::to_string(r.quality) + " " + r.text + " " + r.name + " " +
                       std::to_string(r.time_ms));
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "D.0000 5 1 q0 связь есть " + device().display_name() + " 1796810400000",
                        "D.0000 5 0 q2 нет связи " + device().display_name() + " 1796810400000"}));
}

} // namespace
} // namespace ilktest
