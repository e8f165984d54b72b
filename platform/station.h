#pragma once

#include <string>

namespace nxkit {

// The station folder: ILKSTATION_HOME when set, else the executable's folder.
// Always absolute, with a trailing '/'. Computed once per process.
std::string exe_dir();

// Station folder + "ilkstation": the base name of the settings file and the program log,
// and the source of the single-instance name.
std::string exe_path();

// The real location of the running executable (independent of ILKSTATION_HOME).
std::string running_executable();

} // namespace nxkit
