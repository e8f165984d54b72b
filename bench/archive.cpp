// The archive: writing rate into SQLite with the interface thread's share, the size a day of it
// would take, reading the last events of one signal out of 50 million rows and a day of one
// measurement, and PostgreSQL: the rate against a local server and an outage with no row lost
// or doubled. One line per figure.

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "bench/stopwatch.h"
#include "tests/archive/pg_throwaway.h"
#include "tests/support/test_support.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <QDateTime>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

using namespace nxkit;

namespace {

struct options {
    int seconds = 600;
    int rate = 10000;
    long long big_rows = 50000000;
    int pg_seconds = 60;
    int outage_seconds = 30;
    bool run_write = true, run_read = true, run_pg = true;
    std::string cache = BENCH_CACHE_DIR;
};

constexpr int signals_measured = 4000;
constexpr int signals_events = 1000;
constexpr std::int64_t base_ms = 1796083200000; // 2026-12-01 00:00 UTC

// One pass of 10 ms: rate/100 rows, nine measurements to one event, values walking.
void make_pass(std::vector<archive_row>& rows, long long& n, int per_pass, std::int64_t t) {
    rows.clear();
    for (int k = 0; k < per_pass; ++k, ++n) {
        archive_row r;
        if (n % 10 == 9) {
            r.key = "s1_1_" + std::to_string(n / 10 % signals_events);
            r.kind = archive_kind::change;
            r.value = static_cast<double>((n / 10 / signals_events) % 2);
            r.text = r.value != 0 ? "ВКЛЮЧЕН" : "ОТКЛЮЧЕН";
        } else {
            r.key = "i1_1_" + std::to_string(n % signals_measured);
            r.kind = archive_kind::measurement;
            r.value = 200.0 + static_cast<double>(n % 977) * 0.37;
        }
        r.time_ms = t;
        rows.push_back(std::move(r));
    }
}

struct write_figures {
    long long rows = 0;
    double wall_s = 0;
    double ui_cpu_ms = 0;
    archive_counters counters;
    double flush_s = 0;
};

// Feeds `w` for `seconds` at `rate` rows a second, a batch every 10 ms, as the update pass does.
write_figures feed(archive_writer& w, int seconds, int rate,
                   const std::function<void(int second)>& each_second = {}) {
    write_figures f;
    const int per_pass = std::max(1, rate / 100);
    std::vector<archive_row> rows;
    long long n = 0;
    auto start = std::chrono::steady_clock::now();
    double cpu = 0;
    int last_second = -1;
    for (long long pass = 0;; ++pass) {
        auto due = start + std::chrono::milliseconds(10 * pass);
        std::this_thread::sleep_until(due);
        auto since = std::chrono::steady_clock::now() - start;
        const int second = static_cast<int>(std::chrono::duration<double>(since).count());
        if (second >= seconds)
            break;
        if (second != last_second) {
            last_second = second;
            if (each_second)
                each_second(second);
        }
        double c0 = nxbench::stopwatch::cpu_ms();
        make_pass(rows, n, per_pass, base_ms + pass * 10);
        for (archive_row& r : rows)
            w.add(std::move(r));
        w.end_pass();
        cpu += nxbench::stopwatch::cpu_ms() - c0;
    }
    f.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.rows = n;
    f.ui_cpu_ms = cpu;
    nxbench::stopwatch flush;
    w.flush(3600000);
    f.flush_s = flush.wall_ms() / 1000.0;
    f.counters = w.counters();
    return f;
}

void bench_write(const options& o) {
    ilktest::temp_dir dir;
    archive_options a;
    a.location.file = dir.path() + "archive.sqlite";
    a.retention_every_ms = 3600000;
    write_figures f;
    {
        archive_writer w(a, [](const std::string& s) { std::printf("report: %s\n", s.c_str()); });
        f = feed(w, o.seconds, o.rate);
    }
    const double file = static_cast<double>(std::filesystem::file_size(a.location.file));
    std::printf("sqlite write: seconds %.1f\n", f.wall_s);
    std::printf("sqlite write: rows offered %lld (%.0f/s)\n", f.rows, f.rows / f.wall_s);
    std::printf("sqlite write: rows written %lld, dropped %lld, batches %lld\n", f.counters.written,
                f.counters.dropped, f.counters.batches);
    std::printf("sqlite write: writer behind at the end by %.2f s\n", f.flush_s);
    std::printf("sqlite write: interface thread busy %.2f %% (%.1f ms cpu)\n",
                100.0 * f.ui_cpu_ms / (f.wall_s * 1000.0), f.ui_cpu_ms);
    std::printf("sqlite write: file %.1f MB, %.1f bytes per row\n", file / 1048576.0,
                file / static_cast<double>(std::max(1LL, f.counters.written)));
    std::printf("sqlite write: a day at %d rows/s: %.1f GB\n", o.rate,
                file / static_cast<double>(std::max(1LL, f.counters.written)) * o.rate * 86400.0 /
                    1073741824.0);
}

// 50 million events (5000 signals, 10 ms apart) in one statement inside the database, kept
// under the build folder for the next run.
std::string big_archive(const options& o) {
    std::filesystem::create_directories(o.cache);
    const std::string file = o.cache + "/archive-" + std::to_string(o.big_rows) + ".sqlite";
    if (std::filesystem::exists(file))
        return file;
    const std::string part = file + ".part";
    std::filesystem::remove(part);
    nxbench::stopwatch sw;
    {
        archive_location where;
        where.file = part;
        archive_db db(where, "bench_big");
        std::string error;
        if (!db.open(error)) {
            std::printf("big archive: %s\n", error.c_str());
            return {};
        }
        QSqlQuery q(db.db());
        q.exec("PRAGMA synchronous=OFF");
        q.exec("PRAGMA cache_size=-1000000");
        db.db().transaction();
        q.exec("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 5000) "
               "INSERT INTO signal (id, key, name, find) SELECT i, 's2_1_' || i, 'Q' || i, "
               "'s2_1_' || i || ' q' || i FROM k");
        // Rows go in time order, as an archive fills.
        const std::string sql =
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            std::to_string(o.big_rows - 1) +
            ") INSERT INTO event (sig, t, kind, seq, value, quality, text) SELECT i % 5000 + 1, " +
            std::to_string(base_ms) +
            " + i * 10, 1, 0, (i / 5000) % 2, 0, CASE WHEN (i / 5000) % 2 = 1 THEN 'ВКЛЮЧЕН' "
            "ELSE 'ОТКЛЮЧЕН' END FROM n";
        if (!q.exec(QString::fromStdString(sql)))
            std::printf("big archive: %s\n", q.lastError().text().toStdString().c_str());
        db.db().commit();
    }
    std::filesystem::rename(part, file);
    std::filesystem::remove(part + "-wal");
    std::filesystem::remove(part + "-shm");
    std::printf("big archive: made %lld rows in %.1f s, %.1f MB\n", o.big_rows,
                sw.wall_ms() / 1000.0,
                static_cast<double>(std::filesystem::file_size(file)) / 1048576.0);
    return file;
}

// A day of one measurement at one value a second, a minute of bad quality every hour.
void ensure_day(const std::string& file) {
    archive_location where;
    where.file = file;
    archive_db db(where, "bench_day");
    std::string error;
    if (!db.open(error) || db.count_rows("measurement") > 0)
        return;
    QSqlQuery q(db.db());
    q.exec("INSERT OR IGNORE INTO signal (id, key, name, find) VALUES (6000, 'i2_1_1', 'Ia', "
           "'i2_1_1 ia')");
    if (!q.exec(QString("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i "
                        "< 86399) INSERT INTO measurement (sig, t, value, quality) SELECT 6000, "
                        "%1 + i * 1000, 200 + (i % 600) * 0.25, CASE WHEN i % 3600 < 60 THEN 1 "
                        "ELSE 0 END FROM n")
                    .arg(base_ms)))
        std::printf("day of a measurement: %s\n", q.lastError().text().toStdString().c_str());
}

void bench_read(const options& o) {
    const std::string file = big_archive(o);
    if (file.empty())
        return;
    ensure_day(file);
    archive_location where;
    where.file = file;
    archive_reader reader(where);
    // The first query opens the file; then each figure is the best of five.
    reader.series("i2_1_1", 0, 1);
    for (const char* key : {"s2_1_77", "s2_1_4321"}) {
        double best = 1e9;
        std::size_t got = 0;
        for (int i = 0; i < 5; ++i) {
            nxbench::stopwatch sw;
            reader.run_and_wait([&](archive_db* db, const std::string&) {
                got = db != nullptr ? db->last_events(key, 1000).size() : 0;
            });
            best = std::min(best, sw.wall_ms());
        }
        std::printf("read: last 1000 events of %s out of %lld rows: %.2f ms (%zu rows)\n", key,
                    o.big_rows, best, got);
    }
    double best = 1e9;
    std::size_t points = 0;
    for (int i = 0; i < 5; ++i) {
        nxbench::stopwatch sw;
        points = reader.series("i2_1_1", base_ms, base_ms + 86400000).size();
        best = std::min(best, sw.wall_ms());
    }
    std::printf("read: a day of one measurement (%zu points): %.2f ms\n", points, best);
    struct search_case {
        const char* what;
        const char* signal;
        const char* text;
        bool unacknowledged;
    };
    for (const search_case& c :
         {search_case{"text naming one signal", "", "q4321", false},
          search_case{"signal key prefix of 11 signals", "s2_1_432", "", false},
          search_case{"state text", "", "включен", false},
          search_case{"unacknowledged of one signal", "s2_1_77", "", true}}) {
        archive_query q;
        q.from_ms = base_ms + 3600000;
        q.signal = c.signal;
        q.text = c.text;
        q.only_unacknowledged = c.unacknowledged;
        best = 1e9;
        std::size_t found = 0;
        for (int i = 0; i < 3; ++i) {
            nxbench::stopwatch sw;
            std::vector<archive_found> page = reader.search(q, {}, 500);
            // And the next page after it.
            if (!page.empty())
                page = reader.search(q, archive_cursor::after(page.back()), 500);
            found = page.size();
            best = std::min(best, sw.wall_ms());
        }
        std::printf("read: journal search, two pages of 500 (%s): %.2f ms (%zu rows on the "
                    "second)\n",
                    c.what, best, found);
    }
}

void bench_pg(const options& o) {
    if (ilktest::pg_throwaway::binaries().empty()) {
        std::printf("postgresql: skipped, the server binaries (package postgresql) are absent\n");
        return;
    }
    ilktest::temp_dir dir;
    ilktest::pg_throwaway server(dir.path());
    std::string error;
    if (!server.start(error)) {
        std::printf("postgresql: %s\n", error.c_str());
        return;
    }
    setenv("PGPASSFILE", server.passfile().c_str(), 1);
    archive_options a;
    a.location.dialect = archive_dialect::postgresql;
    a.location.host = "127.0.0.1";
    a.location.port = server.port();
    a.location.database = ilktest::pg_throwaway::database;
    a.location.user = ilktest::pg_throwaway::user;
    a.queue_file = dir.path() + "queue.sqlite";
    a.retry_ms = 1000;
    auto count = [&](long long& events, long long& measurements) {
        archive_reader reader(a.location);
        reader.run_and_wait([&](archive_db* db, const std::string&) {
            events = db != nullptr ? db->count_rows("event") : -1;
            measurements = db != nullptr ? db->count_rows("measurement") : -1;
        });
    };
    for (int run = 0; run < 2; ++run) {
        const bool outage = run == 1;
        const int seconds = outage ? o.outage_seconds * 2 + 10 : o.pg_seconds;
        long long e0 = 0, m0 = 0;
        count(e0, m0);
        write_figures f;
        {
            archive_writer w(a,
                             [](const std::string& s) { std::printf("report: %s\n", s.c_str()); });
            f = feed(w, seconds, o.rate, [&](int second) {
                if (!outage)
                    return;
                if (second == 5)
                    server.stop();
                if (second == 5 + o.outage_seconds) {
                    std::string e;
                    if (!server.start(e))
                        std::printf("postgresql: restart failed: %s\n", e.c_str());
                }
            });
            // The queue goes out once the server is back.
            nxbench::stopwatch drain;
            while (w.counters().in_queue > 0 && drain.wall_ms() < 600000) {
                w.wake_for_retention();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            f.counters = w.counters();
            if (outage)
                std::printf("postgresql outage: queue sent %.1f s after the feed ended\n",
                            drain.wall_ms() / 1000.0 + f.flush_s);
        }
        long long e1 = 0, m1 = 0;
        count(e1, m1);
        const long long stored = (e1 - e0) + (m1 - m0);
        const char* name = outage ? "postgresql outage" : "postgresql write";
        std::printf("%s: seconds %.1f, rows offered %lld (%.0f/s)\n", name, f.wall_s, f.rows,
                    f.rows / f.wall_s);
        std::printf("%s: writer behind at the end by %.2f s\n", name, f.flush_s);
        std::printf("%s: interface thread busy %.2f %%\n", name,
                    100.0 * f.ui_cpu_ms / (f.wall_s * 1000.0));
        std::printf("%s: queued %lld, dropped %lld\n", name, f.counters.queued, f.counters.dropped);
        // Both runs write the same times: the first run's rows are removed before the second,
        // so each count stands alone.
        std::printf("%s: rows in the server %lld of %lld offered: %s\n", name, stored, f.rows,
                    stored == f.rows ? "none lost, none twice" : "MISMATCH");
        if (!outage) {
            archive_reader reader(a.location);
            reader.run_and_wait([&](archive_db* db, const std::string&) {
                if (db == nullptr)
                    return;
                QSqlQuery q(db->db());
                q.exec("TRUNCATE event, measurement");
            });
        }
    }
    unsetenv("PGPASSFILE");
}

// A week (or `days`) of the demo station's history up to now into the SQLite archive `file`:
// its six breakers and disconnectors switching, most lines acknowledged, a manual input, the
// controlled point's link lost and won, the three measurements every minute with a stretch of
// bad quality. For the screenshots of the journal's archive search and the trend.
int fill_history(const std::string& file, int days) {
    struct ts_signal {
        const char* key;
        const char* name;
    };
    const ts_signal switches[] = {{"s1_1_1", "Q1 (ОРУ-110 кВ, ячейка Л-1)"},
                                  {"s1_1_2", "QS1 (ОРУ-110 кВ, ячейка Л-1)"},
                                  {"s1_1_3", "QS2 (ОРУ-110 кВ, ячейка Л-1)"},
                                  {"s1_1_4", "QSG1 (ОРУ-110 кВ, ячейка Л-1)"},
                                  {"s1_2_1", "Q10 вводной выключатель (КРУ-10 кВ)"},
                                  {"s1_2_2", "Q11 секционный выключатель (КРУ-10 кВ)"}};
    const ts_signal measured[] = {{"i1_1_1", "Ia ток фазы A, А (ОРУ-110 кВ, ячейка Л-1)"},
                                  {"i1_1_2", "Uab напряжение, кВ (ОРУ-110 кВ, ячейка Л-1)"},
                                  {"i1_2_1", "P мощность ввода, МВт (КРУ-10 кВ)"}};
    archive_options a;
    a.location.file = file;
    archive_writer w(a, [](const std::string& s) { std::printf("report: %s\n", s.c_str()); });
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    const std::int64_t start = now - static_cast<std::int64_t>(days) * 86400000;
    std::uint64_t random = 12345;
    auto next = [&random](int range) {
        random = random * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<int>((random >> 33) % static_cast<std::uint64_t>(range));
    };
    long long rows = 0;
    int state[6] = {1, 1, 0, 0, 1, 0};
    for (std::int64_t t = start; t < now; t += 60000) {
        const std::int64_t minute = (t - start) / 60000;
        for (int k = 0; k < 3; ++k) {
            archive_row m;
            m.key = measured[k].key;
            m.name = measured[k].name;
            m.kind = archive_kind::measurement;
            m.time_ms = t;
            const double phase = static_cast<double>(minute % 1440) / 1440.0 * 6.2831853;
            const double base[] = {320, 112, 14};
            const double swing[] = {120, 3, 6};
            m.value = base[k] + swing[k] * std::sin(phase - 1.3) + next(100) * 0.01 * swing[k] / 10;
            // Three hours of the second day and ten minutes of the last hour (35 to 25 minutes
            // ago, as the trend's screenshot shows) without a good value of the current.
            const std::int64_t ago = now - t;
            if (k == 0 && ((minute >= 1440 + 600 && minute < 1440 + 780) ||
                           (ago > 25 * 60000 && ago <= 35 * 60000)))
                m.quality = quality_invalid;
            w.add(m);
            ++rows;
        }
        // A switching now and then: about one every 20 minutes somewhere on the station.
        if (next(20) == 0) {
            const int s = next(6);
            state[s] = 1 - state[s];
            archive_row e;
            e.key = switches[s].key;
            e.name = switches[s].name;
            e.time_ms = t + next(60000);
            e.value = state[s];
            e.text = state[s] != 0 ? "ВКЛЮЧЕН" : "ОТКЛЮЧЕН";
            w.add(e);
            ++rows;
            // Most lines are acknowledged within a few minutes; the last day's often not.
            if (next(now - t < 86400000 ? 3 : 10) != 0) {
                archive_row ack = e;
                ack.kind = archive_kind::acknowledge;
                ack.value = static_cast<double>(e.time_ms + 30000 + next(300000));
                ack.text = "квитировано";
                w.add(ack);
                ++rows;
            }
        }
        if (minute % 2880 == 2000) {
            archive_row c;
            c.key = "D.0000";
            c.name = "КП 1";
            c.kind = archive_kind::connection;
            c.time_ms = t;
            c.value = 0;
            c.quality = quality_no_control;
            c.text = "нет связи";
            w.add(c);
            c.time_ms = t + 95000;
            c.value = 1;
            c.quality = 0;
            c.text = "связь есть";
            w.add(c);
            rows += 2;
        }
        if (minute % 1440 == 700) {
            archive_row h;
            h.key = "s1_1_4";
            h.name = switches[3].name;
            h.kind = archive_kind::manual_on;
            h.time_ms = t;
            h.value = 0;
            h.quality = quality_manual;
            h.text = "ручной ввод";
            w.add(h);
            h.kind = archive_kind::manual_off;
            h.time_ms = t + 1200000;
            h.quality = 0;
            h.text = "авто";
            w.add(h);
            rows += 2;
        }
        if (minute % 1440 == 1439)
            w.end_pass();
    }
    w.end_pass();
    const bool done = w.flush(600000);
    std::printf("history: %lld rows over %d days into %s%s\n", rows, days, file.c_str(),
                done ? "" : " (not all written)");
    return done && w.counters().dropped == 0 ? 0 : 1;
}

bool number(const char* text, long long low, long long high, long long& out) {
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (end == text || *end != 0 || v < low || v > high)
        return false;
    out = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // Each figure shows as soon as it is known, also into a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has = i + 1 < argc;
        long long v = 0;
        bool ok = true;
        if (a == "--seconds" && has && (ok = number(argv[++i], 1, 86400, v)))
            o.seconds = static_cast<int>(v);
        else if (a == "--rate" && has && (ok = number(argv[++i], 1, 1000000, v)))
            o.rate = static_cast<int>(v);
        else if (a == "--rows" && has && (ok = number(argv[++i], 5000, 1000000000, v)))
            o.big_rows = v;
        else if (a == "--pg-seconds" && has && (ok = number(argv[++i], 1, 86400, v)))
            o.pg_seconds = static_cast<int>(v);
        else if (a == "--outage-seconds" && has && (ok = number(argv[++i], 1, 3600, v)))
            o.outage_seconds = static_cast<int>(v);
        else if (a == "--fill" && i + 2 < argc && (ok = number(argv[i + 2], 1, 3650, v)))
            return fill_history(argv[i + 1], static_cast<int>(v));
        else if (a == "--skip-write")
            o.run_write = false;
        else if (a == "--skip-read")
            o.run_read = false;
        else if (a == "--skip-pg")
            o.run_pg = false;
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "usage: archive --fill FILE DAYS | [--seconds N] [--rate N] "
                                 "[--rows N] [--pg-seconds N] "
                                 "[--outage-seconds N] [--skip-write] [--skip-read] [--skip-pg]\n");
            return 2;
        }
    }
    if (o.run_write)
        bench_write(o);
    if (o.run_read)
        bench_read(o);
    if (o.run_pg)
        bench_pg(o);
    return 0;
}
