#include "shell/window_settings.h"

#include "base/files.h"
#include "base/prompt.h"
#include "base/settings.h"
#include "base/settings_keys.h"
#include "base/text.h"
#include "platform/desktop_services.h"
#include "platform/station.h"
#include "shell/main_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QtGlobal>

#include <cstdlib>
#include <expat.h>

namespace nxkit {

std::string configured_title() {
    std::string title = trim(read_setting(setting::title), ' ');
    return title.empty() ? default_title : title;
}

std::string window_text(const std::string& title) {
    return title + " (версия " + std::to_string(program_version) + ") - " + exe_dir();
}

bool placement_valid(const placement_rect& r, const std::vector<placement_rect>& screens) {
    if (r.left < 0 || r.top < 0 || r.right < 0 || r.bottom < 0)
        return false;
    if (r.right <= r.left || r.bottom <= r.top)
        return false;
    for (const placement_rect& s : screens) {
        if (r.left < s.right && s.left < r.right && r.top < s.bottom && s.top < r.bottom)
            return true;
    }
    return false;
}

namespace {

std::vector<placement_rect> screen_rects() {
    std::vector<placement_rect> rects;
    for (QScreen* screen : QGuiApplication::screens()) {
        QRect g = screen->geometry();
        rects.push_back({g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
    }
    return rects;
}

// Nothing stored yet: the whole available area of the window's screen, frame included, so the
// whole toolbar shows at once.
void fit_first_start(QWidget& window) {
    QScreen* screen =
        window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    int side = window.geometry().left() - window.frameGeometry().left();
    int top = window.geometry().top() - window.frameGeometry().top();
    // Not framed yet (the window manager decorates it later): the style's title bar.
    if (top <= 0) {
        side = window.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
        top = window.style()->pixelMetric(QStyle::PM_TitleBarHeight) + side;
    }
    const placement_rect r = first_start_placement(
        {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()}, side,
        top);
    window.setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// This station's program as the desktop starts it.
desktop_entry station_entry(const std::string& name) {
    desktop_entry entry;
    entry.name = name;
    entry.program = running_executable();
    entry.working_dir = exe_dir();
    entry.icon = "ilkstation";
    const char* home = std::getenv("ILKSTATION_HOME");
    if (home != nullptr && *home != 0)
        entry.station_home = exe_dir();
    return entry;
}

} // namespace

void apply_window_settings(nx_dlg_mod& window, bool full_screen) {
    window.set_title(configured_title());
    window.setWindowTitle(QString::fromStdString(window_text(window.title())));

    bool zoom = read_setting(setting::wnd_zoom) != 0 || full_screen;
    placement_rect r{read_setting(setting::wnd_left), read_setting(setting::wnd_top),
                     read_setting(setting::wnd_right), read_setting(setting::wnd_bottom)};
    // A full-screen window keeps the whole screen; its stored rectangle waits for a normal start.
    if (!full_screen && placement_valid(r, screen_rects())) {
        window.setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
        if (zoom)
            window.showMaximized();
    } else if (!full_screen && r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0) {
        fit_first_start(window);
    }
    apply_terminal_mode(&window);
}

placement_rect first_start_placement(const placement_rect& available, int frame_side,
                                     int frame_top) {
    return {available.left + frame_side, available.top + frame_top, available.right - frame_side,
            available.bottom - frame_side};
}

void store_placement(nx_dlg_mod& window) {
    bool zoomed = window.isMaximized() || window.isFullScreen();
    QRect g = zoomed ? window.normalGeometry() : window.geometry();
    settings_set_int("CTRL", "wnd_zoom", zoomed ? 1 : 0);
    settings_set_int("CTRL", "wnd_left", g.left());
    settings_set_int("CTRL", "wnd_right", g.left() + g.width());
    settings_set_int("CTRL", "wnd_top", g.top());
    settings_set_int("CTRL", "wnd_bottom", g.top() + g.height());
}

void apply_terminal_mode(nx_dlg_mod* owner) {
    i_terminal_mode* terminal = current_terminal_mode();
    if (terminal == nullptr)
        return;
    std::string program = running_executable();
    bool ours = terminal->started_program() == program;
    int wanted = read_setting(setting::terminal);
    if (wanted != 0 && !ours) {
        std::string text =
            "Включить загрузку в режиме 'Терминал' ?\r\nЭлемент автозапуска " +
            terminal->entry_path() + "\r\nбудет запускать '" + program +
            "'.\r\nДля отключения этого режима нужно в '" + settings_path() +
            "'\r\n установить параметр\r\n[VIEW]\r\nTERMINAL = 0.\r\nИ перезапустить " + program +
            ".";
        if (show_message(owner, text, mb_warning_yes_no) == answer_yes)
            terminal->enable(station_entry(configured_title()));
        else
            settings_set_int("VIEW", "TERMINAL", 0);
    } else if (wanted == 0 && ours) {
        if (show_message(owner, "Отключить загрузку в режиме 'Терминал' ?", mb_question) ==
            answer_yes)
            terminal->disable();
        else
            settings_set_int("VIEW", "TERMINAL", 1);
    }
}

std::string shortcut_name(const std::string& title, const std::string& program_path) {
    return replace_chars(title + program_path, "~`&^:;#\"\\/?<>*%|", '_');
}

void create_desktop_shortcut(const std::string& title, owner_handle owner) {
    std::string name = shortcut_name(title, exe_path());
    if (i_desktop_link* link = current_desktop_link()) {
        const std::string folder = link->desktop_folder();
        const std::string path = folder + " " + name + ".desktop";
        if (folder.empty()) {
            show_message(owner,
                         "Не удалось создать ярлык: не найдены ни рабочий стол, ни "
                         "домашняя папка пользователя.",
                         mb_error);
        } else {
            std::string previous = read_setting(setting::shortcut);
            link->remove(folder + " " + previous + ".desktop");
            if (link->create(path, station_entry(title)))
                show_message(owner, "Ярлык создан:\r\n" + path, mb_information);
            else
                show_message(owner, "Не удалось создать ярлык\r\n" + path, mb_error);
        }
    }
    settings_set_string("CTRL", "shortcut", name);
}

std::string about_text(const std::string& title) {
    std::string text = title + ". Версия " + std::to_string(program_version) + ".";
    text += "\r\n\r\nРабочее место оперативных блокировок коммутационных аппаратов подстанции.";
    text += "\r\nПостроено на:";
    text += std::string("\r\n  Qt ") + qVersion() + " (интерфейс пользователя)";
    // "expat_2.5.0"
    text += "\r\n  " + replace_chars(XML_ExpatVersion(), "_", ' ') + " (разбор XML)";
    text += "\r\n  muParser " ILK_MUPARSER_VERSION " (вычисление выражений)";
    text += "\r\nСобрано: g++ " __VERSION__ ", C++20.";
    return text;
}

void show_about(nx_dlg_mod& window) {
    show_message(&window, about_text(window.title()), mb_information, "О программе...");
}

std::string edit_key_sequence() {
    return read_setting(setting::edit_key_seq);
}

std::string edit_key_hint(const std::string& sequence) {
    std::string keys;
    std::size_t pos = 0;
    while (pos <= sequence.size()) {
        // "+" itself may be the key ("Ctrl++").
        std::size_t plus = sequence.find('+', pos + 1);
        if (plus == std::string::npos)
            plus = sequence.size();
        if (!keys.empty())
            keys += " + ";
        keys += sequence.substr(pos, plus - pos);
        pos = plus + 1;
    }
    return "Для включения редактора конфигурации нажмите клавиши.\r\n" + keys;
}

} // namespace nxkit
