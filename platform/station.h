#pragma once

#include <string>

namespace nxkit {

// The station folder: ILKSTATION_HOME when set; else, for an installed program, the user's
// station (user_station_dir()); else the executable's folder (a build run from the checkout).
// Always absolute, with a trailing '/'. Computed once per process.
std::string exe_dir();

// Station folder + "ilkstation": the base name of the settings file and the program log,
// and the source of the single-instance name.
std::string exe_path();

// The real location of the running executable (independent of ILKSTATION_HOME).
std::string running_executable();

// The folder of `executable`, with a trailing '/'.
std::string folder_of(const std::string& executable);

// The program's shared data of an installed program: <prefix>/share/ilkstation/ beside the
// <prefix>/bin that holds the executable, found from the executable's folder so an unpacked
// package tree works like an installed one. Empty when there is none (a checkout build).
std::string installed_data_dir(const std::string& executable_folder);

// An installed program never keeps its station beside the executable: it is installed when
// its shared data sit beside it or when it may not write into its own folder.
bool installed_program(const std::string& executable_folder);

// The user's data folder of the program: $XDG_DATA_HOME/ilkstation/, or
// $HOME/.local/share/ilkstation/ when XDG_DATA_HOME is unset, empty or relative.
std::string user_data_dir(const std::string& xdg_data_home, const std::string& home);

// What the station folder is chosen from; environment values are empty when unset.
struct station_rule {
    std::string home_variable; // ILKSTATION_HOME
    std::string xdg_data_home;
    std::string home;
    std::string executable_folder;
    bool installed = false;
};

// The station folder the rule gives, absolute with a trailing '/'.
std::string choose_station_dir(const station_rule& rule);

// The rule as this process sees it (environment and running executable).
station_rule current_station_rule();

// The default station of an installed program: user_data_dir() + "station/".
std::string user_station_dir(const station_rule& rule);

} // namespace nxkit
