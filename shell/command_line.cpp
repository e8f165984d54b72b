#include "shell/command_line.h"

#include "archive/archive_service.h"
#include "base/cp1251.h"
#include "base/files.h"
#include "base/prompt.h"
#include "base/settings_keys.h"
#include "platform/companion_process.h"
#include "schemes/control/style_library.h"
#include "shell/startup.h"
#include "ui/qt_prompt.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#ifndef ILK_VERSION
#define ILK_VERSION "0"
#endif

namespace nxkit {

namespace {

namespace fs = std::filesystem;

// A station with nothing configured: the three roots, as the program itself would save them.
const char* const empty_refs = "<struct>\r\n"
                               "<REFs version=\"1\">\r\n"
                               "  <ref tp=\"50\" cur=\"1\" title=\"Оборудование\"/>\r\n"
                               "  <ref tp=\"40\" cur=\"1\" title=\"Структура\"/>\r\n"
                               "  <ref tp=\"80\" cur=\"1\" title=\"Схемы\" tmoo=\"15\"/>\r\n"
                               "</REFs>\r\n"
                               "</struct>\r\n";

std::string with_slash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string absolute_folder(const std::string& folder) {
    std::error_code ec;
    fs::path path = fs::absolute(folder, ec);
    return with_slash(ec ? folder : path.lexically_normal().string());
}

bool has_display() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != 0)
            return true;
    }
    return false;
}

void print(std::FILE* to, const std::string& text) {
    std::fputs(text.c_str(), to);
    std::fflush(to);
}

int bad_use(const std::string& error) {
    print(stderr, "ilkstation: " + error + "\nСправка: ilkstation --help\n");
    return exit_bad_use;
}

int failure(const std::string& error) {
    print(stderr, "ilkstation: " + error + "\n");
    return exit_failure;
}

// Starts the demo's two simulators on the station's files; a missing simulator leaves the
// demo without values, which is said but not fatal.
void start_demo_simulators(const station_rule& rule, const std::string& station) {
    const std::string kp =
        find_tool(rule.executable_folder, "ilkstation-kp-sim", "tools/kp-sim/kp-sim");
    const std::string controller = find_tool(rule.executable_folder, "ilkstation-controller-sim",
                                             "tools/controller-sim/controller-sim");
    if (kp.empty() || controller.empty())
        print(stderr, "ilkstation: симуляторы не найдены (пакет ilkstation-tools не установлен?): "
                      "демонстрационная станция работает без значений\n");
    if (!kp.empty() &&
        start_companion(kp, {"--scenario", station + "kp-sim.scn"}, station + "kp-sim.out") < 0)
        print(stderr, "ilkstation: не удалось запустить " + kp + "\n");
    if (!controller.empty() &&
        start_companion(controller, {"--port", "10000", "--dir", station + "controller"},
                        station + "controller-sim.out") < 0)
        print(stderr, "ilkstation: не удалось запустить " + controller + "\n");
}

// The station the demo runs in: the one named (--station, ILKSTATION_HOME) or the user's.
int run_demo(const station_rule& rule, const std::string& named_station, char* program) {
    const std::string source = demo_source_dir(rule);
    if (source.empty())
        return failure("демонстрационная станция не найдена");
    const std::string station = !named_station.empty() ? absolute_folder(named_station)
                                : !rule.home_variable.empty()
                                    ? absolute_folder(rule.home_variable)
                                    : user_data_dir(rule.xdg_data_home, rule.home) + "demo/";
    if (std::string error = prepare_demo_station(source, station); !error.empty())
        return failure(error);
    ::setenv("ILKSTATION_HOME", station.c_str(), 1);
    print(stdout, "папка станции: " + station + "\n");
    start_demo_simulators(rule, station);
    char* argv[] = {program, nullptr};
    return run_workstation(1, argv);
}

int make_new_station(const std::string& folder) {
    const std::string station = absolute_folder(folder);
    if (std::string error = create_station(station); !error.empty())
        return failure(error);
    // The settings file belongs to the process's station: this one from now on.
    ::setenv("ILKSTATION_HOME", station.c_str(), 1);
    write_default_settings();
    print(stdout, "создана станция в папке " + station + "\nзапуск: ilkstation --station " +
                      station + "\n");
    return 0;
}

// The offer is made in an application object of its own, gone before the workstation starts.
first_start_choice ask_first_start(const std::string& station) {
    int argc = 1;
    char name[] = "ilkstation";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    qt_prompt prompt;
    i_prompt* previous = current_prompt();
    set_prompt(&prompt);
    first_start_choice choice = offer_first_start(station);
    set_prompt(previous);
    return choice;
}

} // namespace

