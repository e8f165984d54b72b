#include "base/files.h"
#include "base/nx_dir_cursor.h"
#include "base/nx_log.h"
#include "base/nx_time.h"
#include "platform/station.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace nxkit;
using ilktest::read_bytes;
using ilktest::temp_dir;
using ilktest::write_bytes;

namespace {

// A log whose clock the test sets.
struct clocked_log {
    nx_log log;
    nx_time now = time_encode(2024, 12, 31, 23, 59, 59, 42);
    clocked_log() {
        log.set_clock([this] { return now; });
    }
};

std::string line(const std::string& stamp, const std::string& tag, const std::string& text) {
    return "\r\n" + stamp + " | " + tag + " | " + text;
}

} // namespace

TEST(LogFormat, NewFileHoldsSeparatedLinesWithoutTrailingBreak) {
    temp_dir dir;
    clocked_log c;
    ASSERT_TRUE(c.log.open(dir.path() + "t.log", 1000000, 0));
    c.log.mes("a");
    c.now = time_encode(2025, 1, 1, 0, 0, 0, 700);
    c.log.mes(std::string("b"));
    EXPECT_EQ(read_bytes(dir.path() + "t.log"),
              "\r\n12.31 23:59:59.042 | MES | a\r\n01.01 00:00:00.700 | MES | b");
}

TEST(LogFormat, TagsAndRealClockStamp) {
    temp_dir dir;
    nx_log log;
    ASSERT_TRUE(log.open(dir.path() + "t.log", 1000000, 0));
    log.err("e1");
    log.war(std::string("w1"));
    log.mes("m1\r\nnext");
    log.err(std::string("e2"));
    log.war("w2");
    log.mes(static_cast<const char*>(nullptr));
    std::regex pattern("\r\n\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\| ERR \\| e1"
                       "\r\n\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\| WAR \\| w1"
                       "\r\n\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\| MES \\| m1\r\nnext"
                       "\r\n\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\| ERR \\| e2"
                       "\r\n\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\| WAR \\| w2"
                       "\r\n\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\| MES \\| ");
    std::string bytes = read_bytes(dir.path() + "t.log");
    EXPECT_TRUE(std::regex_match(bytes, pattern)) << bytes;
}

TEST(LogFormat, CyrillicLandsAsWindows1251) {
    temp_dir dir;
    clocked_log c;
    ASSERT_TRUE(c.log.open(dir.path() + "t.log", 1000000, 0));
    c.log.mes("СТАРТ");
    c.log.err("ёЁ €");
    c.log.war("日");
    EXPECT_EQ(read_bytes(dir.path() + "t.log"),
              line("12.31 23:59:59.042", "MES", "\xD1\xD2\xC0\xD0\xD2") +
                  line("12.31 23:59:59.042", "ERR", "\xB8\xA8 \x88") +
                  line("12.31 23:59:59.042", "WAR", "?"));
}

TEST(LogOpen, ClosedLogIgnoresWritesAndFailedOpenStaysClosed) {
    temp_dir dir;
    clocked_log c;
    nx_log& log = c.log;
    EXPECT_EQ(log.file_name(), "");
    log.mes("lost"); // no file, nothing happens
    EXPECT_FALSE(log.open(dir.path() + "no/such/folder/t.log", 1000, 0));
    EXPECT_EQ(log.file_name(), "");
    log.mes("lost");

    ASSERT_TRUE(log.open(dir.path() + "one.log", 1000, 0));
    log.mes("1");
    ASSERT_TRUE(log.open(dir.path() + "two.log", 1000, 0)); // closes one.log first
    log.mes("2");
    EXPECT_EQ(log.file_name(), dir.path() + "two.log");
    log.close();
    EXPECT_EQ(log.file_name(), "");
    log.mes("3");
    EXPECT_EQ(read_bytes(dir.path() + "one.log"), line("12.31 23:59:59.042", "MES", "1"));
    EXPECT_EQ(read_bytes(dir.path() + "two.log"), line("12.31 23:59:59.042", "MES", "2"));
}

