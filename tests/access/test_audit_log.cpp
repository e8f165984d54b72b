#include "access/access_commands.h"
#include "access/audit_chain.h"
#include "access/audit_log.h"

#include "base/cp1251.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace nxkit;

namespace {

nx_time fixed_time() {
    return time_encode(2026, 12, 11, 9, 30, 5, 250);
}

std::vector<std::string> lines_of(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = bytes.find("\r\n", from)) != std::string::npos; from = at + 2)
        lines.push_back(bytes.substr(from, at - from + 2));
    return lines;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines)
        out += l;
    return out;
}

// A trail of `n` lines written by the worker.
std::string make_trail(const std::string& path, int n) {
    audit_log log(path);
    log.set_clock(fixed_time);
    for (int i = 1; i <= n; ++i)
        log.record("ivanov", "оператор", "квитирование", "сигнал " + std::to_string(i));
    log.flush();
    return ilktest::read_bytes(path);
}

TEST(AuditChain, Sha256OfKnownText) {
    EXPECT_EQ(sha256_hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(audit_chain_start(), std::string(64, '0'));
}

TEST(AuditLog, WritesExactLinesInWindows1251WithTheChain) {
    ilktest::temp_dir dir;
    std::string path = dir.path() + "audit.log";
    {
        audit_log log(path);
        log.set_clock(fixed_time);
        log.record("ivanov", "инженер", "вход в режим редактирования", "");
        log.record("ivanov", "инженер", "ручной ввод", "Q1 = 1");
        log.flush();
    }
    // Chain values from another implementation (Python's hashlib over the same bytes).
    std::string expected =
        to_cp1251("11.12.2026 09:30:05\tivanov\tинженер\tвход в режим редактирования\t\t"
                  "a2f8c22a0945ed2c870f8990302fa5e6e3a16410cb9e57bf1520c48256dca7e9\r\n"
                  "11.12.2026 09:30:05\tivanov\tинженер\tручной ввод\tQ1 = 1\t"
                  "e77d4abcbadad513aed99bf363ca791f91bae93471ba732c8ac6eed3ca60f009\r\n");
    EXPECT_EQ(ilktest::read_bytes(path), expected);

    // A new writer continues the chain from the file's last value; tabs and breaks in a field
    // cannot make new fields or lines.
    {
        audit_log log(path);
        log.set_clock(fixed_time);
        log.record("ivanov", "оператор", "квитирование", "a\tb\r\nc");
        log.flush();
    }
    std::vector<std::string> lines = lines_of(ilktest::read_bytes(path));
    ASSERT_EQ(lines.size(), 3u);
    std::string body = to_cp1251("11.12.2026 09:30:05\tivanov\tоператор\tквитирование\ta b  c");
    EXPECT_EQ(lines[2],
              body + "\t" +
                  audit_chain_next(
                      "e77d4abcbadad513aed99bf363ca791f91bae93471ba732c8ac6eed3ca60f009", body) +
                  "\r\n");
    EXPECT_TRUE(verify_audit_file(path).ok);
}

TEST(AuditVerify, NamesTheFirstBrokenLine) {
    ilktest::temp_dir dir;
    std::string path = dir.path() + "audit.log";
    std::vector<std::string> lines = lines_of(make_trail(path, 6));
    ASSERT_EQ(lines.size(), 6u);

    std::ostringstream out;
    EXPECT_EQ(verify_audit_command(path, out), 0);
    EXPECT_EQ(out.str(), "audit.log: записей 6, цепочка не нарушена\n");

    auto verdict_of = [&](const std::vector<std::string>& changed) {
        ilktest::write_bytes(path, joined(changed));
        std::ostringstream text;
        int status = verify_audit_command(path, text);
        return std::make_pair(status, text.str());
    };
    // A changed line: the one changed breaks.
    std::vector<std::string> changed = lines;
    changed[3].replace(changed[3].find("4"), 1, "5");
    EXPECT_EQ(verdict_of(changed),
              std::make_pair(1, std::string("audit.log: строка 4: цепочка значений нарушена\n")));
    // A deleted line: the one after it breaks.
    std::vector<std::string> deleted = lines;
    deleted.erase(deleted.begin() + 2);
    EXPECT_EQ(verdict_of(deleted),
              std::make_pair(1, std::string("audit.log: строка 3: цепочка значений нарушена\n")));
    // A swapped pair: the first of them breaks.
    std::vector<std::string> swapped = lines;
    std::swap(swapped[1], swapped[2]);
    EXPECT_EQ(verdict_of(swapped),
              std::make_pair(1, std::string("audit.log: строка 2: цепочка значений нарушена\n")));
    // The first line deleted: the new first line breaks.
    std::vector<std::string> headless(lines.begin() + 1, lines.end());
    EXPECT_EQ(verdict_of(headless).first, 1);
    EXPECT_EQ(verdict_of(headless).second, "audit.log: строка 1: цепочка значений нарушена\n");
    // A line cut short (a torn write) is not a record.
    std::vector<std::string> torn = lines;
    torn[5] = torn[5].substr(0, 30);
    EXPECT_EQ(verdict_of(torn),
              std::make_pair(1, std::string("audit.log: строка 6: строка не имеет вида записи "
                                            "журнала\n")));
    EXPECT_EQ(verify_audit_command(dir.path() + "missing.log", out), 2);
}

TEST(AuditLog, RotationKeepsTheChainAcrossFiles) {
    ilktest::temp_dir dir;
    std::string path = dir.path() + "audit.log";
    {
        audit_log log(path, 300);
        log.set_clock(fixed_time);
        for (int i = 1; i <= 8; ++i)
            log.record("ivanov", "оператор", "квитирование", "сигнал " + std::to_string(i));
        log.flush();
    }
    std::vector<std::string> older;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename() != "audit.log")
            older.push_back(entry.path().filename().string());
    std::sort(older.begin(), older.end());
    ASSERT_GE(older.size(), 2u);
    EXPECT_EQ(older[0], "audit_20261211093005.log");
    EXPECT_EQ(older[1], "audit_20261211093005_2.log");

    // The new file starts with the older one's name and last value.
    std::string current = ilktest::read_bytes(path);
    std::string newest = older.back();
    std::string last = last_chain_value(ilktest::read_bytes(dir.path() + newest));
    std::vector<audit_entry> entries = parse_audit_text(current);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].action, "продолжение журнала");
    EXPECT_EQ(entries[0].object, newest + " " + last);
    EXPECT_EQ(entries[0].user, "-");

    EXPECT_TRUE(verify_audit_file(path).ok);
    // Every line of the trail, oldest first, with the continuation lines.
    std::vector<audit_entry> trail = read_audit_trail(path);
    int acknowledged = 0;
    for (const audit_entry& e : trail) {
        if (e.action == "квитирование") {
            EXPECT_EQ(e.object, "сигнал " + std::to_string(++acknowledged));
        }
    }
    EXPECT_EQ(acknowledged, 8);

    // A change in an older file is found through the newest one.
    std::string first_path = dir.path() + older[0];
    std::string bytes = ilktest::read_bytes(first_path);
    bytes.replace(bytes.find(to_cp1251("сигнал 1")), to_cp1251("сигнал 1").size(),
                  to_cp1251("сигнал 9"));
    ilktest::write_bytes(first_path, bytes);
    audit_verdict verdict = verify_audit_file(path);
    EXPECT_FALSE(verdict.ok);
    EXPECT_EQ(verdict.message(), older[0] + ": строка 1: цепочка значений нарушена");
}

