#include "tests/shell/shell_fixture.h"

#include "base/nx_exception.h"
#include "base/settings_keys.h"
#include "shell/toolbar_buttons.h"
#include "shell/window_settings.h"
#include "platform/close_signals.h"
#include "ui/qt_prompt.h"

#include <QAction>
#include <QCloseEvent>
#include <QMessageBox>
#include <QTimer>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <chrono>
#include <csignal>
#include <sys/stat.h>
#include <utime.h>

namespace {

using namespace nxkit;
using b = toolbar_button;
using shelltest::shell_test;

class MainWindow : public shell_test {};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(MainWindow, FirstStartWritesEveryDefaultAndStartsInEditModeWithConnections) {
    open_window();
    std::string s = settings();
    for (const button_spec& spec : toolbar_table()) {
        if (spec.identifier[0] == 0)
            continue;
        std::string key = std::string(spec.identifier) + "=1\r\n";
        EXPECT_TRUE(has(s, "[BTNS_VIEW]") && has(s, "[BTNS_EDIT]")) << s;
        // Once in each section.
        std::size_t first = s.find(key);
        ASSERT_NE(first, std::string::npos) << key;
        EXPECT_NE(s.find(key, first + 1), std::string::npos) << key;
    }
    for (const char* key :
         {"edit=1", "con=1", "hint_yes=1", "GRID=1", "editor_devs=1", "editor_strs=1",
          "editor_schema=1", "show_log=0", "show_mes=0", "EDIT_KEY=1",
          "EDIT_KEY_SEQ=Ctrl+Alt+Shift+F7", "title=", "BTN=<icon=32><align=C><X=40><Y=40><type=2>",
          "BTN_TOP=1", "FONT_TAB=15", "FONT_MENU=0", "NUM=0"})
        EXPECT_TRUE(has(s, std::string("\r\n") + key + "\r\n")) << key << "\n" << s;

