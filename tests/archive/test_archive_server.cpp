#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "tests/archive/pg_throwaway.h"
#include "tests/support/test_support.h"

#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

using namespace nxkit;

namespace {

class ArchiveServer : public testing::Test {
protected:
    void SetUp() override {
        if (ilktest::pg_throwaway::binaries().empty())
            GTEST_SKIP() << "PostgreSQL server binaries (package postgresql) are not installed";
        server_ = std::make_unique<ilktest::pg_throwaway>(dir_.path());
        std::string error;
        ASSERT_TRUE(server_->start(error)) << error;
        // The password is found by libpq in the PostgreSQL password file, nowhere else.
        setenv("PGPASSFILE", server_->passfile().c_str(), 1);
        location_.dialect = archive_dialect::postgresql;
        location_.host = "127.0.0.1";
        location_.port = server_->port();
        location_.database = ilktest::pg_throwaway::database;
        location_.user = ilktest::pg_throwaway::user;
    }
    void TearDown() override { unsetenv("PGPASSFILE"); }

    archive_options options() {
        archive_options o;
        o.location = location_;
        o.queue_file = dir_.path() + "archive_queue.sqlite";
        o.retry_ms = 200;
        o.retention_every_ms = 3600000;
        return o;
    }

    ilktest::temp_dir dir_;
    std::unique_ptr<ilktest::pg_throwaway> server_;
    archive_location location_;
};

archive_row change(int signal, std::int64_t t, int value) {
    archive_row r;
    r.key = "s1_1_" + std::to_string(signal);
    r.name = "Q" + std::to_string(signal);
    r.time_ms = t;
    r.value = value;
    r.text = value != 0 ? "ВКЛЮЧЕН" : "ОТКЛЮЧЕН";
    return r;
}

archive_row measured(int signal, std::int64_t t, double value) {
    archive_row r;
    r.key = "i1_1_" + std::to_string(signal);
    r.time_ms = t;
    r.kind = archive_kind::measurement;
    r.value = value;
    return r;
}

} // namespace

TEST_F(ArchiveServer, SameRowsAsSQLiteAndTheSeriesReadsThem) {
    {
        archive_writer writer(options(), {});
        writer.add(change(3, 1000, 0));
        writer.add(change(3, 1000, 1));
        writer.add(measured(4, 1000, 231.5));
        writer.add(measured(4, 2000, 12));
        writer.end_pass();
        ASSERT_TRUE(writer.flush());
        EXPECT_EQ(writer.counters().written, 4);
        EXPECT_EQ(writer.counters().queued, 0);
    }
    archive_reader reader(location_);
    std::vector<std::string> rows;
    reader.run_and_wait([&](archive_db* db, const std::string& error) {
        ASSERT_NE(db, nullptr) << error;
        QSqlQuery q(db->db());
        ASSERT_TRUE(q.exec("SELECT s.key, s.name, e.t, e.kind, e.seq, e.value, e.quality, e.text "
                           "FROM event e JOIN signal s ON s.id = e.sig ORDER BY e.t, e.seq"));
        while (q.next()) {
            std::string line;
            for (int c = 0; c < 8; ++c)
                line += (c ? "|" : "") + q.value(c).toString().toStdString();
            rows.push_back(line);
        }
    });
    EXPECT_EQ(rows, (std::vector<std::string>{"s1_1_3|Q3|1000|1|0|0|0|ОТКЛЮЧЕН",
                                              "s1_1_3|Q3|1000|1|1|1|0|ВКЛЮЧЕН"}));
    std::vector<archive_sample> expected{{1000, 231.5, 0}, {2000, 12, 0}};
    EXPECT_EQ(reader.series("i1_1_4", 1500, 3000), expected);
    archive_query query;
    query.text = "вкл";
    std::vector<archive_found> found = reader.search(query, {}, 10);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].key, "s1_1_3");
    EXPECT_EQ(found[0].seq, 1);
}

TEST_F(ArchiveServer, ServerStoppedMidStreamLosesNothingAndDuplicatesNothing) {
    std::vector<std::string> said;
    std::mutex said_lock;
    auto report = [&](const std::string& s) {
        std::lock_guard guard(said_lock);
        said.push_back(s);
    };
    constexpr int passes = 300;
    {
        archive_writer writer(options(), report);
        for (int pass = 0; pass < passes; ++pass) {
            for (int k = 0; k < 20; ++k) {
                writer.add(change(k, 100000 + pass * 10, (pass + k) % 2));
                writer.add(measured(k, 100000 + pass * 10, pass + k * 0.25));
            }
            writer.end_pass();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (pass == 100) {
                ASSERT_TRUE(server_->stop());
            }
            if (pass == 200) {
                std::string error;
                ASSERT_TRUE(server_->start(error)) << error;
            }
            if (pass == 150) {
                ASSERT_TRUE(writer.flush());
                EXPECT_GT(writer.counters().in_queue, 0);
            }
        }
        ASSERT_TRUE(writer.flush());
        // The queue goes out with the next rounds once the server is back.
        for (int i = 0; i < 200 && writer.counters().in_queue > 0; ++i) {
            writer.wake_for_retention();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        archive_counters c = writer.counters();
        EXPECT_EQ(c.in_queue, 0);
        EXPECT_EQ(c.dropped, 0);
        EXPECT_GT(c.queued, 0);
    }
    archive_reader reader(location_);
    std::set<std::string> events, measurements;
    long long event_rows = 0, measurement_rows = 0;
    reader.run_and_wait([&](archive_db* db, const std::string& error) {
        ASSERT_NE(db, nullptr) << error;
        QSqlQuery q(db->db());
        ASSERT_TRUE(q.exec("SELECT s.key, e.t, e.value FROM event e JOIN signal s ON s.id = "
                           "e.sig"));
        while (q.next()) {
            ++event_rows;
            events.insert(q.value(0).toString().toStdString() + "@" +
                          q.value(1).toString().toStdString() + "=" +
                          q.value(2).toString().toStdString());
        }
        ASSERT_TRUE(q.exec("SELECT sig, t FROM measurement"));
        while (q.next()) {
            ++measurement_rows;
            measurements.insert(q.value(0).toString().toStdString() + "@" +
                                q.value(1).toString().toStdString());
        }
    });
    EXPECT_EQ(event_rows, passes * 20);
    EXPECT_EQ(measurement_rows, passes * 20);
    EXPECT_EQ(events.size(), static_cast<std::size_t>(passes * 20));
    EXPECT_EQ(measurements.size(), static_cast<std::size_t>(passes * 20));
    for (int pass = 0; pass < passes; pass += 37)
        for (int k = 0; k < 20; k += 7)
            EXPECT_EQ(events.count("s1_1_" + std::to_string(k) + "@" +
                                   std::to_string(100000 + pass * 10) + "=" +
                                   std::to_string((pass + k) % 2)),
                      1u);
    std::lock_guard guard(said_lock);
    ASSERT_GE(said.size(), 2u);
    EXPECT_EQ(said[0].substr(0, said[0].find('(')), "архив: сервер '127.0.0.1' недоступен ");
    bool back = false;
    for (const std::string& s : said)
        back = back || s == "архив: сервер '127.0.0.1' снова доступен";
    EXPECT_TRUE(back);
}