TEST(AuditLog, UnwritableFileIsReportedAndLinesWait) {
    ilktest::temp_dir dir;
    std::string path = dir.path() + "audit.log";
    audit_log log(path);
    log.set_clock(fixed_time);
    EXPECT_TRUE(log.writable());
    std::filesystem::remove(path);
    // A folder in its place: no one, root included, appends to it.
    std::filesystem::create_directory(path);
    EXPECT_FALSE(log.writable());
    EXPECT_EQ(log.take_failure(),
              "Не удалось записать журнал действий " + path + ": Is a directory");
    log.record("ivanov", "оператор", "квитирование", "Q1");
    log.flush();
    EXPECT_EQ(log.take_failure(),
              "Не удалось записать журнал действий " + path + ": Is a directory");
    // More lines while stuck join the waiting one without a report each.
    log.record("ivanov", "оператор", "квитирование", "Q2");
    log.flush();
    EXPECT_EQ(log.take_failure(), "");
    EXPECT_EQ(log.waiting(), 2u);
    EXPECT_FALSE(log.writable());
    EXPECT_EQ(log.take_failure(),
              "Не удалось записать журнал действий " + path + ": Is a directory");
    // Writable again: the waiting lines go out first.
    std::filesystem::remove(path);
    EXPECT_TRUE(log.writable());
    std::vector<audit_entry> entries = parse_audit_text(ilktest::read_bytes(path));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].object, "Q1");
    EXPECT_EQ(entries[1].object, "Q2");
    EXPECT_TRUE(verify_audit_file(path).ok);
    EXPECT_FALSE(std::filesystem::exists(log.pending_path()));
}

