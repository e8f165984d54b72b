#pragma once

#include <string>
#include <vector>

namespace nxkit {

// Starts `program` with `args` (not counting the program itself), its standard output and
// error appended to `output_file`. The child receives SIGTERM when this process ends, however
// it ends, so a simulator started for the demo never outlives the workstation. Returns the
// child's process id, or -1 when it could not be started.
int start_companion(const std::string& program, const std::vector<std::string>& args,
                    const std::string& output_file);

} // namespace nxkit