    EXPECT_TRUE(window->edit_mode());
    EXPECT_TRUE(store.edit_mode());
    EXPECT_TRUE(button(b::edit)->isChecked());
    EXPECT_TRUE(button(b::con)->isChecked());
    EXPECT_TRUE(store.devices_running());
    EXPECT_FALSE(window->log_shown());
    EXPECT_FALSE(button(b::save)->isEnabled());
    auto* bar = window->findChild<QWidget*>("toolbar");
    ASSERT_NE(bar, nullptr);
    // Along the top edge, above the work area.
    EXPECT_EQ(bar->parentWidget()->layout()->indexOf(bar), 0);
    for (QObject* o : button(b::reload)->associatedObjects())
        if (auto* tool = qobject_cast<QToolButton*>(o)) {
            EXPECT_EQ(tool->iconSize(), QSize(32, 32));
            EXPECT_EQ(tool->size(), QSize(40, 40));
        }
    EXPECT_EQ(window->minimumWidth(), 18 * 40);
    EXPECT_EQ(window->minimumHeight(), 370);
    for (const button_spec& spec : toolbar_table())
        EXPECT_TRUE(button(spec.button)->isVisible() || window->isHidden());
    EXPECT_EQ(hot_key.sequence, "Ctrl+Alt+Shift+F7");
}

TEST_F(MainWindow, ButtonVisibilityFollowsTheModeSection) {
    write_settings("[CTRL]\r\nedit=0\r\n[VIEW]\r\nEDIT_KEY=0\r\n[BTNS_VIEW]\r\n_bSAVE=0\r\n"
                   "[BTNS_EDIT]\r\n_bPRINT=0\r\n");
    open_window();
    window->show();
    EXPECT_FALSE(button(b::save)->isVisible());
    EXPECT_TRUE(button(b::print)->isVisible());
    button(b::edit)->trigger();
    EXPECT_TRUE(window->edit_mode());
    EXPECT_TRUE(button(b::save)->isVisible());
    EXPECT_FALSE(button(b::print)->isVisible());
    // The journal's buttons have no keys and stay.
    EXPECT_TRUE(button(b::journal_first)->isVisible());
}

TEST_F(MainWindow, WithTheHotKeyTheButtonOnlyHintsAndTheKeysEnterEditMode) {
    write_settings("[CTRL]\r\nedit=0\r\n");
    open_window();
    ASSERT_TRUE(window->hot_key_active());
    ASSERT_FALSE(window->edit_mode());

    prompt.expect("Для включения редактора конфигурации нажмите клавиши.\r\n"
                  "Ctrl + Alt + Shift + F7",
                  answer_ok);
    button(b::edit)->trigger();
    EXPECT_EQ(prompt.pending(), 0u);
    EXPECT_FALSE(window->edit_mode());
    EXPECT_FALSE(button(b::edit)->isChecked());
    EXPECT_TRUE(has(settings(), "\r\nedit=0\r\n"));
    EXPECT_FALSE(has(log_text(), "редактор конфигурации"));

    hot_key.press();
    EXPECT_TRUE(window->edit_mode());
    EXPECT_TRUE(store.edit_mode());
    EXPECT_TRUE(button(b::edit)->isChecked());
    EXPECT_TRUE(has(log_text(), " | MES | редактор конфигурации включен"));
    EXPECT_TRUE(has(settings(), "\r\nedit=1\r\n"));

    // Leaving by the button needs no keys.
    button(b::edit)->trigger();
    EXPECT_FALSE(window->edit_mode());
    EXPECT_TRUE(has(log_text(), " | MES | редактор конфигурации отключен"));
}

TEST_F(MainWindow, AKeyThatCannotBeTakenLeavesTheButtonFree) {
    write_settings("[CTRL]\r\nedit=0\r\n[VIEW]\r\nEDIT_KEY_SEQ=Ctrl+Alt+F9\r\n");
    hot_key.grant = false;
    open_window();
    EXPECT_FALSE(window->hot_key_active());
    button(b::edit)->trigger();
    EXPECT_TRUE(window->edit_mode());
    EXPECT_TRUE(prompt.seen().empty());
}

TEST_F(MainWindow, LeavingEditModeTurnsTheConnectionsOn) {
    write_settings("[CTRL]\r\ncon=0\r\n[VIEW]\r\nEDIT_KEY=0\r\n");
    open_window();
    ASSERT_TRUE(window->edit_mode());
    EXPECT_FALSE(store.devices_running());
    EXPECT_FALSE(button(b::con)->isChecked());

    button(b::edit)->trigger();
    EXPECT_FALSE(window->edit_mode());
    EXPECT_TRUE(button(b::con)->isChecked());
    EXPECT_TRUE(store.devices_running());
    EXPECT_TRUE(has(settings(), "\r\ncon=1\r\n"));

    // In view mode the button cannot turn them off.
    button(b::con)->trigger();
    EXPECT_TRUE(button(b::con)->isChecked());
    EXPECT_TRUE(store.devices_running());
}

TEST_F(MainWindow, TheSaveButtonFollowsTheStoresChangedState) {
    open_window();
    QSignalSpy spy(button(b::save), &QAction::enabledChanged);
    store.state().mark_changed();
    EXPECT_TRUE(button(b::save)->isEnabled());
    store.state().mark_changed();
    ASSERT_EQ(spy.count(), 1);
    window->save();
    EXPECT_FALSE(button(b::save)->isEnabled());
    EXPECT_EQ(spy.count(), 2);
    EXPECT_EQ(store.backups().size(), 1u);
}

TEST_F(MainWindow, CloseWithChangesAsksAndCancelKeepsTheWindowAndTheFile) {
    write_settings("[CTRL]\r\nedit=0\r\n");
    open_window();
    std::string before = ilktest::read_bytes(dir() + "refs.ini");
    store.state().mark_changed();

    prompt.expect("Сохранить все изменения ?", answer_cancel);
    window->show();
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(store.devices_running());
    EXPECT_EQ(ilktest::read_bytes(dir() + "refs.ini"), before);

    prompt.expect("Сохранить все изменения ?", answer_no);
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(store.devices_running());
    EXPECT_EQ(ilktest::read_bytes(dir() + "refs.ini"), before);
    EXPECT_TRUE(store.backups().empty());
    // The placement was stored.
    EXPECT_TRUE(has(settings(), "\r\nwnd_zoom=0\r\n"));
}

TEST_F(MainWindow, SigtermWhileTheSaveQuestionWaitsKeepsTheChangesInABackup) {
    resources = init_ui_resources();
    window = std::make_unique<nx_dlg_mod>(store, *resources, install_close_signals(), &hot_key);
    window->create_contents();
    window->show();
    const std::string before = ilktest::read_bytes(dir() + "refs.ini");
    store.find("K").set_title("изменено");
    store.state().mark_changed();

    // The real boxes: the operator asked to close and "Сохранить все изменения ?" waits when
    // the system sends SIGTERM.
    qt_prompt boxes;
    set_prompt(&boxes);
    QString open_box;
    QTimer::singleShot(300, [&open_box] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            open_box = box->text();
        ::raise(SIGTERM);
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(window->close());
    EXPECT_EQ(open_box.toStdString(), "Сохранить все изменения ?");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 2000));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    set_prompt(&prompt);
    EXPECT_FALSE(store.devices_running());

