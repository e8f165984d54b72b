#include "access/password_file.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace nxkit;

namespace {

constexpr int cheap = 1000;

TEST(PasswordFile, RecordIsSaltedHashOnly) {
    std::string a = make_password_record("Подстанция-7", cheap);
    std::string b = make_password_record("Подстанция-7", cheap);
    // "pbkdf2-sha256$1000$" + 32 hex + "$" + 64 hex + CR LF.
    ASSERT_EQ(a.size(), 19u + 32 + 1 + 64 + 2);
    EXPECT_EQ(a.substr(0, 19), "pbkdf2-sha256$1000$");
    EXPECT_EQ(a.substr(a.size() - 2), "\r\n");
    // A fresh salt each time: the same password never gives the same file.
    EXPECT_NE(a, b);
    EXPECT_EQ(a.find("Подстанция"), std::string::npos);
    EXPECT_EQ(check_password(a, "Подстанция-7"), password_check::match);
    EXPECT_EQ(check_password(b, "Подстанция-7"), password_check::match);
    EXPECT_EQ(check_password(a, "подстанция-7"), password_check::mismatch);
    EXPECT_EQ(check_password(a, ""), password_check::mismatch);
}

TEST(PasswordFile, ReadsRecordsOfTheStandardHash) {
    // PBKDF2-HMAC-SHA256("passwd", "saltsaltsaltsalt", 1000 rounds), from another
    // implementation (Python's hashlib).
    const std::string record =
        "pbkdf2-sha256$1000$73616c7473616c7473616c7473616c74$"
        "9f83c0eca6b243c1fe298963a760e5ff7f013b75211262dfae0b2e944a5dc6c1\r\n";
    EXPECT_EQ(check_password(record, "passwd"), password_check::match);
    EXPECT_EQ(check_password(record, "passwe"), password_check::mismatch);
}

TEST(PasswordFile, DamagedRecordsNeverMatch) {
    std::string good = make_password_record("secret-1", cheap);
    std::vector<std::string> damaged = {
        "",
        "secret-1",
        "pbkdf2-sha256$1000$$" + std::string(64, 'a'),
        "pbkdf2-sha1" + good.substr(13),
        good.substr(0, good.size() - 10),
        "pbkdf2-sha256$10$" + good.substr(19),
        "pbkdf2-sha256$abc$" + good.substr(19),
        good.substr(0, 30) + "XY" + good.substr(32),
        good + "pbkdf2",
    };
    for (const std::string& text : damaged) {
        EXPECT_EQ(check_password(text, "secret-1"), password_check::damaged) << text;
        EXPECT_FALSE(password_record_valid(text)) << text;
    }
    EXPECT_TRUE(password_record_valid(good));
}

TEST(PasswordFile, FileHoldsNoPasswordAndIsPrivate) {
    ilktest::temp_dir dir;
    std::string path = dir.path() + "engineer.pwd";
    write_password_file(path, "Секрет-Пароль-42", cheap);
    std::string bytes = ilktest::read_bytes(path);
    EXPECT_EQ(bytes.find("Секрет"), std::string::npos);
    EXPECT_EQ(bytes.find("Пароль"), std::string::npos);
    EXPECT_TRUE(password_record_valid(bytes));
    auto perms = std::filesystem::status(path).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(check_password_file(path, "Секрет-Пароль-42"), password_check::match);
    EXPECT_EQ(check_password_file(path, "Секрет-Пароль-43"), password_check::mismatch);
    EXPECT_EQ(check_password_file(dir.path() + "missing.pwd", "x"), password_check::damaged);
}

TEST(PasswordFile, StationDefaultIsSlow) {
    EXPECT_GE(password_iterations, 600000);
    EXPECT_EQ(make_password_record("abcdef").substr(0, 21), "pbkdf2-sha256$600000$");
}

} // namespace
