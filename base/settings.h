#pragma once

#include <string>
#include <vector>

namespace nxkit {

// The settings file: <station>/ilkstation.ini, an INI file in Windows-1251 with CR LF line
// ends. Names are matched without regard to case. The file is read once per process into one
// copy in memory; every change goes into that copy and is written through at once (a new file
// renamed over the old), all under one process-wide lock. A file changed by hand while the
// program runs is not noticed. Nothing here fails: a missing file or key yields the default; a
// failed write keeps the values in memory, writes an ERR line (once until a write succeeds
// again) and leaves a notice for the user interface.

std::string settings_path();

// With `write_back`, the default's text is written when the text read equals it (a missing
// key included), so a first run leaves every key behind. Strings are cut to 4999 characters.
std::string settings_get_string(const std::string& section, const std::string& key,
                                const std::string& default_value, bool write_back);
// The leading decimal number of the text; 0 when there is none.
int settings_get_int(const std::string& section, const std::string& key, int default_value,
                     bool write_back);
// The leading decimal number of the text, with a point as separator whatever the locale.
double settings_get_double(const std::string& section, const std::string& key, double default_value,
                           bool write_back);

// The key and its section are created when missing.
void settings_set_string(const std::string& section, const std::string& key,
                         const std::string& value);
void settings_set_int(const std::string& section, const std::string& key, int value);
void settings_set_double(const std::string& section, const std::string& key, double value);

// Removes every key of the section; its header and comments stay.
void settings_clear_section(const std::string& section);

// The key names of a section, as spelt in the file, in file order.
std::vector<std::string> settings_key_names(const std::string& section);

// The text of the first failed write of this process, once: the user interface shows it the
// first time it asks (settings may be written from any thread, a box only from its own).
// Empty when there is nothing (more) to show.
std::string settings_take_write_failure();

// Forgets the copy in memory: the next call reads the file again. For a file replaced on
// purpose from outside (tests).
void settings_reload();

// The texts the values are stored as: "%d", and "%.10f" with trailing zeros cut but one
// digit after the point kept.
std::string settings_int_text(int value);
std::string settings_double_text(double value);

} // namespace nxkit
