#include "access/audit_chain.h"
#include "access/config_changes.h"
#include "access/engineer_access.h"
#include "access/password_file.h"

#include "base/cp1251.h"
#include "base/nx_log.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace nxkit;

namespace {

class EngineerAccess : public testing::Test {
protected:
    void SetUp() override {
        nx_log::main().close();
        std::filesystem::remove(ilktest::station_dir() + "ilkstation.log");
        nx_log::main().open("", 1000000, 0);
    }

    engineer_access::options options() {
        engineer_access::options o;
        o.password_path = dir.path() + "engineer.pwd";
        o.audit_path = dir.path() + "audit.log";
        o.now_ms = [this] { return now; };
        o.user = "ivanov";
        return o;
    }
    void set_password(const std::string& password) {
        write_password_file(dir.path() + "engineer.pwd", password, 1000);
    }
    // action and object of every audit line, "role|action|object".
    std::vector<std::string> audit(engineer_access& access) {
        access.log().flush();
        std::vector<std::string> out;
        for (const audit_entry& e : read_audit_trail(dir.path() + "audit.log"))
            out.push_back(e.role + "|" + e.action + "|" + e.object);
        return out;
    }

    ilktest::temp_dir dir;
    ilktest::scripted_prompt prompt;
    long long now = 1000000;
};

TEST_F(EngineerAccess, WithoutPasswordEverythingIsAllowedAndNothingRecorded) {
    engineer_access access(options());
    for (protected_action a :
         {protected_action::edit_mode, protected_action::reload, protected_action::save,
          protected_action::export_transfer, protected_action::cancel_all_manual})
        EXPECT_TRUE(access.allow(nullptr, a));
    access.edit_mode_changed(true);
    access.record("квитирование", "Q1");
    access.log().flush();
    EXPECT_TRUE(prompt.password_prompts().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "audit.log"));
    EXPECT_FALSE(access.recording());
}

TEST_F(EngineerAccess, AuditWithoutPasswordNamesTheRoleByMode) {
    engineer_access::options o = options();
    o.audit = true;
    engineer_access access(o);
    access.record("квитирование", "Q1");
    access.edit_mode_changed(true);
    EXPECT_TRUE(access.allow(nullptr, protected_action::save));
    access.record("сохранение конфигурации", "добавлено 0, изменено 1, удалено 0: * A");
    access.edit_mode_changed(false);
    EXPECT_EQ(audit(access),
              (std::vector<std::string>{
                  "оператор|квитирование|Q1", "инженер|вход в режим редактирования|",
                  "инженер|сохранение конфигурации|добавлено 0, изменено 1, удалено 0: * A",
                  "инженер|выход из режима редактирования|"}));
    EXPECT_TRUE(prompt.password_prompts().empty());
}

TEST_F(EngineerAccess, EndingInEditModeRecordsTheLeaving) {
    set_password("Пароль-1");
    {
        engineer_access access(options());
        prompt.expect_password("нужен пароль инженера", "Пароль-1");
        ASSERT_TRUE(access.allow(nullptr, protected_action::edit_mode));
        access.edit_mode_changed(true);
    }
    std::vector<std::string> lines;
    for (const audit_entry& e : read_audit_trail(dir.path() + "audit.log"))
        lines.push_back(e.role + "|" + e.action + "|" + e.object);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "инженер|доступ инженера|вход в режим редактирования",
                         "инженер|вход в режим редактирования|",
                         "инженер|выход из режима редактирования|завершение работы"}));
}

