#pragma once

#include "base/settings.h"

#include <string>

namespace nxkit {

// Every key of the settings file with its section and default. A key of nullptr stands for
// keys named at run time (a signal, a toolbar button, a scheme). Keys are read with
// write-back unless `write_back` says otherwise.

struct int_setting {
    const char* section;
    const char* key;
    int default_value;
    bool write_back = true;
};

struct string_setting {
    const char* section;
    const char* key;
    const char* default_value;
    bool write_back = true;
};

struct double_setting {
    const char* section;
    const char* key;
    double default_value;
    bool write_back = true;
};

namespace setting {

// LOG
inline constexpr int_setting log_size{"LOG", "LOG_SIZE", 1000000};
inline constexpr int_setting show_log{"LOG", "show_log", 0};
inline constexpr int_setting show_mes{"LOG", "show_mes", 0};
inline constexpr int_setting mes_size{"LOG", "MES_SIZE", 1000000};
inline constexpr int_setting mes_day_backup{"LOG", "MES_DAY_BACKUP", 0};
inline constexpr int_setting beep_frec{"LOG", "BEEP_FREC", 2000};
inline constexpr int_setting beep_dur{"LOG", "BEEP_DUR", 50};
inline constexpr int_setting beep_sleep{"LOG", "BEEP_SLEEP", 500};

// VIEW
inline constexpr int_setting full_screen{"VIEW", "FULLSCREEN", 0};
inline constexpr int_setting edit_key{"VIEW", "EDIT_KEY", 1};
// Qt's portable key text; Ctrl+Alt+F7 alone would switch the virtual terminal on Linux.
inline constexpr string_setting edit_key_seq{"VIEW", "EDIT_KEY_SEQ", "Ctrl+Alt+Shift+F7"};
inline constexpr int_setting terminal{"VIEW", "TERMINAL", 0};
inline constexpr int_setting btn_top{"VIEW", "BTN_TOP", 1};
inline constexpr string_setting btn{"VIEW", "BTN", "<icon=32><align=C><X=40><Y=40><type=2>"};
inline constexpr int_setting font_tab{"VIEW", "FONT_TAB", 15};
inline constexpr int_setting font_menu{"VIEW", "FONT_MENU", 0};
inline constexpr int_setting num{"VIEW", "NUM", 0};
inline constexpr int_setting editline{"VIEW", "EDITLINE", 9};
inline constexpr int_setting scroll_point{"VIEW", "SCROLL_POINT", 0};
inline constexpr int_setting scroll_time{"VIEW", "SCROLL_TIME", 200};
inline constexpr int_setting scroll_step_count{"VIEW", "SCROLL_STEP_COUNT", 5};

// CTRL
inline constexpr int_setting hwnd{"CTRL", "hwnd", 0};
inline constexpr int_setting hint_balloon{"CTRL", "hint_balloon", 1};
inline constexpr int_setting edit{"CTRL", "edit", 1};
inline constexpr int_setting grid{"CTRL", "GRID", 1};
inline constexpr int_setting con{"CTRL", "con", 1};
inline constexpr int_setting hint_yes{"CTRL", "hint_yes", 1};
inline constexpr string_setting title{"CTRL", "title", ""};
inline constexpr int_setting wnd_zoom{"CTRL", "wnd_zoom", 0};
inline constexpr int_setting wnd_left{"CTRL", "wnd_left", 0};
inline constexpr int_setting wnd_right{"CTRL", "wnd_right", 0};
inline constexpr int_setting wnd_top{"CTRL", "wnd_top", 0};
inline constexpr int_setting wnd_bottom{"CTRL", "wnd_bottom", 0};
inline constexpr string_setting shortcut{"CTRL", "shortcut", ""};
inline constexpr int_setting font_menu_sys{"CTRL", "FONT_MENU_SYS", 0};
inline constexpr int_setting font_mes_sys{"CTRL", "FONT_MES_SYS", 0};
inline constexpr int_setting editor_devs{"CTRL", "editor_devs", 1};
inline constexpr int_setting editor_strs{"CTRL", "editor_strs", 1};
inline constexpr int_setting editor_schema{"CTRL", "editor_schema", 1};
inline constexpr int_setting editor_width_devs{"CTRL", "editor_width_devs", 290};
inline constexpr int_setting editor_width_strs{"CTRL", "editor_width_strs", 290};
inline constexpr int_setting editor_width_schema{"CTRL", "editor_width_schema", 290};
inline constexpr int_setting max_back_refs{"CTRL", "MAX_BACK_REFS", 10};
inline constexpr string_setting last_tl{"CTRL", "LAST_TL", "#"};
// The defaults of these three are the sample type's present property and values; the
// owner passes them in place of the empty text here.
inline constexpr string_setting last_par{"CTRL", "LAST_PAR", ""};
inline constexpr string_setting last_on{"CTRL", "LAST_ON", ""};
inline constexpr string_setting last_of{"CTRL", "LAST_OF", ""};

// HAND
inline constexpr int_setting hand_show{"HAND", "SHOW", 1};
inline constexpr int_setting hand_load{"HAND", "LOAD", 0};
// Keyed by the signal's name; -1 is "no value entered".
inline constexpr int_setting hand_value{"HAND", nullptr, -1, false};

// CONF, MODUS
inline constexpr int_setting ilkk{"CONF", "ILKK", 0};
inline constexpr int_setting xstl_upd{"MODUS", "XSTL_UPD", 0};
inline constexpr int_setting toolbar{"MODUS", "TOOLBAR", 0};
inline constexpr int_setting statusbar{"MODUS", "STATUSBAR", 0};

// ACCESS: engineer access and the audit trail (audit.log).
// Minutes without the operator's input after which the engineer's access ends.
inline constexpr int_setting access_idle{"ACCESS", "IDLE_MINUTES", 15};
// Seconds the password is not asked for after three wrong ones.
inline constexpr int_setting access_lockout{"ACCESS", "LOCKOUT_SECONDS", 60};
// 1: keep audit.log also without an engineer's password.
inline constexpr int_setting audit{"ACCESS", "AUDIT", 0};
// audit.log is continued in a new file above this size.
inline constexpr int_setting audit_size{"ACCESS", "AUDIT_SIZE", 1000000};

// Keyed by the toolbar button's identifier, or by the scheme's key.
inline constexpr int_setting btns_view{"BTNS_VIEW", nullptr, 1};
inline constexpr int_setting btns_edit{"BTNS_EDIT", nullptr, 1};
inline constexpr double_setting shema_zoom{"SHEMA_ZOOM", nullptr, 1.0};

} // namespace setting

// Reads and writes of a table entry; `key` names the run-time key of a nullptr entry.
inline int read_setting(const int_setting& s, const std::string& key = {}) {
    return settings_get_int(s.section, s.key != nullptr ? s.key : key, s.default_value,
                            s.write_back);
}

inline std::string read_setting(const string_setting& s, const std::string& key = {}) {
    return settings_get_string(s.section, s.key != nullptr ? s.key : key, s.default_value,
                               s.write_back);
}

inline double read_setting(const double_setting& s, const std::string& key = {}) {
    return settings_get_double(s.section, s.key != nullptr ? s.key : key, s.default_value,
                               s.write_back);
}

inline void write_setting(const int_setting& s, int value, const std::string& key = {}) {
    settings_set_int(s.section, s.key != nullptr ? s.key : key, value);
}

inline void write_setting(const string_setting& s, const std::string& value,
                          const std::string& key = {}) {
    settings_set_string(s.section, s.key != nullptr ? s.key : key, value);
}

inline void write_setting(const double_setting& s, double value, const std::string& key = {}) {
    settings_set_double(s.section, s.key != nullptr ? s.key : key, value);
}

// The program log's size limit; a value below 1000000 is raised to it, in the file too.
inline int read_log_size() {
    int size = read_setting(setting::log_size);
    if (size < setting::log_size.default_value) {
        size = setting::log_size.default_value;
        write_setting(setting::log_size, size);
    }
    return size;
}

inline bool read_full_screen() {
    return read_setting(setting::full_screen) != 0;
}

// The main window's handle stored by the previous run.
inline int read_previous_window() {
    return read_setting(setting::hwnd);
}

} // namespace nxkit
