#pragma once

#include <functional>
#include <string>

namespace nxkit {

// Small seams between the program and the desktop it runs on. Each has a Linux (or Qt)
// implementation that the shell installs and a double that tests install instead. Like the
// prompt, the installed one is process-wide; without one installed, nothing happens.

// A short tone; where no sound device answers, the desktop's bell.
class i_beep {
public:
    virtual ~i_beep() = default;
    virtual void beep(int frequency_hz, int duration_ms) = 0;
};

// Plain text on the desktop's clipboard (UTF-8).
class i_clipboard {
public:
    virtual ~i_clipboard() = default;
    virtual std::string text() = 0;
    virtual void set_text(const std::string& text) = 0;
};

// One key combination for the whole program (Qt's portable key text, "Ctrl+Alt+Shift+F7").
class i_hot_key {
public:
    virtual ~i_hot_key() = default;
    // False when the combination cannot be taken; `pressed` runs on the user-interface thread.
    virtual bool register_key(const std::string& sequence, std::function<void()> pressed) = 0;
    virtual void unregister_key() = 0;
};

// What a desktop link or an autostart entry starts.
struct desktop_entry {
    std::string name;
    std::string program;
    std::string working_dir;
    // ILKSTATION_HOME of the started program; empty when it runs without one.
    std::string station_home;
    std::string comment;
    // Icon= of the entry: a name from the icon theme (the package installs "ilkstation").
    std::string icon;
};

// Links on the user's desktop.
class i_desktop_link {
public:
    virtual ~i_desktop_link() = default;
    // With a trailing '/'; empty when neither a desktop nor a home folder can be found.
    virtual std::string desktop_folder() = 0;
    // Writes an executable link file that starts `entry`; replaces one of the same name.
    virtual bool create(const std::string& path, const desktop_entry& entry) = 0;
    virtual bool remove(const std::string& path) = 0;
};

// The terminal start-up mode: an autostart entry for this station, started with the session.
class i_terminal_mode {
public:
    virtual ~i_terminal_mode() = default;
    // The entry's file, named in the operator's questions.
    virtual std::string entry_path() = 0;
    // The program the entry starts; empty when there is no entry or it cannot be read.
    virtual std::string started_program() = 0;
    virtual bool enable(const desktop_entry& entry) = 0;
    virtual bool disable() = 0;
};

i_beep* current_beep();
void set_beep(i_beep* beep);
i_clipboard* current_clipboard();
void set_clipboard(i_clipboard* clipboard);
i_desktop_link* current_desktop_link();
void set_desktop_link(i_desktop_link* link);
i_terminal_mode* current_terminal_mode();
void set_terminal_mode(i_terminal_mode* mode);

// The text of a freedesktop entry that starts `entry` (Type=Application).
std::string desktop_entry_text(const desktop_entry& entry);
// The Exec= value of an entry's text (unquoted program, without the env prefix); empty when
// there is none.
std::string desktop_entry_program(const std::string& text);

// Linux: the user's desktop folder from XDG_DESKTOP_DIR (user-dirs.dirs), else ~/Desktop when it
// exists, else the home folder itself; entries written as executable files.
class xdg_desktop_link : public i_desktop_link {
public:
    std::string desktop_folder() override;
    bool create(const std::string& path, const desktop_entry& entry) override;
    bool remove(const std::string& path) override;
};

// Linux: $XDG_CONFIG_HOME/autostart/<name>.desktop (~/.config when unset), one per station.
class xdg_terminal_mode : public i_terminal_mode {
public:
    // `station_id` distinguishes stations (the single-instance name of the station).
    explicit xdg_terminal_mode(std::string station_id) : station_id_(std::move(station_id)) {}
    std::string entry_path() override;
    std::string started_program() override;
    bool enable(const desktop_entry& entry) override;
    bool disable() override;

private:
    std::string station_id_;
};

// Linux: the console's tone generator when the process may use it; false when it may not (the
// caller then rings the desktop's bell).
bool console_tone(int frequency_hz, int duration_ms);

} // namespace nxkit