TEST_F(EngineerAccess, RightPasswordGrantsUntilEditModeIsLeft) {
    set_password("Пароль-1");
    engineer_access access(options());
    prompt.expect_password("нужен пароль инженера", "Пароль-1");
    EXPECT_TRUE(access.allow(nullptr, protected_action::edit_mode));
    ASSERT_EQ(prompt.password_prompts().size(), 1u);
    EXPECT_EQ(prompt.password_prompts()[0],
              "Для действия \"вход в режим редактирования\" нужен пароль инженера.\r\nПароль:");
    access.edit_mode_changed(true);
    // Granted: the next actions ask nothing.
    EXPECT_TRUE(access.allow(nullptr, protected_action::save));
    EXPECT_TRUE(access.allow(nullptr, protected_action::reload));
    access.edit_mode_changed(false);
    EXPECT_FALSE(access.granted());
    prompt.expect_password("\"сохранение конфигурации\"", "", false);
    EXPECT_FALSE(access.allow(nullptr, protected_action::save));
    EXPECT_EQ(audit(access),
              (std::vector<std::string>{"инженер|доступ инженера|вход в режим редактирования",
                                        "инженер|вход в режим редактирования|",
                                        "инженер|выход из режима редактирования|"}));
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(EngineerAccess, ThreeWrongPasswordsLockOut) {
    set_password("Пароль-1");
    engineer_access access(options());
    prompt.expect_password("нужен пароль", "пароль-1");
    prompt.expect_password("Осталось попыток: 2", "Пароль-2");
    prompt.expect_password("Осталось попыток: 1", "");
    prompt.expect("Неверный пароль введен три раза.\r\nДоступ инженера закрыт на 60 с.", answer_ok);
    EXPECT_FALSE(access.allow(nullptr, protected_action::export_transfer));
    EXPECT_FALSE(access.granted());
    // Locked: not even asked.
    now += 59000;
    prompt.expect("Повторите через 1 с.", answer_ok);
    EXPECT_FALSE(access.allow(nullptr, protected_action::export_transfer));
    EXPECT_EQ(prompt.password_prompts().size(), 3u);
    // After the delay the right one is taken.
    now += 1000;
    prompt.expect_password("нужен пароль", "Пароль-1");
    EXPECT_TRUE(access.allow(nullptr, protected_action::export_transfer));
    const std::string what = "экспорт с загрузкой в контроллер";
    EXPECT_EQ(audit(access),
              (std::vector<std::string>{"оператор|неверный пароль|" + what,
                                        "оператор|неверный пароль|" + what,
                                        "оператор|неверный пароль|" + what,
                                        "оператор|доступ закрыт|три неверных пароля, на 60 с",
                                        "инженер|доступ инженера|" + what}));
    // The password never reaches the log or the trail.
    std::string log = ilktest::read_bytes(dir.path() + "audit.log") +
                      ilktest::read_bytes(nx_log::main().file_name());
    for (const char* p : {"Пароль-1", "пароль-1", "Пароль-2"})
        EXPECT_EQ(log.find(to_cp1251(p)), std::string::npos) << p;
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(EngineerAccess, DamagedPasswordFileRefusesWithAMessage) {
    ilktest::write_bytes(dir.path() + "engineer.pwd", "pbkdf2-sha256$1000$zz$zz\r\n");
    engineer_access access(options());
    prompt.expect("Файл пароля инженера поврежден:\r\n" + dir.path() +
                      "engineer.pwd\r\n\r\nДоступ закрыт.",
                  answer_ok);
    EXPECT_FALSE(access.allow(nullptr, protected_action::edit_mode));
    EXPECT_TRUE(prompt.password_prompts().empty());
    // An empty file is damaged too, never "no password".
    ilktest::write_bytes(dir.path() + "engineer.pwd", "");
    prompt.expect("поврежден", answer_ok);
    EXPECT_FALSE(access.allow(nullptr, protected_action::cancel_all_manual));
    EXPECT_EQ(audit(access)[0], "оператор|файл пароля поврежден|" + dir.path() + "engineer.pwd");
}

TEST_F(EngineerAccess, IdleTimeEndsTheAccess) {
    set_password("Пароль-1");
    engineer_access access(options());
    prompt.expect_password("нужен пароль", "Пароль-1");
    ASSERT_TRUE(access.allow(nullptr, protected_action::edit_mode));
    access.edit_mode_changed(true);
    now += 14 * 60000;
    EXPECT_FALSE(access.tick());
    access.touch();
    now += 14 * 60000;
    EXPECT_FALSE(access.tick());
    EXPECT_TRUE(access.granted());
    now += 60000;
    EXPECT_TRUE(access.tick());
    EXPECT_FALSE(access.granted());
    EXPECT_FALSE(access.tick());
    prompt.expect_password("\"сохранение конфигурации\"", "Пароль-1");
    EXPECT_TRUE(access.allow(nullptr, protected_action::save));
    EXPECT_EQ(audit(access)[2], "инженер|окончание доступа инженера|нет действий 15 мин");
}

TEST_F(EngineerAccess, PasswordIsSetChangedAndRemoved) {
    engineer_access access(options());
    access.set_password_iterations(1000);
    std::string path = dir.path() + "engineer.pwd";
    prompt.expect_password("Новый пароль", "Секрет-1");
    prompt.expect_password("Повторите", "Секрет-1");
    EXPECT_TRUE(access.change_password(nullptr));
    EXPECT_EQ(check_password_file(path, "Секрет-1"), password_check::match);
    EXPECT_EQ(ilktest::read_bytes(path).find(to_cp1251("Секрет")), std::string::npos);

    // Changing asks for the current one first.
    prompt.expect_password("\"смена пароля инженера\"", "Секрет-1");
    prompt.expect_password("Новый пароль", "Секрет-2");
    prompt.expect_password("Повторите", "Секрет-3");
    prompt.expect("Пароли не совпадают. Пароль не изменен.", answer_ok);
    EXPECT_FALSE(access.change_password(nullptr));
    EXPECT_EQ(check_password_file(path, "Секрет-1"), password_check::match);
    prompt.expect_password("\"смена пароля инженера\"", "Секрет-1");
    prompt.expect_password("Новый пароль", "12345");
    prompt.expect_password("Повторите", "12345");
    prompt.expect("не менее 6 символов", answer_ok);
    EXPECT_FALSE(access.change_password(nullptr));
    prompt.expect_password("\"смена пароля инженера\"", "Секрет-1");
    prompt.expect_password("Новый пароль", "Секрет-2");
    prompt.expect_password("Повторите", "Секрет-2");
    EXPECT_TRUE(access.change_password(nullptr));
    EXPECT_EQ(check_password_file(path, "Секрет-2"), password_check::match);

    prompt.expect_password("\"смена пароля инженера\"", "Секрет-2");
    prompt.expect_password("Новый пароль", "");
    prompt.expect("Снять пароль инженера ?", answer_yes);
    EXPECT_TRUE(access.change_password(nullptr));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(
        audit(access),
        (std::vector<std::string>{
            "инженер|установка пароля инженера|", "инженер|доступ инженера|смена пароля инженера",
            "инженер|доступ инженера|смена пароля инженера",
            "инженер|доступ инженера|смена пароля инженера", "инженер|смена пароля инженера|",
            "инженер|доступ инженера|смена пароля инженера", "инженер|снятие пароля инженера|"}));
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(EngineerAccess, UnwritableAuditStopsTheProtectedAction) {
    engineer_access::options o = options();
    o.audit = true;
    engineer_access access(o);
    // A folder in place of the file: no one, root included, appends to it.
    std::string folder = dir.path();
    std::filesystem::create_directory(folder + "audit.log");
    prompt.expect("Не удалось записать журнал действий " + folder +
                      "audit.log: Is a directory\r\n\r\nДействие не выполнено: без записи в "
                      "журнале действий.",
                  answer_ok);
    EXPECT_FALSE(access.allow(nullptr, protected_action::save));
    std::string log = from_cp1251(ilktest::read_bytes(nx_log::main().file_name()));
    EXPECT_NE(log.find("| ERR | Не удалось записать журнал действий " + folder + "audit.log"),
              std::string::npos)
        << log;
    // A recorded action that fails later is reported once, by the shell's timer.
    access.record("квитирование", "Q1");
    access.log().flush();
    prompt.expect("Не удалось записать журнал действий", answer_ok);
    access.report_audit_failure(nullptr);
    access.report_audit_failure(nullptr);
    std::filesystem::remove(folder + "audit.log");
    EXPECT_TRUE(access.allow(nullptr, protected_action::save));
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST(ConfigChanges, CountsAndNamesWhatASaveChanged) {
    const std::string before = "<struct><REFs version=\"1\">"
                               "<ref tp=\"50\" title=\"Оборудование\">"
                               "<ref tp=\"104\" title=\"КП\" addr=\"1\">"
                               "<ref tp=\"51\" title=\"Q1\" addr=\"1\"/>"
                               "<ref tp=\"51\" title=\"Q2\" addr=\"2\"/>"
                               "<ref tp=\"51\" title=\"Q2\" addr=\"3\"/>"
                               "</ref></ref></REFs></struct>";
    const std::string after = "<struct><REFs version=\"1\">"
                              "<ref tp=\"50\" title=\"Оборудование\">"
                              "<ref tp=\"104\" title=\"КП\" addr=\"1\">"
                              "<ref tp=\"51\" title=\"Q1\" addr=\"7\"/>"
                              "<ref tp=\"51\" title=\"Q2\" addr=\"2\"/>"
                              "<ref tp=\"51\" title=\"Q3\" addr=\"4\"/>"
                              "</ref></ref></REFs></struct>";
    config_changes c = compare_configurations(before, after);
    EXPECT_EQ(describe_changes(c), "добавлено 1, изменено 1, удалено 1: + Оборудование / КП / Q3; "
                                   "* Оборудование / КП / Q1; - Оборудование / КП / Q2#2");
    EXPECT_EQ(describe_changes(c, 2), "добавлено 1, изменено 1, удалено 1: + Оборудование / КП / "
                                      "Q3; * Оборудование / КП / Q1; ... ещё 1");
    EXPECT_EQ(describe_changes(compare_configurations(after, after)),
              "добавлено 0, изменено 0, удалено 0");
    // The first save: everything is new.
    EXPECT_EQ(compare_configurations("", after).added.size(), 5u);
}

} // namespace
