#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "tests/support/test_support.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

using namespace nxkit;

namespace {

archive_row event(const std::string& key, std::int64_t t, const std::string& state, double value,
                  std::uint32_t quality = 0, archive_kind kind = archive_kind::change) {
    archive_row r;
    r.key = key;
    r.name = "Q1 " + key;
    r.time_ms = t;
    r.kind = kind;
    r.value = value;
    r.quality = quality;
    r.text = state;
    return r;
}

archive_row measured(const std::string& key, std::int64_t t, double value,
                     std::uint32_t quality = 0) {
    archive_row r;
    r.key = key;
    r.name = "Ia " + key;
    r.time_ms = t;
    r.kind = archive_kind::measurement;
    r.value = value;
    r.quality = quality;
    return r;
}

// Every row of a table as text, in key order, read through a connection of the test's own.
std::vector<std::string> dump(const std::string& file, const std::string& sql) {
    std::vector<std::string> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "dump");
        db.setDatabaseName(QString::fromStdString(file));
        EXPECT_TRUE(db.open());
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(QString::fromStdString(sql))) << sql;
        while (query.next()) {
            std::string line;
            for (int c = 0; c < query.record().count(); ++c) {
                if (c != 0)
                    line += '|';
                line += query.value(c).toString().toStdString();
            }
            rows.push_back(line);
        }
    }
    QSqlDatabase::removeDatabase("dump");
    return rows;
}

struct reports {
    std::mutex lock;
    std::vector<std::string> lines;
    archive_writer::report_fn fn() {
        return [this](const std::string& s) {
            std::lock_guard guard(lock);
            lines.push_back(s);
        };
    }
    std::vector<std::string> taken() {
        std::lock_guard guard(lock);
        return lines;
    }
};

archive_options sqlite_options(const std::string& file) {
    archive_options o;
    o.location.file = file;
    o.retention_every_ms = 3600000;
    return o;
}

} // namespace

TEST(ArchiveWriter, ScriptedEventsGiveExactRows) {
    ilktest::temp_dir dir;
    const std::string file = dir.path() + "archive.sqlite";
    reports said;
    {
        archive_writer writer(sqlite_options(file), said.fn());
        // Pass 1: a trip and a reclose inside one millisecond, a measurement.
        writer.add(event("s1_2_3", 1000, "ОТКЛЮЧЕН", 0));
        writer.add(event("s1_2_3", 1000, "ВКЛЮЧЕН", 1));
        writer.add(measured("i1_2_4", 1000, 231.5));
        writer.end_pass();
        // Pass 2: acknowledgement, manual input, a connection, a bad-quality value.
        writer.add(event("s1_2_3", 1000, "квитировано", 2000, 0, archive_kind::acknowledge));
        writer.add(event("s1_2_5", 2001, "ручной ввод", 1, 4, archive_kind::manual_on));
        writer.add(event("D1_2", 2002, "нет связи", 0, 2, archive_kind::connection));
        writer.add(measured("i1_2_4", 2003, 12, 1));
        writer.end_pass();
        ASSERT_TRUE(writer.flush());
        archive_counters c = writer.counters();
        EXPECT_EQ(c.written, 7);
        EXPECT_EQ(c.dropped, 0);
    }
    EXPECT_EQ(dump(file, "SELECT id, key, name, find FROM signal ORDER BY id"),
              (std::vector<std::string>{
                  "1|s1_2_3|Q1 s1_2_3|s1_2_3 q1 s1_2_3", "2|i1_2_4|Ia i1_2_4|i1_2_4 ia i1_2_4",
                  "3|s1_2_5|Q1 s1_2_5|s1_2_5 q1 s1_2_5", "4|D1_2|Q1 D1_2|d1_2 q1 d1_2"}));
    EXPECT_EQ(dump(file, "SELECT sig, t, kind, seq, value, typeof(value), quality, text FROM event "
                         "ORDER BY t, sig, kind, seq"),
              (std::vector<std::string>{
                  "1|1000|1|0|0|integer|0|ОТКЛЮЧЕН", "1|1000|1|1|1|integer|0|ВКЛЮЧЕН",
                  "1|1000|2|0|2000|integer|0|квитировано", "3|2001|3|0|1|integer|4|ручной ввод",
                  "4|2002|5|0|0|integer|2|нет связи"}));
    EXPECT_EQ(dump(file, "SELECT sig, t, value, typeof(value), quality FROM measurement ORDER BY "
                         "sig, t"),
              (std::vector<std::string>{"2|1000|231.5|real|0", "2|2003|12|integer|1"}));
    EXPECT_EQ(dump(file, "PRAGMA journal_mode"), std::vector<std::string>{"wal"});
    EXPECT_TRUE(said.taken().empty());
}