TEST(AuditLog, LinesWaitingAtTheEndAreKeptAndChainedOnTheNextStart) {
    ilktest::temp_dir dir;
    std::string path = dir.path() + "audit.log";
    std::string pending = dir.path() + "audit.pending";
    std::string first = make_trail(path, 1);
    std::filesystem::rename(path, dir.path() + "aside.log");
    std::filesystem::create_directory(path);
    {
        audit_log log(path);
        EXPECT_EQ(log.pending_path(), pending);
        log.set_clock(fixed_time);
        log.record("ivanov", "инженер", "сохранение конфигурации", "добавлено 1");
        log.flush();
        // Kept on disk while it waits, so that a crash does not lose it either.
        EXPECT_EQ(ilktest::read_bytes(pending),
                  to_cp1251("11.12.2026 09:30:05\tivanov\tинженер\tсохранение конфигурации\t"
                            "добавлено 1\t-\r\n"));
        log.set_clock([] { return time_encode(2026, 12, 11, 9, 31, 0, 0); });
        log.record("ivanov", "инженер", "выход из режима редактирования", "");
        log.flush();
        EXPECT_EQ(log.waiting(), 2u);
        EXPECT_FALSE(log.take_failure().empty());
    }
    EXPECT_EQ(ilktest::read_bytes(pending),
              to_cp1251("11.12.2026 09:30:05\tivanov\tинженер\tсохранение конфигурации\t"
                        "добавлено 1\t-\r\n"
                        "11.12.2026 09:31:00\tivanov\tинженер\tвыход из режима "
                        "редактирования\t\t-\r\n"));

    // Still unwritable at the next start: nothing is lost and nothing is doubled.
    {
        audit_log log(path);
        log.flush();
        EXPECT_EQ(log.waiting(), 2u);
    }
    EXPECT_EQ(lines_of(ilktest::read_bytes(pending)).size(), 2u);

    // Writable again: the kept lines follow the chain first, with their own times.
    std::filesystem::remove(path);
    std::filesystem::rename(dir.path() + "aside.log", path);
    {
        audit_log log(path);
        log.set_clock([] { return time_encode(2026, 12, 11, 9, 40, 0, 0); });
        log.record("ivanov", "оператор", "квитирование", "Q2");
        log.flush();
        EXPECT_EQ(log.waiting(), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(pending));
    std::vector<audit_entry> entries = parse_audit_text(ilktest::read_bytes(path));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].object, "сигнал 1");
    EXPECT_EQ(entries[1].time + "|" + entries[1].action,
              "11.12.2026 09:30:05|сохранение конфигурации");
    EXPECT_EQ(entries[2].time + "|" + entries[2].action,
              "11.12.2026 09:31:00|выход из режима редактирования");
    EXPECT_EQ(entries[3].time + "|" + entries[3].object, "11.12.2026 09:40:00|Q2");
    EXPECT_EQ(entries[1].chain,
              audit_chain_next(last_chain_value(first),
                               to_cp1251("11.12.2026 09:30:05\tivanov\tинженер\tсохранение "
                                         "конфигурации\tдобавлено 1")));
    EXPECT_TRUE(verify_audit_file(path).ok);
}

TEST(AuditTrail, FilterAndCsv) {
    std::vector<audit_entry> entries = {
        {"10.12.2026 23:59:59", "ivanov", "инженер", "сохранение конфигурации",
         "добавлено 1, изменено 0, удалено 0: + A", std::string(64, 'a')},
        {"11.12.2026 08:00:00", "petrov", "оператор", "квитирование", "Q1 \"вкл\"",
         std::string(64, 'b')},
    };
    audit_filter by_user;
    by_user.user = "petrov";
    EXPECT_FALSE(by_user.matches(entries[0]));
    EXPECT_TRUE(by_user.matches(entries[1]));
    audit_filter by_action;
    by_action.action = "сохранение конфигурации";
    EXPECT_TRUE(by_action.matches(entries[0]));
    EXPECT_FALSE(by_action.matches(entries[1]));
    audit_filter by_time;
    by_time.from = time_encode(2026, 12, 11, 0, 0, 0, 0);
    EXPECT_FALSE(by_time.matches(entries[0]));
    EXPECT_TRUE(by_time.matches(entries[1]));
    by_time.to = time_encode(2026, 12, 11, 7, 59, 59, 0);
    EXPECT_FALSE(by_time.matches(entries[1]));

    EXPECT_EQ(audit_csv(entries),
              "время,пользователь,роль,действие,объект,цепочка\r\n"
              "10.12.2026 23:59:59,ivanov,инженер,сохранение конфигурации,"
              "\"добавлено 1, изменено 0, удалено 0: + A\"," +
                  std::string(64, 'a') +
                  "\r\n"
                  "11.12.2026 08:00:00,petrov,оператор,квитирование,\"Q1 \"\"вкл\"\"\"," +
                  std::string(64, 'b') + "\r\n");
}

} // namespace