command_line parse_command_line(const std::vector<std::string>& args) {
    command_line result;
    bool help = false;
    bool version = false;
    bool demo = false;
    bool new_station = false;
    bool station = false;
    auto bad = [&](std::string error) {
        command_line wrong;
        wrong.action = command_action::bad_use;
        wrong.error = std::move(error);
        return wrong;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool inline_value = false;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inline_value = true;
        }
        const bool takes_folder = arg == "--station" || arg == "--new-station";
        if (inline_value && !takes_folder)
            return bad("параметр " + arg + " не принимает значения");
        if (takes_folder && !inline_value) {
            if (i + 1 >= args.size())
                return bad("после " + arg + " нужна папка");
            value = args[++i];
        }
        if (takes_folder && value.empty())
            return bad("после " + arg + " нужна папка");
        bool* seen = arg == "--help" || arg == "-h" ? &help
                     : arg == "--version"           ? &version
                     : arg == "--demo"              ? &demo
                     : arg == "--station"           ? &station
                     : arg == "--new-station"       ? &new_station
                                                    : nullptr;
        if (seen == nullptr) {
            if (arg.empty() || arg.front() != '-')
                return bad("лишний аргумент '" + arg + "'");
            return bad("неизвестный параметр '" + arg + "'");
        }
        if (*seen)
            return bad("параметр " + arg + " указан дважды");
        *seen = true;
        if (arg == "--station")
            result.station = value;
        else if (arg == "--new-station")
            result.new_folder = value;
    }
    if (help) {
        result.action = command_action::help;
        return result;
    }
    if (version) {
        result.action = command_action::version;
        return result;
    }
    if (new_station && (demo || station))
        return bad("--new-station не сочетается с " + std::string(demo ? "--demo" : "--station"));
    result.action = new_station ? command_action::new_station
                    : demo      ? command_action::demo
                                : command_action::run;
    return result;
}

std::string help_text() {
    return "Использование: ilkstation [ПАРАМЕТРЫ]\n"
           "Рабочее место оператора блокировок коммутационных аппаратов подстанции.\n"
           "\n"
           "  --station ПАПКА      работать со станцией в папке ПАПКА (важнее ILKSTATION_HOME)\n"
           "  --new-station ПАПКА  создать пустую станцию в новой или пустой папке и выйти\n"
           "  --demo               запустить демонстрационную станцию с симуляторами\n"
           "                       (при первом запуске она копируется в\n"
           "                       ~/.local/share/ilkstation/demo)\n"
           "  -h, --help           показать эту справку и выйти\n"
           "  --version            показать версию и выйти\n"
           "  --set-password       задать или сменить пароль инженера станции и выйти\n"
           "  --verify-audit [ФАЙЛ] проверить цепочку журнала действий (audit.log) и выйти\n"
           "\n"
           "Папка станции: ПАПКА из --station, иначе ILKSTATION_HOME, иначе\n"
           "$XDG_DATA_HOME/ilkstation/station (~/.local/share/ilkstation/station); программа,\n"
           "собранная из исходников и запущенная из папки сборки, берет папку сборки.\n"
           "Код выхода 2: неверная командная строка.\n";
}

std::string version_text() {
    return std::string("ilkstation ") + ILK_VERSION + "\nQt " + qVersion() + "\n";
}

std::string demo_source_dir(const station_rule& rule) {
    if (std::string data = installed_data_dir(rule.executable_folder); !data.empty())
        return dir_exists(data + "demo/") ? data + "demo/" : std::string();
#ifdef ILK_SOURCE_DIR
    // A build run from the checkout reads the checkout's demo.
    const std::string checkout = std::string(ILK_SOURCE_DIR) + "/demo/";
    if (dir_exists(checkout))
        return checkout;
#endif
    return {};
}

bool folder_missing_or_empty(const std::string& folder) {
    std::error_code ec;
    if (!fs::exists(folder, ec))
        return true;
    return fs::is_directory(folder, ec) && fs::is_empty(folder, ec) && !ec;
}

std::string create_station(const std::string& folder) {
    const std::string station = with_slash(folder);
    std::error_code ec;
    // Asked with the name as given: "file/" does not exist, "file" does.
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec))
        return "'" + folder + "' не папка";
    if (!folder_missing_or_empty(station))
        return "папка '" + folder + "' не пуста: новая станция создается только в пустой папке";
    if (!make_dirs(station + "SDE/") || !make_dirs(station + "CONF_INI/"))
        return "не удалось создать папку '" + folder + "'";
    if (!write_file_atomic(station + "refs.ini", to_cp1251(empty_refs), true) ||
        !write_file_atomic(station + "SDE/default.XSTL", to_cp1251(builtin_library_text()), true))
        return "не удалось записать файлы станции в папку '" + folder + "'";
    return {};
}

