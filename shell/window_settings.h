#pragma once

#include "base/prompt.h"

#include <string>
#include <vector>

namespace nxkit {

class nx_dlg_mod;

inline constexpr int program_version = 28;

// The title when CTRL/title is empty.
inline constexpr const char* default_title = "ilkstation";

// CTRL/title with blanks trimmed (written back when absent), or the default title.
std::string configured_title();
// title + " (версия 28) - " + the station folder.
std::string window_text(const std::string& title);

// A stored window rectangle, as the settings keep it (right and bottom exclusive).
struct placement_rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
// Applied only when all four values are non-negative, the rectangle is not empty and it meets
// at least one screen.
bool placement_valid(const placement_rect& r, const std::vector<placement_rect>& screens);

// The first start's window (nothing stored yet): the screen's available area less the frame
// the window manager adds around it, as a rectangle of the window's client area.
placement_rect first_start_placement(const placement_rect& available, int frame_side,
                                     int frame_top);

// Title, placement and terminal mode, once the window is created and shown.
void apply_window_settings(nx_dlg_mod& window, bool full_screen);
// CTRL/wnd_zoom and the restored rectangle.
void store_placement(nx_dlg_mod& window);

// The terminal start-up mode (VIEW/TERMINAL against this station's autostart entry).
void apply_terminal_mode(nx_dlg_mod* owner);

// The desktop link's name: title + the station's program path, with ~ ` & ^ : ; # " \ / ? < >
// * % | turned into '_'.
std::string shortcut_name(const std::string& title, const std::string& program_path);
// Replaces the link made last time (CTRL/shortcut) by a fresh one in the desktop folder (the
// home folder when there is none) and tells the operator where it was written, or that it
// could not be.
void create_desktop_shortcut(const std::string& title, owner_handle owner = nullptr);

// The About box: its first line, then the modules the program is built on and their versions.
std::string about_text(const std::string& title);
void show_about(nx_dlg_mod& window);

// The edit-mode hint, naming the configured keys ("Ctrl+Alt+Shift+F7" -> "Ctrl + Alt + Shift +
// F7").
std::string edit_key_hint(const std::string& sequence);
// VIEW/EDIT_KEY_SEQ, written back when absent.
std::string edit_key_sequence();

} // namespace nxkit
