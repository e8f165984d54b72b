#include "shell/startup.h"

#include "base/last_error.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "base/settings_keys.h"
#include "config/t_ref_buff.h"
#include "platform/close_signals.h"
#include "platform/station.h"
#include "platform/thread_registry.h"
#include "platform/single_instance.h"
#include "access/engineer_access.h"
#include "shell/access_session.h"
#include "schemes/control/style_library.h"
#include "shell/main_window.h"
#include "ui/qt_desktop.h"
#include "ui/qt_prompt.h"
#include "ui/ui_resources.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QPainter>
#include <QPixmap>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>
#include <unistd.h>

namespace nxkit {

namespace {

bool full_screen_flag = false;

const std::string hyphen_line(45, '-');

std::string type_name(const std::exception& e) {
    const char* mangled = typeid(e).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return status == 0 && demangled ? demangled.get() : mangled;
}

// Qt aborts the process when it finds no display; find that out first so the failure is
// reported like any other.
bool display_available() {
    auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v != nullptr && *v != 0;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

// The program's icon: a switch symbol in the station's colours.
QIcon program_icon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 120, 60));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(1, 1, 30, 30, 5, 5);
    p.setPen(QPen(Qt::white, 3));
    p.drawLine(16, 4, 16, 11);
    p.drawLine(16, 11, 24, 22);
    p.drawLine(16, 22, 16, 28);
    return QIcon(pixmap);
}

// Steps 1 to 8: settings and log, then the platform libraries. Throws on failure.
std::unique_ptr<QApplication> first_phase(int& argc, char** argv) {
    int log_size = read_log_size();
    nx_log::main().open("", log_size, 0);
    nx_log::main().mes(hyphen_line);
    nx_log::main().mes("СТАРТ");

    errno = 0;
    if (!display_available())
        throw nx_exception("ошибка InitCommonControlsEx");
    auto app = std::make_unique<QApplication>(argc, argv);
    load_qt_translation(*app);

    // Sockets: a peer that closes must not kill the process with SIGPIPE.
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR)
        throw nx_exception("ошибка WSAStartup");

    // Step 8, in a guard of its own: the built-in styles stand in, the schemes still open.
    try {
        errno = 0;
        prepare_station_styles();
    } catch (const nx_exception& e) {
        report_fatal("Ошибка инициализации: " + std::string(e.what()) + last_error_text());
    }
    return app;
}

// Steps 9 to 16.
void second_phase(QApplication& app, t_ref_buff& store, int close_fd) {
    static qt_prompt prompt;
    set_prompt(&prompt);
    static qt_clipboard clipboard;
    set_clipboard(&clipboard);
    static qt_beep beep;
    set_beep(&beep);
    static xdg_desktop_link desktop_link;
    set_desktop_link(&desktop_link);
    static xdg_terminal_mode terminal(instance_guard_name(exe_path()));
    set_terminal_mode(&terminal);

    std::unique_ptr<ui_resources> resources = init_ui_resources();
    full_screen_flag = read_full_screen() != 0;
    auto window = std::make_unique<nx_dlg_mod>(store, *resources, close_fd);
    // Before the contents: a station with an engineer's password starts in view mode.
    new access_session(*window, std::make_unique<engineer_access>());
    window->setWindowIcon(program_icon());
    app.setWindowIcon(program_icon());
    window->create_contents();
    window->show_in_mode(full_screen_flag);
    app.exec();
    store.start_devices(false);
    window.reset();
    release_ui_resources(resources);
}

[[noreturn]] void shut_down(t_ref_buff& store) {
    int left = wait_for_threads(5000);
    if (left != 0)
        nx_log::main().err("количество незавершенных потоков: " + std::to_string(left));
    store.clear();
    nx_log::main().mes("СТОП");
    // No static destructors and no exit handlers: every log line is already flushed.
    ::_exit(0);
}

} // namespace

bool full_screen() {
    return full_screen_flag;
}

QTranslator* load_qt_translation(QCoreApplication& app) {
    // The program speaks Russian whatever the session's locale is.
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QLocale::setDefault(russian);
    auto* translator = new QTranslator(&app);
    if (!translator->load(russian, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

void report_fatal(const std::string& text) {
    if (!nx_log::main().file_name().empty())
        nx_log::main().err(text);
    std::string caption = exe_path();
    show_message(nullptr, text, mb_error, caption.c_str());
}

int run_workstation(int argc, char** argv) {
    static qt_prompt early_prompt;
    set_prompt(&early_prompt);

    std::unique_ptr<QApplication> app;
    try {
        app = first_phase(argc, argv);
    } catch (const nx_exception& e) {
        report_fatal("Ошибка инициализации: " + std::string(e.what()) + last_error_text());
        return 0;
    } catch (...) {
        report_fatal("Ошибка инициализации" + last_error_text());
        return 0;
    }

    int close_fd = install_close_signals();
    // The one store of the process; it lives until the process ends itself.
    static t_ref_buff store;
    try {
        second_phase(*app, store, close_fd);
    } catch (const nx_exception& e) {
        std::string error = last_error_text();
        report_fatal("Аварийное завершение (nx_exception): " + std::string(e.what()) + "\r\n" +
                     error);
    } catch (const std::exception& e) {
        std::string error = last_error_text();
        report_fatal("Аварийное завершение (" + type_name(e) + "): " + e.what() + "\r\n" + error);
    } catch (...) {
        std::string error = last_error_text();
        report_fatal("Аварийное завершение (...)\r\n" + error);
    }
    shut_down(store);
}

} // namespace nxkit