TEST(LogOpen, NameResolution) {
    const std::string home = exe_dir();
    nx_log log;
    ASSERT_TRUE(log.open("mes.log", 1000, 0));
    EXPECT_EQ(log.file_name(), home + "mes.log");
    ASSERT_TRUE(log.open("mes", 1000, 0));
    EXPECT_EQ(log.file_name(), home + "mes.log");
    EXPECT_TRUE(file_exists(home + "mes.log"));
    ASSERT_TRUE(log.open("mes.txt", 1000, 0));
    EXPECT_EQ(log.file_name(), home + "mes.txt");
    ASSERT_TRUE(log.open("", 1000, 0));
    EXPECT_EQ(log.file_name(), home + "ilkstation.log");

    temp_dir dir;
    ASSERT_TRUE(make_dirs(dir.path() + "x/"));
    ASSERT_TRUE(log.open(dir.path() + "x/mes", 1000, 0));
    EXPECT_EQ(log.file_name(), dir.path() + "x/mes");
    EXPECT_TRUE(file_exists(dir.path() + "x/mes"));
    EXPECT_FALSE(file_exists(dir.path() + "x/mes.log"));
    log.close();
    for (const char* name : {"mes.log", "mes.txt", "ilkstation.log"})
        std::remove((home + name).c_str());
}

TEST(LogOpen, ReadOnlyFileIsMadeWritable) {
    temp_dir dir;
    std::string name = dir.path() + "ro.log";
    write_bytes(name, "old");
    ASSERT_EQ(::chmod(name.c_str(), 0444), 0);
    clocked_log c;
    ASSERT_TRUE(c.log.open(name, 1000, 0));
    struct stat st {};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
    c.log.mes("new");
    EXPECT_EQ(read_bytes(name), "old" + line("12.31 23:59:59.042", "MES", "new"));
}

TEST(LogTrim, DropsOldestTenthBeforeWriting) {
    temp_dir dir;
    std::string name = dir.path() + "t.log";
    std::string old;
    for (int i = 0; i < 1500; ++i)
        old += static_cast<char>('A' + i % 26);
    write_bytes(name, old);
    clocked_log c;
    ASSERT_TRUE(c.log.open(name, 1000, 0));
    c.log.mes("x");
    std::string expected = old.substr(150) + line("12.31 23:59:59.042", "MES", "x");
    EXPECT_EQ(read_bytes(name), expected);
    // 1379 bytes now: trimmed again to its last 1242 bytes before the next line.
    c.log.mes("y");
    EXPECT_EQ(read_bytes(name),
              expected.substr(expected.size() / 10) + line("12.31 23:59:59.042", "MES", "y"));
    EXPECT_FALSE(dir_exists(dir.path() + "BACKUP_t"));
}

TEST(LogTrim, FileAtTheLimitIsLeftWhole) {
    temp_dir dir;
    std::string name = dir.path() + "t.log";
    write_bytes(name, std::string(1000, 'z'));
    clocked_log c;
    ASSERT_TRUE(c.log.open(name, 1000, -1));
    c.log.war("x");
    EXPECT_EQ(read_bytes(name), std::string(1000, 'z') + line("12.31 23:59:59.042", "WAR", "x"));
}

TEST(LogRotate, BacksUpAndPurgesByDate) {
    temp_dir dir;
    const std::string name = dir.path() + "j.log";
    const std::string backup = dir.path() + "BACKUP_j/";
    ASSERT_TRUE(make_dirs(backup));
    for (const char* f : {"j_240101120000.log", "j_240103000000.log", "j_old.log", "j_241399.log",
                          "j_240101.txt", "other_230101.log"})
        write_bytes(backup + f, f);
    const std::string first = std::string(150, 'f');
    write_bytes(name, first);

    clocked_log c;
    c.now = time_encode(2024, 1, 3, 12, 0, 0, 0);
    ASSERT_TRUE(c.log.open(name, 100, 3));
    c.log.mes("after");
    // Three days back from 2024-01-03 12:00 is 2023-12-31 12:00: nothing is old enough yet.
    EXPECT_EQ(read_bytes(backup + "j_240103120000.log"), first);
    EXPECT_TRUE(file_exists(backup + "j_240101120000.log"));
    EXPECT_EQ(read_bytes(name), line("01.03 12:00:00.000", "MES", "after"));
    EXPECT_EQ(c.log.file_name(), name);

    // The fresh file keeps the limit and the retention.
    c.log.mes(std::string(120, 's'));
    c.now = time_encode(2024, 1, 4, 0, 0, 1, 0);
    c.log.err("later");
    EXPECT_EQ(read_bytes(name), line("01.04 00:00:01.000", "ERR", "later"));
    EXPECT_EQ(read_bytes(backup + "j_240104000001.log"),
              line("01.03 12:00:00.000", "MES", "after") +
                  line("01.03 12:00:00.000", "MES", std::string(120, 's')));
    EXPECT_FALSE(file_exists(backup + "j_240101120000.log"));

    std::set<std::string> left;
    for (nx_dir_cursor cur(backup, "*", false); cur.next();)
        left.insert(cur.name());
    // Names that do not read as dated backups, or another log's, are never deleted.
    EXPECT_EQ(left, (std::set<std::string>{"j_240103000000.log", "j_240103120000.log",
                                           "j_240104000001.log", "j_old.log", "j_241399.log",
                                           "j_240101.txt", "other_230101.log"}));
}