TEST(ArchiveWriter, SearchPagesAndAcknowledgement) {
    ilktest::temp_dir dir;
    const std::string file = dir.path() + "archive.sqlite";
    {
        archive_writer writer(sqlite_options(file), {});
        for (int i = 0; i < 25; ++i) {
            writer.add(event(i % 2 == 0 ? "s1_1_1" : "s1_1_2", 10000 + i * 10,
                             i % 3 == 0 ? "ВКЛЮЧЕН" : "ОТКЛЮЧЕН", i % 3 == 0 ? 1 : 0));
            writer.end_pass();
        }
        // The line of 10040 (s1_1_1) is acknowledged.
        writer.add(event("s1_1_1", 10040, "квитировано", 50000, 0, archive_kind::acknowledge));
        ASSERT_TRUE(writer.flush());
    }
    archive_location where;
    where.file = file;
    archive_reader reader(where);

    // Pages of 10 walk every event once, in time order.
    archive_query all;
    std::vector<std::int64_t> times;
    archive_cursor cursor;
    int pages = 0;
    for (;;) {
        std::vector<archive_found> page = reader.search(all, cursor, 10);
        if (page.empty())
            break;
        ++pages;
        for (const archive_found& f : page)
            times.push_back(f.time_ms);
        cursor = archive_cursor::after(page.back());
    }
    EXPECT_EQ(pages, 3);
    ASSERT_EQ(times.size(), 26u);
    // The acknowledgement right after its line.
    EXPECT_EQ(times.front(), 10000);
    EXPECT_EQ(times[4], 10040);
    EXPECT_EQ(times[5], 10040);
    EXPECT_EQ(times[6], 10050);
    EXPECT_EQ(times[25], 10240);

    // Signal, range, text (without regard to case) and only unacknowledged.
    archive_query narrow;
    narrow.signal = "s1_1_1";
    narrow.from_ms = 10020;
    narrow.to_ms = 10100;
    narrow.text = "включен";
    std::vector<archive_found> found = reader.search(narrow, {}, 100);
    std::vector<std::string> seen;
    for (const archive_found& f : found)
        seen.push_back(std::to_string(f.time_ms) + " " + f.key + " " + f.text + " " +
                       (f.acknowledged ? "ack" : "-"));
    // "включен" is also in "ОТКЛЮЧЕН"? No: "отключен" holds "ключен", not "включен".
    EXPECT_EQ(seen, (std::vector<std::string>{"10060 s1_1_1 ВКЛЮЧЕН -"}));
    narrow.text = "ключен";
    narrow.only_unacknowledged = true;
    seen.clear();
    for (const archive_found& f : reader.search(narrow, {}, 100))
        seen.push_back(std::to_string(f.time_ms) + " " + f.text);
    EXPECT_EQ(seen, (std::vector<std::string>{"10020 ОТКЛЮЧЕН", "10060 ВКЛЮЧЕН", "10080 ОТКЛЮЧЕН",
                                              "10100 ОТКЛЮЧЕН"}));
    narrow.only_unacknowledged = false;
    narrow.text = "q1 s1_1";
    // Five changes of s1_1_1 in the range and the acknowledgement of 10040.
    EXPECT_EQ(reader.search(narrow, {}, 100).size(), 6u);

    // The series of a telesignal is its changes, with the one before the range first.
    std::vector<archive_sample> steps = reader.series("s1_1_2", 10050, 10090);
    std::vector<archive_sample> expected{
        {10030, 1, 0}, {10050, 0, 0}, {10070, 0, 0}, {10090, 1, 0}};
    EXPECT_EQ(steps, expected);
}

