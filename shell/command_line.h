#pragma once

#include "platform/station.h"

#include <string>
#include <vector>

namespace nxkit {

// The workstation's command line. Options are read before anything else of the program runs,
// so --station can still choose the station folder (it sets ILKSTATION_HOME for the process).

enum class command_action { run, help, version, new_station, demo, bad_use };

struct command_line {
    command_action action = command_action::run;
    std::string station;    // --station ПАПКА
    std::string new_folder; // --new-station ПАПКА
    std::string error;      // bad use: what is wrong, in Russian
};

// Exit statuses: bad use of the command line, and a refused or failed action.
inline constexpr int exit_bad_use = 2;
inline constexpr int exit_failure = 1;

// `args` without the program's name.
command_line parse_command_line(const std::vector<std::string>& args);

std::string help_text();
// "ilkstation <version>" and a line naming the build's libraries.
std::string version_text();

// Where the demo station and the style library are read from: the installed program's data
// folder, or the checkout's demo/ for a build run from the checkout. Empty when none.
std::string demo_source_dir(const station_rule& rule);

// A folder with nothing in it, or none at all.
bool folder_missing_or_empty(const std::string& folder);

// Makes an empty, working station in `folder` (made when missing): refs.ini with the three
// roots, SDE/ with the style library default.XSTL, CONF_INI/. Refuses a folder that is not
// empty. Returns "" on success, else the reason in Russian. Settings are not written here:
// they belong to the process's own station (write_default_settings()).
std::string create_station(const std::string& folder);

// Writes every station-wide setting with its default into the settings file of this process's
// station (keys already there keep their values).
void write_default_settings();

// Copies the demo station from `source` into `station` unless that folder exists already, and
// gives the controller simulator its own copy of the controller file (controller/conf.ini).
// Returns "" on success, else the reason in Russian.
std::string prepare_demo_station(const std::string& source, const std::string& station);

// The simulators the demo runs with: the installed ilkstation-kp-sim and
// ilkstation-controller-sim beside the executable, or the checkout build's tools. Empty when
// not found.
std::string find_tool(const std::string& executable_folder, const std::string& installed_name,
                      const std::string& build_path);

enum class first_start_choice { quit = 0, create_empty = 1, open_demo = 2 };

// On the first start of an installed program with no station in the user's folder: says so
// and offers to create an empty station there or to open the demo (through the prompt).
first_start_choice offer_first_start(const std::string& station);

// The offer's text when there is no display to show it on.
std::string first_start_text(const std::string& station);

// Reads the command line, carries out its action, and runs the workstation when that is
// what it asks for. Returns the process's exit status.
int run_command_line(int argc, char** argv);

} // namespace nxkit