TEST(LogRotate, SecondRotationInOneSecondKeepsFirstBackup) {
    temp_dir dir;
    const std::string name = dir.path() + "j.log";
    clocked_log c;
    c.now = time_encode(2024, 5, 6, 7, 8, 9, 0);
    ASSERT_TRUE(c.log.open(name, 10, 5));
    c.log.mes("first line is long enough");
    c.log.mes("second line is long enough");
    c.log.mes("third");
    const std::string backup = dir.path() + "BACKUP_j/";
    EXPECT_EQ(read_bytes(backup + "j_240506070809.log"),
              line("05.06 07:08:09.000", "MES", "first line is long enough"));
    EXPECT_EQ(read_bytes(backup + "j_240506070809_2.log"),
              line("05.06 07:08:09.000", "MES", "second line is long enough"));
    EXPECT_EQ(read_bytes(name), line("05.06 07:08:09.000", "MES", "third"));
}

TEST(LogRotate, WithoutBackupFolderTheLogIsTrimmedNotLost) {
    temp_dir dir;
    const std::string name = dir.path() + "j.log";
    write_bytes(dir.path() + "BACKUP_j", "a file where the folder should be");
    std::string old(200, 'o');
    old[20] = 'k';
    write_bytes(name, old);
    clocked_log c;
    ASSERT_TRUE(c.log.open(name, 100, 3));
    c.log.mes("x");
    EXPECT_EQ(c.log.file_name(), name);
    EXPECT_EQ(read_bytes(name), old.substr(20) + line("12.31 23:59:59.042", "MES", "x"));
}

TEST(LogThreads, ConcurrentWritersProduceWholeLines) {
    temp_dir dir;
    nx_log log;
    ASSERT_TRUE(log.open(dir.path() + "t.log", 100000000, 0));
    constexpr int threads = 8;
    constexpr int lines = 300;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&log, t] {
            for (int i = 0; i < lines; ++i) {
                std::string text = "t" + std::to_string(t) + "-" + std::to_string(i) + "-";
                for (int k = 0; k < 50 + i % 70; ++k)
                    text += "ж";
                if (i % 3 == 0)
                    log.err(text);
                else if (i % 3 == 1)
                    log.war(text);
                else
                    log.mes(text);
            }
        });
    }
    for (auto& th : pool)
        th.join();

    std::string bytes = read_bytes(dir.path() + "t.log");
    ASSERT_EQ(bytes.substr(0, 2), "\r\n");
    std::regex one("\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\| (ERR|WAR|MES) \\| "
                   "t(\\d+)-(\\d+)-([^-]+)");
    std::set<std::pair<int, int>> seen;
    size_t pos = 2;
    while (pos <= bytes.size()) {
        size_t end = bytes.find("\r\n", pos);
        if (end == std::string::npos)
            end = bytes.size();
        std::string piece = bytes.substr(pos, end - pos);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(piece, m, one)) << piece;
        int t = std::stoi(m[2]);
        int i = std::stoi(m[3]);
        // One Windows-1251 byte per letter.
        EXPECT_EQ(m[4], std::string(static_cast<size_t>(50 + i % 70), '\xE6'));
        EXPECT_EQ(m[1], i % 3 == 0 ? "ERR" : i % 3 == 1 ? "WAR" : "MES");
        EXPECT_TRUE(seen.insert({t, i}).second);
        pos = end + 2;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(threads * lines));
}

TEST(LogMain, OneProgramLogAndTheLogsFolder) {
    EXPECT_EQ(&nx_log::main(), &nx_log::main());
    std::string logs = logs_directory();
    EXPECT_EQ(logs, exe_dir() + "LOGS/");
    EXPECT_TRUE(dir_exists(logs));
    EXPECT_EQ(logs_directory(), logs);
}
