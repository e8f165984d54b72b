#pragma once

#include "interlock/controller_transfer.h"

#include <string>
#include <vector>

namespace nxkit {

class t_ref_buff;

// The length of the line end at `at` in a controller file: 2 for CR LF and for LF CR (files
// made on some controllers end their lines so), 1 for a lone CR or LF, 0 when none is there.
std::size_t line_end_length(const std::string& text, std::size_t at);

// The folder of the controller files: station folder + "CONF_INI/", created when missing.
std::string export_folder();
// The names of the files "conf*.ini" in it, in name order.
std::vector<std::string> export_files();

// Writes the interlock table of root `root_key` into its controller file, as the file's
// "$ILK=" block; with `with_transfer` the file is first read from the controller and
// afterwards written back. Every message box carries `caption`. The file is replaced only
// at the end, at once, so a failed export leaves it as it was. True when it was written.
bool export_interlock(t_ref_buff& store, const std::string& root_key, const std::string& caption,
                      bool with_transfer, const transfer_options& options = {});

} // namespace nxkit