void write_default_settings() {
    using namespace setting;
    for (const int_setting* s : {&log_size,
                                 &show_log,
                                 &show_mes,
                                 &mes_size,
                                 &mes_day_backup,
                                 &beep_frec,
                                 &beep_dur,
                                 &beep_sleep,
                                 &setting::full_screen,
                                 &edit_key,
                                 &terminal,
                                 &btn_top,
                                 &font_tab,
                                 &font_menu,
                                 &num,
                                 &editline,
                                 &scroll_point,
                                 &scroll_time,
                                 &scroll_step_count,
                                 &hwnd,
                                 &hint_balloon,
                                 &edit,
                                 &grid,
                                 &con,
                                 &hint_yes,
                                 &wnd_zoom,
                                 &wnd_left,
                                 &wnd_right,
                                 &wnd_top,
                                 &wnd_bottom,
                                 &font_menu_sys,
                                 &font_mes_sys,
                                 &editor_devs,
                                 &editor_strs,
                                 &editor_schema,
                                 &editor_width_devs,
                                 &editor_width_strs,
                                 &editor_width_schema,
                                 &max_back_refs,
                                 &hand_show,
                                 &hand_load,
                                 &ilkk,
                                 &xstl_upd,
                                 &toolbar,
                                 &statusbar})
        read_setting(*s);
    // LAST_PAR, LAST_ON and LAST_OF take their defaults from the sample type when first used.
    for (const string_setting* s : {&edit_key_seq, &btn, &title, &shortcut, &last_tl})
        read_setting(*s);
    // The archive's section, every key (docs/settings.md).
    read_setting(archive_on);
    archive_service_settings::from_settings({});
}

std::string prepare_demo_station(const std::string& source, const std::string& station) {
    std::error_code ec;
    if (!fs::exists(station, ec)) {
        fs::create_directories(station, ec);
        if (!ec)
            fs::copy(source, station, fs::copy_options::recursive, ec);
        if (ec)
            return "не удалось скопировать демонстрационную станцию в папку '" + station +
                   "': " + ec.message();
        // Files copied from a read-only package tree stay writable for the operator.
        for (const auto& entry : fs::recursive_directory_iterator(station, ec))
            fs::permissions(entry.path(),
                            fs::perms::owner_read | fs::perms::owner_write |
                                (entry.is_directory() ? fs::perms::owner_exec : fs::perms::none),
                            fs::perm_options::add, ec);
    }
    if (!fs::exists(station + "controller", ec)) {
        if (!make_dirs(station + "controller/") ||
            !copy_file(station + "CONF_INI/conf.ini", station + "controller/conf.ini"))
            return "не удалось подготовить папку контроллера '" + station + "controller'";
    }
    return {};
}

std::string find_tool(const std::string& executable_folder, const std::string& installed_name,
                      const std::string& build_path) {
    for (const std::string& path :
         {executable_folder + installed_name, executable_folder + build_path})
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    return {};
}

std::string first_start_text(const std::string& station) {
    return "Станция не найдена: папка станции " + station +
           " пуста или ее нет.\r\nСоздать в ней пустую станцию или открыть "
           "демонстрационную станцию?";
}

first_start_choice offer_first_start(const std::string& station) {
    form_request form;
    form.title = "ilkstation";
    form.text = first_start_text(station);
    form.buttons = {
        {"Создать пустую станцию", 0, static_cast<int>(first_start_choice::create_empty)},
        {"Открыть демонстрационную станцию", 0, static_cast<int>(first_start_choice::open_demo)},
        {"Выход", 0, static_cast<int>(first_start_choice::quit)}};
    const int answer =
        current_prompt() == nullptr ? 0 : current_prompt()->modal_form(nullptr, form);
    switch (answer) {
    case static_cast<int>(first_start_choice::create_empty):
        return first_start_choice::create_empty;
    case static_cast<int>(first_start_choice::open_demo):
        return first_start_choice::open_demo;
    default:
        return first_start_choice::quit;
    }
}

int run_command_line(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const command_line line = parse_command_line(args);
    switch (line.action) {
    case command_action::bad_use:
        return bad_use(line.error);
    case command_action::help:
        print(stdout, help_text());
        return 0;
    case command_action::version:
        print(stdout, version_text());
        return 0;
    case command_action::new_station:
        return make_new_station(line.new_folder);
    default:
        break;
    }
    const station_rule rule = current_station_rule();
    if (line.action == command_action::demo)
        return run_demo(rule, line.station, argv[0]);

    if (!line.station.empty()) {
        std::error_code ec;
        if (!fs::is_directory(line.station, ec))
            return failure("нет папки станции '" + line.station + "'");
        ::setenv("ILKSTATION_HOME", absolute_folder(line.station).c_str(), 1);
    } else if (rule.home_variable.empty() && rule.installed) {
        const std::string station = user_station_dir(rule);
        if (folder_missing_or_empty(station)) {
            if (!has_display()) {
                print(stderr, "ilkstation: " + first_start_text(station) +
                                  "\nСоздать: ilkstation --new-station " + station +
                                  "\nДемонстрация: ilkstation --demo\n");
                return exit_failure;
            }
            switch (ask_first_start(station)) {
            case first_start_choice::create_empty:
                if (int status = make_new_station(station); status != 0)
                    return status;
                break;
            case first_start_choice::open_demo:
                return run_demo(rule, {}, argv[0]);
            case first_start_choice::quit:
                return 0;
            }
        }
    }
    // Qt reads options of its own from the command line; ours are handled already.
    char* program[] = {argv[0], nullptr};
    return run_workstation(1, program);
}

} // namespace nxkit