TEST(ArchiveWriter, RetentionByAgeAndBySize) {
    ilktest::temp_dir dir;
    const std::string file = dir.path() + "archive.sqlite";
    std::atomic<std::int64_t> now{100 * 86400000LL};
    archive_options o = sqlite_options(file);
    o.keep_days = 10;
    o.clock = [&] { return now.load(); };
    {
        archive_writer writer(o, {});
        // One event a day, days 85 to 99.
        for (int day = 85; day < 100; ++day)
            writer.add(event("s1_1_1", day * 86400000LL, "ВКЛЮЧЕН", 1));
        writer.add(measured("i1_1_1", 89 * 86400000LL, 5));
        writer.add(measured("i1_1_1", 90 * 86400000LL, 6));
        writer.end_pass();
        ASSERT_TRUE(writer.flush());
        writer.wake_for_retention();
        ASSERT_TRUE(writer.flush());
        // The worker ran the retention before it went idle again: give it a moment if not.
        for (int i = 0; i < 100 && dump(file, "SELECT COUNT(*) FROM event")[0] != "10"; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(dump(file, "SELECT MIN(t) / 86400000, COUNT(*) FROM event"),
              std::vector<std::string>{"90|10"});
    EXPECT_EQ(dump(file, "SELECT t / 86400000, value FROM measurement"),
              std::vector<std::string>{"90|6"});

    // By size: 200,000 measurements over 1000 seconds, cut to 1 MB by whole tenths of the
    // span, oldest first; the file gives the pages back.
    const std::string big = dir.path() + "big.sqlite";
    archive_options s = sqlite_options(big);
    s.max_bytes = 1 << 20;
    {
        archive_writer writer(s, {});
        for (int i = 0; i < 200000; ++i)
            writer.add(measured("i1_1_" + std::to_string(i % 20), 1000000 + i * 5, i * 0.5));
        writer.end_pass();
        ASSERT_TRUE(writer.flush(120000));
        writer.wake_for_retention();
        for (int i = 0; i < 200; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (std::stoll(dump(big, "SELECT COUNT(*) FROM measurement")[0]) < 200000)
                break;
        }
        ASSERT_TRUE(writer.flush());
    }
    std::vector<std::string> left = dump(big, "SELECT COUNT(*), MIN(t), MAX(t) FROM measurement");
    ASSERT_EQ(left.size(), 1u);
    long long count = std::stoll(left[0]);
    EXPECT_LT(count, 200000);
    EXPECT_GT(count, 20000);
    // What stayed is the newest, without a gap.
    EXPECT_EQ(left[0].substr(left[0].rfind('|') + 1), "1999995");
    long long min_t = std::stoll(left[0].substr(left[0].find('|') + 1));
    EXPECT_EQ((1999995 - min_t) / 5 + 1, count);
    std::vector<std::string> pages = dump(big, "SELECT page_count * page_size FROM "
                                               "pragma_page_count(), pragma_page_size()");
    EXPECT_LE(std::stoll(pages[0]), (1 << 20) + 64 * 1024)
        << dump(big, "PRAGMA auto_vacuum")[0] << " free " << dump(big, "PRAGMA freelist_count")[0];
}

TEST(ArchiveWriter, DamagedFileIsSetAsideAndANewOneStarted) {
    ilktest::temp_dir dir;
    const std::string file = dir.path() + "archive.sqlite";
    std::string junk(8192, 'x');
    junk.replace(0, 16, "not a database!!");
    ilktest::write_bytes(file, junk);
    reports said;
    {
        archive_writer writer(sqlite_options(file), said.fn());
        writer.add(event("s1_2_3", 5000, "ВКЛЮЧЕН", 1));
        writer.end_pass();
        ASSERT_TRUE(writer.flush());
        EXPECT_EQ(writer.counters().written, 1);
        EXPECT_EQ(writer.counters().set_aside, 1);
    }
    EXPECT_EQ(dump(file, "SELECT t, text FROM event"), std::vector<std::string>{"5000|ВКЛЮЧЕН"});
    // The damaged file kept its bytes under a name with the time.
    std::vector<std::string> lines = said.taken();
    ASSERT_EQ(lines.size(), 1u);
    const std::string prefix = "архив: файл '" + file + "' поврежден (";
    EXPECT_EQ(lines[0].substr(0, prefix.size()), prefix);
    std::size_t at = lines[0].find("сохранен как '");
    ASSERT_NE(at, std::string::npos);
    std::string aside = lines[0].substr(at + std::string("сохранен как '").size());
    aside = aside.substr(0, aside.find('\''));
    EXPECT_EQ(aside.substr(0, file.size() + 9), file + ".damaged-");
    EXPECT_EQ(aside.size(), file.size() + 9 + 15); // yyyyMMdd-HHmmss
    EXPECT_EQ(ilktest::read_bytes(aside), junk);
    EXPECT_NE(lines[0].find("начат новый"), std::string::npos);
}

TEST(ArchiveWriter, ABatchWrittenTwiceIsStoredOnce) {
    ilktest::temp_dir dir;
    archive_location where;
    where.file = dir.path() + "archive.sqlite";
    archive_db db(where, "twice");
    std::string error;
    ASSERT_TRUE(db.open(error)) << error;
    std::vector<archive_row> rows{event("s1", 1, "ВКЛЮЧЕН", 1), measured("i1", 1, 2.5)};
    ASSERT_TRUE(db.write(rows, error)) << error;
    rows.push_back(event("s1", 2, "ОТКЛЮЧЕН", 0));
    ASSERT_TRUE(db.write(rows, error)) << error;
    EXPECT_EQ(db.count_rows("event"), 2);
    EXPECT_EQ(db.count_rows("measurement"), 1);
}

TEST(ArchiveWriter, AnArchiveThatCannotBeOpenedCostsRowsAndOneLineNotTheInterface) {
    ilktest::temp_dir dir;
    const std::string file = dir.path() + "missing/archive.sqlite";
    reports said;
    {
        archive_writer writer(sqlite_options(file), said.fn());
        for (int pass = 0; pass < 100; ++pass) {
            writer.add(event("s1", 1000 + pass, "ВКЛЮЧЕН", 1));
            writer.end_pass();
        }
        ASSERT_TRUE(writer.flush());
        archive_counters c = writer.counters();
        EXPECT_EQ(c.written, 0);
        EXPECT_EQ(c.dropped, 100);
        EXPECT_FALSE(c.reachable);
    }
    std::vector<std::string> lines = said.taken();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, lines[0].find(':', 20)),
              "архив: не удалось открыть '" + file + "'");
}
