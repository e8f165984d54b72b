// Engineer access in the main window: the protected actions with and without a password and
// with a wrong one, their audit lines, the idle time and the action journal.
#include "tests/shell/shell_fixture.h"

#include "access/audit_chain.h"
#include "access/engineer_access.h"
#include "access/password_file.h"
#include "shell/access_session.h"
#include "shell/audit_view.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

namespace {

using namespace nxkit;
using b = toolbar_button;
using shelltest::shell_test;

class EngineerAccessShell : public shell_test {
protected:
    void SetUp() override {
        shell_test::SetUp();
        std::error_code ec;
        std::filesystem::remove(dir() + "engineer.pwd", ec);
        std::filesystem::remove(dir() + "audit.log", ec);
    }

    void set_password(const std::string& password) {
        write_password_file(dir() + "engineer.pwd", password, 1000);
    }

    // The window as start-up builds it: the access comes before the contents.
    void open_station() {
        engineer_access::options o;
        o.password_path = dir() + "engineer.pwd";
        o.audit_path = dir() + "audit.log";
        o.now_ms = [this] { return now; };
        o.user = "ivanov";
        auto made = std::make_unique<engineer_access>(o);
        access = made.get();
        resources = init_ui_resources();
        window = std::make_unique<nx_dlg_mod>(store, *resources, -1, &hot_key);
        session = new access_session(*window, std::move(made));
        window->create_contents();
    }

    // "role|action|object" of every audit line.
    std::vector<std::string> audit() {
        access->log().flush();
        std::vector<std::string> out;
        for (const audit_entry& e : read_audit_trail(dir() + "audit.log"))
            out.push_back(e.role + "|" + e.action + "|" + e.object);
        return out;
    }

    // Three wrong passwords for `what`, then the lock-out's box.
    void expect_three_wrong(const std::string& what) {
        prompt.expect_password("\"" + what + "\"", "wrong-1");
        prompt.expect_password("Осталось попыток: 2", "wrong-2");
        prompt.expect_password("Осталось попыток: 1", "wrong-3");
        prompt.expect("Неверный пароль введен три раза.", answer_ok);
    }

