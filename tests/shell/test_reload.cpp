#include "tests/shell/shell_fixture.h"

#include "ui/nx_log_view.h"

#include <QAction>

#include <filesystem>
#include <utime.h>

namespace {

using namespace nxkit;
using b = toolbar_button;
using shelltest::shell_test;

class Reload : public shell_test {
protected:
    // Three backups of refs.ini, the newest last saved; each with a title of its own in the
    // structure root, so the test sees which one was loaded.
    void make_backups() {
        for (int i = 1; i <= 3; ++i) {
            store.find("K").set_title("вариант " + std::to_string(i));
            store.save();
            store.backup();
        }
        std::vector<std::string> files = store.backups();
        ASSERT_EQ(files.size(), 3u);
        // Distinct times: newest first, a day apart.
        std::time_t now = std::time(nullptr);
        for (std::size_t i = 0; i < files.size(); ++i) {
            utimbuf t{now - static_cast<std::time_t>(i) * 86400,
                      now - static_cast<std::time_t>(i) * 86400};
            ::utime(files[i].c_str(), &t);
        }
        store.state().set_changed(false);
    }
};

TEST_F(Reload, TheNewestBackupLeavesSaveDisabledAnOlderOneEnablesIt) {
    open_window();
    make_backups();

    prompt.expect_menu(2);
    window->reload();
    ASSERT_EQ(prompt.menus().size(), 1u);
    const std::vector<menu_item>& menu = prompt.menus()[0];
    // Newest first, then a separator, then the older ones.
    ASSERT_EQ(menu.size(), 4u);
    EXPECT_TRUE(menu[0].text.ends_with(" - последняя")) << menu[0].text;
    EXPECT_EQ(menu[0].text.size(), std::string("2026.12.09 22:47 - последняя").size());
    EXPECT_TRUE(menu[1].separator);
    EXPECT_EQ(menu[2].command, 2);
    EXPECT_EQ(menu[2].text.size(), std::string("2026.12.09 22:47").size());
    EXPECT_EQ(store.find("K").title(), "вариант 2");
    EXPECT_TRUE(button(b::save)->isEnabled());

    // Changes pending: the question comes first; No keeps everything.
    prompt.expect_menu(1);
    prompt.expect("Отменить все изменения ?", answer_no);
    window->reload();
    EXPECT_EQ(store.find("K").title(), "вариант 2");
    EXPECT_TRUE(button(b::save)->isEnabled());

    prompt.expect_menu(1);
    prompt.expect("Отменить все изменения ?", answer_yes);
    window->reload();
    EXPECT_EQ(store.find("K").title(), "вариант 3");
    EXPECT_FALSE(button(b::save)->isEnabled());

    // A dismissed menu does nothing.
    prompt.expect_menu(0);
    window->reload();
    EXPECT_EQ(store.find("K").title(), "вариант 3");
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST_F(Reload, ABrokenBackupLeavesTheLoadedConfigurationAsItWas) {
    open_window();
    make_backups();
    store.find("K").set_title("в памяти");
    store.state().mark_changed();
    std::vector<std::string> files = store.backups();
    ilktest::write_bytes(files[1], "<struct><REFs version=\"1\"><ref tp=\"40\" title=");
    std::size_t components = store.refs().size();

    prompt.expect_menu(2);
    prompt.expect("Отменить все изменения ?", answer_yes);
    prompt.expect("Ошибка в файле конфигурации " + files[1], answer_ok);
    button(b::reload)->trigger();
    EXPECT_EQ(prompt.pending(), 0u);
    EXPECT_EQ(prompt.seen().back().type, mb_error);
    EXPECT_EQ(store.find("K").title(), "в памяти");
    EXPECT_EQ(store.refs().size(), components);
    EXPECT_FALSE(store.state().load_failed());
    EXPECT_TRUE(button(b::save)->isEnabled());
    // The error is in the log and the program goes on.
    EXPECT_NE(log_text().find(" | ERR | Ошибка в файле конфигурации "), std::string::npos);
}

TEST_F(Reload, WithoutBackupsRefsIniIsLoadedStraightAway) {
    open_window();
    store.find("K").set_title("в памяти");
    store.state().mark_changed();
    prompt.expect("Отменить все изменения ?", answer_yes);
    window->reload();
    EXPECT_TRUE(prompt.menus().empty());
    EXPECT_EQ(store.find("K").title(), "Структура");
    EXPECT_FALSE(button(b::save)->isEnabled());
}

TEST_F(Reload, TheManualAndAcknowledgeQuestionsReachTheirViews) {
    open_window();
    int cancelled = 0;
    int acknowledged = 0;
    window->hooks().cancel_all_manual = [&] { ++cancelled; };
    window->hooks().acknowledge_all = [&] { ++acknowledged; };
    button(b::cancel_hand)->setEnabled(true);
    button(b::cvit_all)->setEnabled(true);
    prompt.expect("Отменить ручной ввод для всех сигналов ?\r\n", answer_no);
    button(b::cancel_hand)->trigger();
    prompt.expect("Отменить ручной ввод для всех сигналов ?\r\n", answer_yes);
    button(b::cancel_hand)->trigger();
    prompt.expect("Квитировать все сигналы ?\r\n", answer_yes);
    button(b::cvit_all)->trigger();
    EXPECT_EQ(cancelled, 1);
    EXPECT_EQ(acknowledged, 1);

    std::vector<int> commands;
    window->hooks().scheme_command = [&](int c) { commands.push_back(c); };
    window->hooks().journal_navigate = [&](int d) { commands.push_back(100 + d); };
    for (b x : {b::zoom_x, b::zoom_full, b::print, b::journal_first})
        button(x)->trigger();
    EXPECT_EQ(commands, (std::vector<int>{-1, 0, 50, 104}));
}

class LogPane : public shell_test {};

TEST_F(LogPane, TheLogMenuListsEveryDeviceAndOnlyCloseClosesThePane) {
    ilktest::write_bytes(dir() + "refs.ini", ilktest::read_bytes(DEMO_FOLDER "/refs.ini"));
    write_settings("[LOG]\r\nshow_log=1\r\n");
    open_window();
    window->show();
    ASSERT_TRUE(window->log_shown());
    EXPECT_EQ(window->log_view().file_name(), nx_log::main().file_name());

    // Dismissed: the pane stays and the button is pressed again.
    prompt.expect_menu(0);
    button(b::log)->trigger();
    EXPECT_TRUE(window->log_shown());
    EXPECT_TRUE(button(b::log)->isChecked());
    ASSERT_EQ(prompt.menus().size(), 1u);
    const std::vector<menu_item>& menu = prompt.menus()[0];
    ASSERT_EQ(menu.size(), 6u);
    EXPECT_EQ(menu[0].text, "Закрыть");
    EXPECT_EQ(menu[1].text, "Не обновлять (двойной клик)");
    EXPECT_EQ(menu[2].text, "Интенсивное обновление");
    EXPECT_TRUE(menu[3].separator);
    EXPECT_EQ(menu[4].text, "Основной");
    EXPECT_TRUE(menu[4].checked);
    EXPECT_EQ(menu[5].command, 5);
    EXPECT_EQ(menu[5].text.rfind("(кп ", 0), 0u) << menu[5].text;

    // The device's own log.
    prompt.expect_menu(5);
    button(b::log)->trigger();
    EXPECT_NE(window->log_view().file_name(), nx_log::main().file_name());
    EXPECT_NE(window->log_view().file_name().find("LOGS/"), std::string::npos);

    prompt.expect_menu(3);
    button(b::log)->trigger();
    EXPECT_EQ(window->log_view().current_mode(), nx_log_view::intensive);

    prompt.expect_menu(1);
    button(b::log)->trigger();
    EXPECT_FALSE(window->log_shown());
    EXPECT_FALSE(button(b::log)->isChecked());
    EXPECT_NE(settings().find("\r\nshow_log=0\r\n"), std::string::npos);
}

} // namespace
