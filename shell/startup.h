#pragma once

#include <string>

class QCoreApplication;
class QTranslator;

namespace nxkit {

// The program's whole life: start-up, the message loop, shut-down. Ends the process itself
// with exit code 0 once the message loop has run; returns only when start-up failed.
int run_workstation(int argc, char** argv);

// Logs `text` as an error line when the program log is open, then shows it in an error box
// captioned with the executable's path.
void report_fatal(const std::string& text);

// Qt's own texts (file and print dialogs, the text fields' menu, standard buttons) in Russian:
// installs the Qt base translation (owned by `app`). Null when it is not installed
// (qt6-translations-l10n).
QTranslator* load_qt_translation(QCoreApplication& app);

// Whether the top-level window was created in full-screen mode.
bool full_screen();

} // namespace nxkit
