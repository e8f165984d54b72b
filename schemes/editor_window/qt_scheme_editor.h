#pragma once

// The scheme editor service of the running program: "Редактировать схему" opens one editor
// window per file (a second request raises it), with the checks against the configuration,
// the bind command on the selection, and the live display reopened after each save.

#include "schemes/i_scheme_editor.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <string>

class QWidget;

namespace nxkit {

class scheme_editor_window;
class t_ref_buff;
struct scheme_references;

// What the configuration knows of the scheme with the key: its elements' counters and the
// names of all signals of the structure tree.
scheme_references configuration_references(t_ref_buff& store, const std::string& scheme_key);

class qt_scheme_editor : public QObject, public i_scheme_editor {
    Q_OBJECT
public:
    // Installs itself as the process-wide editor until it goes. `reopen` is called with the
    // scheme's key after each save.
    qt_scheme_editor(t_ref_buff& store, QWidget* owner,
                     std::function<void(const std::string& scheme_key)> reopen);
    ~qt_scheme_editor() override;

    void edit(const std::string& scheme_key, const std::string& path) override;
    // The open window on a file, null when none (tests, the screenshots).
    scheme_editor_window* window(const std::string& path) const;

private:
    t_ref_buff& store_;
    QWidget* owner_;
    std::function<void(const std::string&)> reopen_;
    std::map<std::string, QPointer<scheme_editor_window>> windows_;
};

} // namespace nxkit