    EXPECT_EQ(ilktest::read_bytes(dir() + "refs.ini"), before);
    const std::vector<std::string> backups = store.backups();
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_TRUE(has(from_cp1251(ilktest::read_bytes(backups[0])), "title=\"изменено\""));
    EXPECT_TRUE(has(log_text(), " | WAR | завершение по сигналу: несохраненные изменения "
                                "записаны в резервную копию '" +
                                    backups[0] + "' (кнопка \"Загрузить\"), refs.ini не изменен"));

    // "Загрузить" offers it first, and what it brings back is still to be saved.
    store.find("K").set_title("другое");
    store.state().set_changed(false);
    prompt.expect_menu(1);
    window->reload();
    EXPECT_EQ(store.find("K").title(), "изменено");
    EXPECT_TRUE(button(b::save)->isEnabled());
}

TEST_F(MainWindow, CloseInEditModeNeverSavesOnNo) {
    open_window();
    ilktest::write_bytes(dir() + "refs.ini", "edited elsewhere");
    store.state().mark_changed();
    prompt.expect("Сохранить все изменения ?", answer_no);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(ilktest::read_bytes(dir() + "refs.ini"), "edited elsewhere");
}

TEST_F(MainWindow, CloseWithYesSavesAndBacksUp) {
    open_window();
    store.state().mark_changed();
    prompt.expect("Сохранить все изменения ?", answer_yes);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(store.backups().size(), 1u);
    EXPECT_FALSE(store.state().changed());
}

TEST_F(MainWindow, ASaveThatFailsOnCloseKeepsTheWindowOpenWithTheError) {
    open_window();
    window->show();
    // refs.ini cannot be written: a folder took its name.
    std::filesystem::remove(dir() + "refs.ini");
    std::filesystem::create_directory(dir() + "refs.ini");
    prompt.expect("", answer_ok);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(store.devices_running());
    ASSERT_EQ(prompt.seen().size(), 1u);
    EXPECT_EQ(prompt.seen()[0].type, mb_error);
    EXPECT_TRUE(has(log_text(), " | ERR | "));
    std::filesystem::remove(dir() + "refs.ini");
    EXPECT_TRUE(window->close());
}

TEST_F(MainWindow, AConfigurationThatFailedToLoadIsNeverSavedOverRefsIni) {
    const std::string broken = "<struct><REFs version=\"1\"><ref tp=";
    ilktest::write_bytes(dir() + "refs.ini", broken);
    resources = init_ui_resources();
    window = std::make_unique<nx_dlg_mod>(store, *resources, -1, &hot_key);
    EXPECT_ANY_THROW(window->create_contents());
    EXPECT_TRUE(store.state().load_failed());
    // Edit mode is on: the close would save without asking.
    EXPECT_TRUE(window->close());
    EXPECT_EQ(ilktest::read_bytes(dir() + "refs.ini"), broken);
    EXPECT_ANY_THROW(store.save());
    EXPECT_EQ(ilktest::read_bytes(dir() + "refs.ini"), broken);
}

// Throws from the update pass, as a faulty observer would.
class throwing_observer : public i_observer {
public:
    void on_changes_done() override { throw nx_exception("сбой обновления"); }
};

TEST_F(MainWindow, AFaultInTheUpdatePassIsLoggedAndShownAfterItAndTheWindowRunsOn) {
    open_window();
    throwing_observer observer;
    store.subscribe_subtree("K", &observer);
    prompt.expect("сбой обновления", answer_ok);
    store.mark_changed("K");
    QTest::qWait(100);
    store.unsubscribe_subtree("K", &observer);
    EXPECT_EQ(prompt.pending(), 0u);
    // One box, however many passes failed before it was shown.
    EXPECT_EQ(prompt.seen().size(), 1u);
    EXPECT_TRUE(has(log_text(), " | ERR | сбой обновления"));
    store.mark_changed("K");
    QTest::qWait(30);
    EXPECT_EQ(prompt.seen().size(), 1u);
}

} // namespace