    long long now = 5000000;
    engineer_access* access = nullptr;
    access_session* session = nullptr;
};

TEST_F(EngineerAccessShell, WithoutPasswordNothingIsAskedNorRecorded) {
    open_station();
    EXPECT_TRUE(window->edit_mode()) << "CTRL/edit defaults to 1";
    hot_key.press();
    EXPECT_FALSE(window->edit_mode());
    hot_key.press();
    EXPECT_TRUE(window->edit_mode());
    store.find("K").set_title("изменено");
    store.state().mark_changed();
    window->save();
    EXPECT_FALSE(store.state().changed());
    prompt.expect("Отменить ручной ввод для всех сигналов ?", answer_yes);
    int cancelled = 0;
    window->hooks().cancel_all_manual = [&] { ++cancelled; };
    button(b::cancel_hand)->setEnabled(true);
    button(b::cancel_hand)->trigger();
    EXPECT_EQ(cancelled, 1);
    EXPECT_TRUE(prompt.password_prompts().empty());
    access->log().flush();
    EXPECT_FALSE(std::filesystem::exists(dir() + "audit.log"));
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(EngineerAccessShell, EditModeByHotKeyAsksForThePassword) {
    set_password("Инженер-1");
    open_station();
    // CTRL/edit is 1, but a station with a password starts in view mode.
    EXPECT_FALSE(window->edit_mode());

    expect_three_wrong("вход в режим редактирования");
    hot_key.press();
    EXPECT_FALSE(window->edit_mode());
    EXPECT_FALSE(button(b::edit)->isChecked());
    // Locked out: only told so.
    prompt.expect("Повторите через 60 с.", answer_ok);
    hot_key.press();
    EXPECT_FALSE(window->edit_mode());

    now += 60000;
    prompt.expect_password("\"вход в режим редактирования\"", "Инженер-1");
    hot_key.press();
    EXPECT_TRUE(window->edit_mode());
    // Leaving asks nothing and ends the access.
    hot_key.press();
    EXPECT_FALSE(window->edit_mode());
    EXPECT_FALSE(access->granted());
    prompt.expect_password("\"вход в режим редактирования\"", "", false);
    hot_key.press();
    EXPECT_FALSE(window->edit_mode());

    const std::string what = "вход в режим редактирования";
    EXPECT_EQ(audit(),
              (std::vector<std::string>{
                  "оператор|неверный пароль|" + what, "оператор|неверный пароль|" + what,
                  "оператор|неверный пароль|" + what,
                  "оператор|доступ закрыт|три неверных пароля, на 60 с",
                  "инженер|доступ инженера|" + what, "инженер|вход в режим редактирования|",
                  "инженер|выход из режима редактирования|"}));
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(EngineerAccessShell, EditButtonAsksWhenTheHotKeyIsOff) {
    set_password("Инженер-1");
    write_settings("[VIEW]\r\nEDIT_KEY=0\r\n");
    open_station();
    EXPECT_FALSE(window->hot_key_active());
    prompt.expect_password("\"вход в режим редактирования\"", "", false);
    button(b::edit)->trigger();
    EXPECT_FALSE(window->edit_mode());
    EXPECT_FALSE(button(b::edit)->isChecked());
    prompt.expect_password("\"вход в режим редактирования\"", "Инженер-1");
    button(b::edit)->trigger();
    EXPECT_TRUE(window->edit_mode());
    EXPECT_TRUE(button(b::edit)->isChecked());
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(EngineerAccessShell, SaveReloadAndCancelAllNeedThePassword) {
    set_password("Инженер-1");
    open_station();
    std::string refs = ilktest::read_bytes(store.refs_path());
    store.find("K").set_title("изменено");
    store.state().mark_changed();

    // Save: cancelled, then three wrong ones: refs.ini is not written.
    prompt.expect_password("\"сохранение конфигурации\"", "", false);
    window->save();
    expect_three_wrong("сохранение конфигурации");
    window->save();
    EXPECT_EQ(ilktest::read_bytes(store.refs_path()), refs);
    EXPECT_TRUE(store.state().changed());
    // Closing with the changes asks to save; refused, the window stays open.
    prompt.expect("Сохранить все изменения ?", answer_yes);
    prompt.expect("Повторите через", answer_ok);
    EXPECT_FALSE(window->close());

    now += 60000;
    prompt.expect_password("\"сохранение конфигурации\"", "Инженер-1");
    window->save();
    EXPECT_NE(ilktest::read_bytes(store.refs_path()), refs);
    EXPECT_FALSE(store.state().changed());

    // Granted: "Загрузить" asks nothing more until edit mode is left or the idle time ends.
    prompt.expect_menu(1);
    window->reload();
    std::string backup = store.backups().at(0);

    now += 15 * 60000;
    session->tick();
    EXPECT_FALSE(access->granted());
    prompt.expect_password("\"загрузка конфигурации\"", "wrong");
    prompt.expect_password("Осталось попыток: 2", "", false);
    window->reload();
    EXPECT_EQ(prompt.menus().size(), 1u) << "no backup menu without the password";

    // "Отменить ручные": the question, then the password.
    int cancelled = 0;
    window->hooks().cancel_all_manual = [&] { ++cancelled; };
    button(b::cancel_hand)->setEnabled(true);
    prompt.expect("Отменить ручной ввод для всех сигналов ?", answer_yes);
    prompt.expect_password("\"отмена ручного ввода для всех сигналов\"", "", false);
    button(b::cancel_hand)->trigger();
    EXPECT_EQ(cancelled, 0);
    prompt.expect("Отменить ручной ввод для всех сигналов ?", answer_yes);
    prompt.expect_password("\"отмена ручного ввода для всех сигналов\"", "Инженер-1");
    button(b::cancel_hand)->trigger();
    EXPECT_EQ(cancelled, 1);

    std::vector<std::string> lines = audit();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[4], "инженер|доступ инженера|сохранение конфигурации");
    EXPECT_EQ(lines[5], "инженер|сохранение конфигурации|добавлено 3, изменено 0, удалено 0: "
                        "+ Оборудование; + Схемы; + изменено");
    EXPECT_EQ(lines[6], "инженер|загрузка конфигурации|" + backup);
    EXPECT_EQ(lines[7], "инженер|окончание доступа инженера|нет действий 15 мин");
    EXPECT_EQ(lines[8], "оператор|неверный пароль|загрузка конфигурации");
    EXPECT_EQ(lines[9], "инженер|доступ инженера|отмена ручного ввода для всех сигналов");
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(EngineerAccessShell, IdleTimeLeavesEditMode) {
    set_password("Инженер-1");
    open_station();
    prompt.expect_password("\"вход в режим редактирования\"", "Инженер-1");
    hot_key.press();
    ASSERT_TRUE(window->edit_mode());
    now += 10 * 60000;
    session->tick();
    EXPECT_TRUE(window->edit_mode());
    now += 5 * 60000;
    session->tick();
    EXPECT_FALSE(window->edit_mode());
    EXPECT_FALSE(button(b::edit)->isChecked());
    std::vector<std::string> lines = audit();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "инженер|окончание доступа инженера|нет действий 15 мин");
    EXPECT_EQ(lines[3], "оператор|выход из режима редактирования|");
}

TEST_F(EngineerAccessShell, ActionJournalInEditModeFiltersAndExports) {
    open_station();
    auto* menu = window->findChild<QMenu*>("window_menu");
    ASSERT_NE(menu, nullptr);
    QAction* journal = window->findChild<QAction*>("action_journal");
    QAction* password = window->findChild<QAction*>("engineer_password");
    ASSERT_NE(journal, nullptr);
    ASSERT_NE(password, nullptr);
    hot_key.press();
    ASSERT_FALSE(window->edit_mode());
    emit menu->aboutToShow();
    EXPECT_FALSE(journal->isVisible());
    EXPECT_FALSE(password->isVisible());
    hot_key.press();
    emit menu->aboutToShow();
    EXPECT_TRUE(journal->isVisible());
    EXPECT_TRUE(password->isVisible());

    // Setting the password from the menu turns the trail on.
    access->set_password_iterations(1000);
    prompt.expect_password("Новый пароль", "Инженер-1");
    prompt.expect_password("Повторите", "Инженер-1");
    password->trigger();
    EXPECT_TRUE(std::filesystem::exists(dir() + "engineer.pwd"));
    hot_key.press();
    prompt.expect_password("\"вход в режим редактирования\"", "Инженер-1");
    hot_key.press();
    access->log().flush();

    audit_view* view = session->show_audit_journal();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->windowTitle().toStdString(), "Журнал действий");
    EXPECT_EQ(view->model().rowCount(), 4);
    EXPECT_EQ(view->model().index(0, 3).data().toString().toStdString(),
              "установка пароля инженера");
    EXPECT_EQ(view->model().index(0, 1).data().toString().toStdString(), "ivanov");
    EXPECT_EQ(view->verdict_label()->text().toStdString(), "Цепочка записей не нарушена");
    auto* action = view->findChild<QComboBox*>("audit_action");
    action->setCurrentIndex(action->findText(QString::fromUtf8("выход из режима редактирования")));
    ASSERT_EQ(view->model().rowCount(), 1);
    EXPECT_EQ(view->model().index(0, 2).data().toString().toStdString(), "инженер");

    std::string csv = dir() + "audit.csv";
    ASSERT_TRUE(view->export_csv(csv));
    std::vector<audit_entry> entries = read_audit_trail(dir() + "audit.log");
    EXPECT_EQ(ilktest::read_bytes(csv),
              "время,пользователь,роль,действие,объект,цепочка\r\n" + entries[1].time +
                  ",ivanov,инженер,выход из режима редактирования,," + entries[1].chain + "\r\n");

    // A changed line shows in the verdict.
    std::string bytes = ilktest::read_bytes(dir() + "audit.log");
    bytes.replace(bytes.find("ivanov"), 6, "petrov");
    ilktest::write_bytes(dir() + "audit.log", bytes);
    view->reload();
    EXPECT_EQ(view->verdict_label()->text().toStdString(),
              "Цепочка нарушена: audit.log: строка 1: цепочка значений нарушена");
    EXPECT_EQ(prompt.pending(), 0u);
}

#ifdef ILKSTATION_BINARY
// Runs the program with `args` in the station `home`, `input` on standard input; the exit
// status, standard output and error in `out`.
int run_program(const std::string& home, const std::string& args, const std::string& input,
                std::string& out) {
    std::string in_file = home + "stdin.txt";
    std::string out_file = home + "stdout.txt";
    ilktest::write_bytes(in_file, input);
    std::string command = "ILKSTATION_HOME='" + home + "' '" + ILKSTATION_BINARY + "' " + args +
                          " <'" + in_file + "' >'" + out_file + "' 2>&1";
    int status = std::system(command.c_str());
    out = ilktest::read_bytes(out_file);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(EngineerAccessCommands, SetPasswordAndVerifyAudit) {
    ilktest::temp_dir home;
    std::string out;
    EXPECT_EQ(run_program(home.path(), "--set-password", "Пароль-01\nПароль-02\n", out), 1);
    EXPECT_EQ(out, "Пароли не совпадают. Пароль не изменен.\n");
    EXPECT_FALSE(std::filesystem::exists(home.path() + "engineer.pwd"));

    EXPECT_EQ(run_program(home.path(), "--set-password", "Пароль-01\nПароль-01\n", out), 0);
    EXPECT_EQ(out, "Пароль инженера установлен: " + home.path() + "engineer.pwd\n");
    std::string record = ilktest::read_bytes(home.path() + "engineer.pwd");
    EXPECT_TRUE(password_record_valid(record));
    EXPECT_EQ(record.find("Пароль"), std::string::npos);
    EXPECT_EQ(check_password(record, "Пароль-01"), password_check::match);

    // Changing takes the current one first.
    EXPECT_EQ(run_program(home.path(), "--set-password", "Пароль-00\n", out), 1);
    EXPECT_EQ(out, "Неверный пароль. Пароль не изменен.\n");
    EXPECT_EQ(run_program(home.path(), "--set-password", "Пароль-01\nПароль-03\nПароль-03\n", out),
              0);
    EXPECT_EQ(check_password_file(home.path() + "engineer.pwd", "Пароль-03"),
              password_check::match);

    std::vector<audit_entry> entries = read_audit_trail(home.path() + "audit.log");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].role + "|" + entries[0].action + "|" + entries[0].object,
              "инженер|установка пароля инженера|командная строка");
    EXPECT_EQ(entries[1].role + "|" + entries[1].action + "|" + entries[1].object,
              "оператор|неверный пароль|смена пароля инженера, командная строка");
    EXPECT_EQ(entries[2].action, "смена пароля инженера");
    std::string log = ilktest::read_bytes(home.path() + "audit.log");
    for (const char* p : {"Пароль-0", "Пароль-1", "Пароль-3"})
        EXPECT_EQ(log.find(to_cp1251(p)), std::string::npos);

    EXPECT_EQ(run_program(home.path(), "--verify-audit", "", out), 0);
    EXPECT_EQ(out, "audit.log: записей 3, цепочка не нарушена\n");
    std::string copy = home.path() + "copy.log";
    log.replace(log.find(to_cp1251("смена")), 1, to_cp1251("С"));
    ilktest::write_bytes(copy, log);
    EXPECT_EQ(run_program(home.path(), "--verify-audit '" + copy + "'", "", out), 1);
    // The first "смена" is in the second line (the object of the wrong password).
    EXPECT_EQ(out, "copy.log: строка 2: цепочка значений нарушена\n");
}
#endif

} // namespace
