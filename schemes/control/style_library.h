#pragma once

// The style library default.XSTL: the eleven styles of the style marks, the update that keeps
// them in the station's library, and the parsed form the control paints from. No Qt.

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace nxkit {

// A colour as the library and the scheme files write it: a colour name of the control,
// "#rrggbb", a decimal RGB value with red in the low byte, or a palette reference "$0000NN".
struct sde_colour {
    std::uint8_t r = 0, g = 0, b = 0;
    bool transparent = false;
};
std::optional<sde_colour> parse_colour(const std::string& text);
// The colour names the control knows, in a fixed order (for the legend and the docs).
const std::vector<std::string>& colour_names();

struct style_phase {
    std::string style; // Background: "bsSolid" or "bsClear"
    std::string color;
    double width = 1;
};

// Background, border, or the border and background of a figure.
struct style_part {
    bool present = false;
    std::string style;     // Border: "psSolid" or "psClear"
    bool blinking = false; // Background "Blinking" 1 or Animation "baBlinking"
    int delay = 4;         // ticks of the shared blink timer per phase
    std::vector<style_phase> phases;
};

struct style_figure {
    bool present = false;
    std::string code; // "fcDKrest", "fcCircle", "fcCorner"
    bool blinking = false;
    int delay = 4;
    bool size_absolute = false; // size in screen pixels, else relative to the object
    double size_width = 0;
    style_part border;
    style_part background;
    std::vector<std::string> corners; // "cvCenter", "cvLeftTop", ...
};

struct style_def {
    std::string name;
    style_part background;
    style_part border;
    style_figure figure;
    std::vector<std::string> current_states; // "csBorder", "csBackGround", "csFigure"
};

using style_library_map = std::map<std::string, style_def>;

// Parses a library text (UTF-8). Styles that cannot be read are left out; `errors` gets one
// line per such style.
style_library_map parse_style_library(const std::string& utf8,
                                      std::vector<std::string>* errors = nullptr);

// The built-in styles: the text of each style (from "<Style Name=" to "</Style>") by name,
// UTF-8, and a whole library file made of them.
const std::map<std::string, std::string>& builtin_styles();
std::string builtin_library_text();
const style_library_map& builtin_style_map();
// What each style marks, for the display standard.
std::string style_meaning(const std::string& name);

// SDE/default.XSTL in the station folder.
std::string style_library_path();

// Makes sure the library at `path` holds the built-in styles (created from them when absent).
// With the setting MODUS/XSTL_UPD set, their bodies are replaced and the setting reset to 0.
// Missing styles are appended before "</Styles>" after a dated ".bak" copy was written. The
// file is Windows-1251. Failures raise nx_exception with the texts of the library update;
// a change is logged "обновлен файл стилей '<path>'". Returns whether the file was written.
bool update_style_library(const std::string& path, std::time_t now = std::time(nullptr));

// The station's library for the run (start-up step 8): brought up to date and read once.
// Until then, and when that fails, the built-in styles are used; the failure is thrown for
// start-up to report ("Ошибка инициализации: ..."), the schemes still open.
void prepare_station_styles();
// The styles prepared above; prepared on first use when start-up did not (tools, tests),
// a failure then written as an error line.
const style_library_map& station_styles();

// Reads and parses the library (Windows-1251); built-in styles fill in what it lacks.
style_library_map load_style_library(const std::string& path,
                                     std::vector<std::string>* errors = nullptr);

} // namespace nxkit
